#pragma once
// Process start-up: the screen check, the main window and the message loop.

#include <QApplication>
#include <QSize>
#include <QString>

#include <functional>

class TMainForm;

inline constexpr int kMinScreenWidth = 1280;
inline constexpr int kMinScreenHeight = 768;

bool ScreenLargeEnough(QSize screen);

// The application object of the program. An exception that escapes an event
// handler is shown by ShowApplicationException and the loop goes on, as the
// message loop of a Windows program does.
class TKovaApplication final : public QApplication {
public:
    TKovaApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

// The standard exception display: a box with the exception's text (empty for
// anything that is not a std::exception), captioned with the program's title.
void ShowApplicationException(const std::exception *error);

// With the application object made: the screen check, then the window and the
// message loop. whenShown runs once the window is shown (tests close it from
// there). Returns the process exit code, which is always 0.
int RunMainWindow(const std::function<void(TMainForm &)> &whenShown = {});

// The whole process: application object, RunMainWindow, every exception shown.
int RunApplication(int &argc, char **argv);
