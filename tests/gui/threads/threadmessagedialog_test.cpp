#include "forms/mainform.h"
#include "forms/threadmessagedialog.h"
#include "platform/dialogs.h"
#include "tests/support/waituntil.h"
#include "threads/initandconfigthread.h"
#include "threads/mainthread.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <memory>

namespace {

const QString kAccepted = QStringLiteral("Принято");
const QString kText =
    QStringLiteral("Опаньки!!!\nОтсутствует функция обработки для 'MainThread'!!!\nСрочно "
                   "сообщите разработчику!");

// Presses the first button of the next modal dialog, after running `look` on it.
void AcceptNextModal(std::function<void(QWidget *)> look = {}) {
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, look] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        timer->stop();
        timer->deleteLater();
        if (look)
            look(modal);
        modal->findChild<QPushButton *>()->click();
    });
    timer->start();
}

TEST(ThreadMessageDialogTest, OneAcceptButtonOfAtLeast100CentredIn570) {
    struct Case {
        const char *name;
        TButtonPlacement placement;
        bool common;
    };
    const Case cases[] = {{"measurement thread", TButtonPlacement::CommonWidth, true},
                          {"discovery thread", TButtonPlacement::OwnWidth, false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TThreadMessageDialog dialog(nullptr, kMainThreadCaption, TMsgDlgType::Error, {kAccepted},
                                    kText, c.placement);
        const auto buttons = dialog.findChildren<QPushButton *>();
        ASSERT_EQ(buttons.size(), 1);
        const QPushButton *button = buttons.front();
        EXPECT_EQ(button->text(), kAccepted);
        EXPECT_EQ(dialog.width(), 570);
        const int captionWidth = QFontMetrics(dialog.font()).horizontalAdvance(kAccepted);
        if (c.common)
            EXPECT_EQ(button->width(), std::max(100, captionWidth + 20));
        else
            EXPECT_EQ(button->width(), captionWidth + 20);
        EXPECT_EQ(button->x(), (570 - button->width()) / 2);
        // Under the text, inside the dialog.
        EXPECT_EQ(button->y(), dialog.Label()->geometry().bottom() + 1 + 10);
        EXPECT_LE(button->geometry().bottom(), dialog.height());
    }
}

TEST(ThreadMessageDialogTest, ErrorKindIsWhite12PointOnOrangeWithItsCaption) {
    TThreadMessageDialog dialog(nullptr, kInitThreadCaption, TMsgDlgType::Error, {kAccepted}, kText,
                                TButtonPlacement::OwnWidth);
    EXPECT_EQ(dialog.windowTitle(), kInitThreadCaption);
    EXPECT_EQ(dialog.palette().color(QPalette::Window), QColor(255, 128, 32));
    EXPECT_EQ(dialog.Label()->palette().color(QPalette::WindowText), QColor(255, 255, 255));
    EXPECT_EQ(dialog.Label()->font().pointSize(), 12);
    EXPECT_EQ(dialog.Label()->text(), kText);
}

TEST(ThreadMessageDialogTest, LongTextWrapsInsideTheDialogAndPushesTheButtonDown) {
    const QString longText = QStringLiteral("Ошибка преобразования строки в число ").repeated(12);
    TThreadMessageDialog shortOne(nullptr, kMainThreadCaption, TMsgDlgType::Error, {kAccepted},
                                  QStringLiteral("Коротко"), TButtonPlacement::CommonWidth);
    TThreadMessageDialog longOne(nullptr, kMainThreadCaption, TMsgDlgType::Error, {kAccepted},
                                 longText, TButtonPlacement::CommonWidth);
    const QRect label = longOne.Label()->geometry();
    EXPECT_LE(label.right(), 570);
    const int lineHeight = QFontMetrics(longOne.Label()->font()).height();
    EXPECT_GE(label.height(), 3 * lineHeight) << "the text must wrap, not run off the dialog";
    EXPECT_GT(longOne.height(), shortOne.height());
    EXPECT_GT(longOne.Buttons().front()->y(), shortOne.Buttons().front()->y());
}

TEST(ThreadMessageDialogTest, BlocksUntilAcceptedAndReturnsTheButtonResult) {
    AcceptNextModal();
    EXPECT_EQ(
        ThreadMessageDialog(nullptr, kMainThreadCaption, TMsgDlgType::Error, {kAccepted}, kText),
        1);
}

TEST(ThreadMessageDialogTest, WindowShowsThreadMessagesCentredWithTheEscapeHandlerDetached) {
    auto form = std::make_unique<TMainForm>();
    form->move(40, 30);
    TMainForm::RegisterThreadMessageDialog();
    bool detachedWhileShown = false;
    QRect shownGeometry;
    int buttonWidth = 0;
    int ownWidth = 0;
    AcceptNextModal([&](QWidget *modal) {
        detachedWhileShown = !form->ShortCutHandlerAttached;
        shownGeometry = modal->frameGeometry();
        const QPushButton *button = modal->findChild<QPushButton *>();
        buttonWidth = button->width();
        ownWidth = QFontMetrics(button->font()).horizontalAdvance(kAccepted) + 20;
        EXPECT_EQ(modal->windowTitle(), kInitThreadCaption);
    });
    platform::ShowThreadMessage(form.get(), kInitThreadCaption, kText);
    EXPECT_TRUE(detachedWhileShown);
    EXPECT_TRUE(form->ShortCutHandlerAttached) << "re-attached after the dialog";
    // Centred on the window (the dialog's outer height is its client height
    // plus the caption bar and frames).
    const QRect main = form->frameGeometry();
    EXPECT_EQ(shownGeometry.left(), main.left() + (main.width() - 570) / 2);
    // The discovery caption selects the discovery layout: caption + 20.
    EXPECT_EQ(buttonWidth, ownWidth);
}

} // namespace
