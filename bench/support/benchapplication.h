#pragma once
// The benchmarks that drive the window need an application object: made once,
// on the offscreen platform unless another is asked for.

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <functional>

inline void EnsureBenchApplication() {
    static int argc = 1;
    static char name[] = "kova_bench";
    static char *argv[] = {name, nullptr};
    if (QCoreApplication::instance())
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    new QApplication(argc, argv);
}

// The window's own event loop for a while, as the program idles in it.
inline void RunEventLoop(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The event loop in steps of stepMs until done() holds or timeoutMs is past.
inline bool RunEventLoopUntil(const std::function<bool()> &done, int timeoutMs, int stepMs = 5) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs)
        RunEventLoop(stepMs);
    return done();
}
