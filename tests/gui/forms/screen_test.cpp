#include "app/startup.h"
#include "forms/mainform.h"
#include "platform/dialogs.h"
#include "platform/screen.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>

namespace {

const QString kScreenMessage = QStringLiteral("Разрешение монитора должно быть не ниже 1280x768!");

int ScreenMessages(const platform::RecordingDialogService &dialogs) {
    int n = 0;
    for (const platform::DialogRequest &r : dialogs.Shown())
        if (r.text == kScreenMessage)
            ++n;
    return n;
}

class ScreenCheck : public ::testing::Test {
protected:
    platform::RecordingDialogService dialogs;
    platform::ScopedDialogService scope{dialogs};
};

void ExpectMessageOnly(const platform::RecordingDialogService &dialogs) {
    bool windowMade = false;
    EXPECT_EQ(RunMainWindow([&](TMainForm &) { windowMade = true; }), 0);
    EXPECT_FALSE(windowMade);
    ASSERT_EQ(dialogs.Count(), 1u);
    const platform::DialogRequest shown = dialogs.Shown().front();
    EXPECT_EQ(shown.kind, platform::DialogKind::MessageBox);
    EXPECT_EQ(shown.text, kScreenMessage);
    EXPECT_EQ(shown.caption, QStringLiteral("Ошибка!!!"));
    EXPECT_EQ(shown.icon, platform::MessageIcon::None);
}

TEST_F(ScreenCheck, TooLowScreenGetsTheMessageOnly) {
    ASSERT_EQ(platform::ScreenSize(), QSize(1280, 767));
    ExpectMessageOnly(dialogs);
}

TEST_F(ScreenCheck, TooNarrowScreenGetsTheMessageOnly) {
    ASSERT_EQ(platform::ScreenSize(), QSize(1279, 1024));
    ExpectMessageOnly(dialogs);
}

TEST_F(ScreenCheck, SmallestScreenOpensTheWindow) {
    ASSERT_EQ(platform::ScreenSize(), QSize(1280, 768));
    bool shown = false;
    EXPECT_EQ(RunMainWindow([&](TMainForm &form) {
                  shown = form.isVisible();
                  EXPECT_EQ(QCoreApplication::applicationName(), QStringLiteral("KOVA8_Duvu"));
                  form.close();
              }),
              0);
    EXPECT_TRUE(shown);
    EXPECT_EQ(ScreenMessages(dialogs), 0);
}

// The offscreen platform's work area is the whole screen.
TEST(WorkArea, LowScreenGivesTheWorkAreaHeight) {
    ASSERT_EQ(platform::ScreenSize(), QSize(1400, 600));
    TMainForm form;
    // Outer height = the work area; the client is that less caption and frames.
    EXPECT_EQ(form.height() + platform::CaptionHeight() + 2 * platform::DialogFrameHeight(), 600);
    EXPECT_EQ(form.width(), 1159);
}

TEST(WorkArea, NarrowScreenGivesTheWorkAreaWidth) {
    ASSERT_EQ(platform::ScreenSize(), QSize(1100, 900));
    TMainForm form;
    EXPECT_EQ(form.width() + 2 * platform::DialogFrameWidth(), 1100);
    EXPECT_EQ(form.height(), 585);
}

// An object whose event handler fails, as a handler with a bug would.
class ThrowingObject : public QObject {
public:
    bool event(QEvent *event) override {
        if (event->type() == QEvent::User) {
            if (throwStandard)
                throw std::runtime_error("Сбой обработчика");
            throw 42;
        }
        return QObject::event(event);
    }
    bool throwStandard = true;
};

TEST(ApplicationException, HandlerExceptionIsShownAndTheLoopGoesOn) {
    ASSERT_NE(dynamic_cast<TKovaApplication *>(QCoreApplication::instance()), nullptr);
    platform::RecordingDialogService dialogs;
    platform::ScopedDialogService scope(dialogs);
    QCoreApplication::setApplicationName(QStringLiteral("KOVA8_Duvu"));
    ThrowingObject target;
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QCoreApplication::processEvents();
    target.throwStandard = false;
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QCoreApplication::processEvents();

    ASSERT_EQ(dialogs.Count(), 2u);
    EXPECT_EQ(dialogs.Shown()[0].text, QStringLiteral("Сбой обработчика"));
    EXPECT_EQ(dialogs.Shown()[0].caption, QStringLiteral("KOVA8_Duvu"));
    // Anything but a standard exception is shown with an empty text.
    EXPECT_EQ(dialogs.Shown()[1].text, QString());
}

} // namespace
