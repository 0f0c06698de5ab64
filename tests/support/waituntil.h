#pragma once
// Bounded waits for the tests on the window: run events until a condition holds.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <functional>

inline bool WaitUntil(const std::function<bool()> &condition, int timeoutMs = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}
