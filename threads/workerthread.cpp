#include "threads/workerthread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <exception>

namespace {

std::atomic<int> refusedStarts{0};

bool OnWindowThread() {
    const QCoreApplication *app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

} // namespace

void WaitPumpingEvents(const std::function<bool()> &done, unsigned pauseMs) {
    while (!done()) {
        QThread::msleep(pauseMs);
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

TWorkerThread::TWorkerThread() = default;

TWorkerThread::~TWorkerThread() {
    if (started_ && !finished_) {
        Terminate();
        // The end callback must not reach a half-destroyed object.
        OnTerminate = nullptr;
        FreeOnTerminate = false;
        WaitFor();
    }
    if (thread_)
        thread_->wait(); // the worker has only its own exit left to do
}

bool TWorkerThread::Start() {
    int refused = refusedStarts.load();
    while (refused > 0 && !refusedStarts.compare_exchange_weak(refused, refused - 1)) {
    }
    if (refused > 0)
        return false;

    thread_.reset(QThread::create([this] {
        try {
            Execute();
        } catch (...) {
            // Nothing on the worker can report it; the thread just ends.
        }
    }));
    connect(thread_.get(), &QThread::finished, this, &TWorkerThread::BodyEnded,
            Qt::QueuedConnection);
    started_ = true;
    thread_->start();
    // A failed start leaves the thread neither running nor finished.
    if (!thread_->isRunning() && !thread_->isFinished()) {
        started_ = false;
        return false;
    }
    return true;
}

void TWorkerThread::BodyEnded() {
    if (OnTerminate)
        OnTerminate(this);
    finished_ = true;
    if (FreeOnTerminate)
        deleteLater();
}

void TWorkerThread::WaitFor() {
    if (!started_)
        return;
    WaitPumpingEvents([this] { return finished_; }, 10);
}

void TWorkerThread::Sleep(unsigned ms) {
    QThread::msleep(ms);
}

void TWorkerThread::RefuseStartsForTesting(int count) {
    refusedStarts.store(count);
}

void TWorkerThread::Synchronize(const std::function<void()> &step) {
    if (OnWindowThread()) {
        step();
        return;
    }
    std::exception_ptr error;
    QMetaObject::invokeMethod(
        this,
        [&step, &error] {
            try {
                step();
            } catch (...) {
                error = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (error)
        std::rethrow_exception(error);
}
