#include "forms/threadmessagedialog.h"

#include "platform/colors.h"
#include "platform/screen.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include <algorithm>

namespace {

// Margins and icon of the standard message dialog the thread dialog starts from.
constexpr int kMargin = 8;
constexpr int kIconSize = 32;
constexpr int kStandardButtonWidth = 75;

int TextWidth(const QFontMetrics &metrics, const QString &text) {
    int widest = 0;
    for (const QString &line : text.split(QLatin1Char('\n')))
        widest = std::max(widest, metrics.horizontalAdvance(line));
    return widest;
}

QStyle::StandardPixmap KindIcon(TMsgDlgType kind) {
    switch (kind) {
    case TMsgDlgType::Warning:
        return QStyle::SP_MessageBoxWarning;
    case TMsgDlgType::Error:
        return QStyle::SP_MessageBoxCritical;
    case TMsgDlgType::Information:
        return QStyle::SP_MessageBoxInformation;
    case TMsgDlgType::Confirmation:
        return QStyle::SP_MessageBoxQuestion;
    case TMsgDlgType::Custom:
        break;
    }
    return QStyle::SP_CustomBase;
}

} // namespace

ThreadDialogLayout LayoutThreadDialog(const ThreadDialogLayoutInput &in) {
    ThreadDialogLayout out;
    const int n = static_cast<int>(in.captionTextSizes.size());
    const int top = in.label.top() + in.label.height() + 10;
    int common = kMinCommonButtonWidth;
    for (const QSize &size : in.captionTextSizes)
        common = std::max(common, size.width() + 20);
    for (int k = 0; k < n; ++k) {
        const QSize text = in.captionTextSizes[static_cast<std::size_t>(k)];
        int left = 0;
        int width = 0;
        if (in.placement == TButtonPlacement::CommonWidth) {
            width = common;
            left = (in.width - n * width) * (k + 1) / (n + 1) + k * width;
        } else {
            width = text.width() + 20;
            left = (in.width - width) / 2;
        }
        out.buttons.emplace_back(left, top, width, text.height() + 15);
    }
    const int bottom = out.buttons.empty() ? top : out.buttons.back().bottom() + 1;
    out.height = in.captionBarHeight + bottom + 2 * in.frameHeight + 10;
    return out;
}

QPoint CentreOnWindow(const QRect &mainWindow, const QSize &dialog) {
    return {mainWindow.left() + (mainWindow.width() - dialog.width()) / 2,
            mainWindow.top() + (mainWindow.height() - dialog.height()) / 2};
}

TThreadMessageDialog::TThreadMessageDialog(QWidget *mainWindow, const QString &caption,
                                           TMsgDlgType kind, const QStringList &buttonCaptions,
                                           const QString &text, TButtonPlacement placement)
    : QDialog(mainWindow) {
    setWindowTitle(caption);

    // The standard dialog: icon, then the text at its natural width (at most
    // half the screen), one standard button under it.
    const QFontMetrics standardMetrics(font());
    int labelLeft = kMargin;
    if (kind != TMsgDlgType::Custom) {
        icon_ = new QLabel(this);
        icon_->setObjectName(QStringLiteral("Image"));
        icon_->setPixmap(style()->standardIcon(KindIcon(kind)).pixmap(kIconSize, kIconSize));
        icon_->setGeometry(kMargin, kMargin, kIconSize, kIconSize);
        labelLeft += kIconSize + kMargin;
    }
    const int halfScreen = platform::ScreenSize().width() / 2;
    const int standardLabelWidth = std::min(TextWidth(standardMetrics, text), halfScreen);
    const int standardWidth =
        std::max(labelLeft + standardLabelWidth + kMargin, kStandardButtonWidth + 2 * kMargin);

    // Widened to 570, in 12 pt.
    resize(kThreadDialogWidth, kThreadDialogStartHeight);
    QFont big = font();
    big.setPointSize(kThreadDialogFontPoints);
    setFont(big);
    if (kind == TMsgDlgType::Error) {
        QPalette colours = palette();
        colours.setColor(QPalette::Window, platform::ColorFromWin(kErrorDialogColor));
        colours.setColor(QPalette::WindowText, platform::ColorFromWin(platform::clWhite));
        setPalette(colours);
        setAutoFillBackground(true);
    }

    // The text keeps its left edge and grows by what the dialog grew; it
    // wraps at that width and takes the height the wrapped text needs.
    const QFontMetrics metrics(big);
    const int labelWidth = standardLabelWidth + (kThreadDialogWidth - standardWidth);
    const int labelHeight =
        metrics.boundingRect(QRect(0, 0, labelWidth, 100000), Qt::TextWordWrap, text).height();
    label_ = new QLabel(text, this);
    label_->setObjectName(QStringLiteral("Message"));
    label_->setWordWrap(true);
    label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label_->setGeometry(labelLeft, kMargin, labelWidth, labelHeight);

    ThreadDialogLayoutInput in;
    in.label = label_->geometry();
    in.placement = placement;
    in.captionBarHeight = platform::CaptionHeight();
    in.frameHeight = platform::DialogFrameHeight();
    const QStringList captions =
        buttonCaptions.isEmpty() ? QStringList{QStringLiteral("OK")} : buttonCaptions;
    for (const QString &c : captions)
        in.captionTextSizes.emplace_back(metrics.horizontalAdvance(c), metrics.height());
    const ThreadDialogLayout layout = LayoutThreadDialog(in);

    for (int k = 0; k < captions.size(); ++k) {
        auto *button = new QPushButton(captions[k], this);
        button->setObjectName(QStringLiteral("Button%1").arg(k));
        // The button face keeps the system's colours.
        button->setPalette(QGuiApplication::palette());
        button->setGeometry(layout.buttons[static_cast<std::size_t>(k)]);
        connect(button, &QPushButton::clicked, this, [this, k] { done(k + 1); });
        buttons_.push_back(button);
    }
    if (!buttons_.empty())
        buttons_.front()->setDefault(true);

    outerHeight_ = layout.height;
    setFixedSize(kThreadDialogWidth, layout.height - in.captionBarHeight - 2 * in.frameHeight);
    if (mainWindow)
        move(CentreOnWindow(mainWindow->frameGeometry(), QSize(kThreadDialogWidth, layout.height)));
}

int ThreadMessageDialog(QWidget *mainWindow, const QString &caption, TMsgDlgType kind,
                        const QStringList &buttonCaptions, const QString &text,
                        TButtonPlacement placement) {
    TThreadMessageDialog dialog(mainWindow, caption, kind, buttonCaptions, text, placement);
    return dialog.exec();
}
