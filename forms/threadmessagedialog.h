#pragma once
// The modal dialog through which the worker threads report their errors: a
// standard message dialog widened to 570 pixels, in 12 pt, coloured by kind,
// with its buttons laid out under the wrapped text and centred on the main
// window.

#include <QDialog>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <vector>

class QLabel;
class QPushButton;

enum class TMsgDlgType { Warning, Error, Information, Confirmation, Custom };

// The measurement thread's dialog gives all buttons one width; the discovery
// thread's sizes and centres each button on its own.
enum class TButtonPlacement { CommonWidth, OwnWidth };

inline constexpr int kThreadDialogWidth = 570;
inline constexpr int kThreadDialogStartHeight = 600;
inline constexpr int kThreadDialogFontPoints = 12;
inline constexpr int kMinCommonButtonWidth = 100;
// RGB (255, 128, 32).
inline constexpr unsigned kErrorDialogColor = 2130175;

struct ThreadDialogLayoutInput {
    int width = kThreadDialogWidth;
    QRect label;                         // the label after widening and wrapping
    std::vector<QSize> captionTextSizes; // per button, in creation order
    TButtonPlacement placement = TButtonPlacement::CommonWidth;
    int captionBarHeight = 0;
    int frameHeight = 0;
};

struct ThreadDialogLayout {
    std::vector<QRect> buttons;
    int height = 0; // outer height, caption bar and frame included
};

ThreadDialogLayout LayoutThreadDialog(const ThreadDialogLayoutInput &in);

// Top left that centres a dialog of the given size on the main window.
QPoint CentreOnWindow(const QRect &mainWindow, const QSize &dialog);

class TThreadMessageDialog : public QDialog {
    Q_OBJECT

public:
    // mainWindow is the parent and the window the dialog is centred on.
    TThreadMessageDialog(QWidget *mainWindow, const QString &caption, TMsgDlgType kind,
                         const QStringList &buttonCaptions, const QString &text,
                         TButtonPlacement placement);

    QLabel *Label() const { return label_; }
    const std::vector<QPushButton *> &Buttons() const { return buttons_; }
    // The outer height the layout gave (the client area is this less the
    // caption bar and the two frames).
    int OuterHeight() const { return outerHeight_; }

private:
    QLabel *icon_ = nullptr;
    QLabel *label_ = nullptr;
    std::vector<QPushButton *> buttons_;
    int outerHeight_ = 0;
};

// Shows the dialog modally and returns its modal result: 1 + the index of the
// button pressed (1 for the single "Принято"), 0 when it was closed otherwise.
int ThreadMessageDialog(QWidget *mainWindow, const QString &caption, TMsgDlgType kind,
                        const QStringList &buttonCaptions, const QString &text,
                        TButtonPlacement placement = TButtonPlacement::CommonWidth);
