#include "threads/workerthread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>

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
    EndBody();
}

void TWorkerThread::EndBody() {
    if (started_ && !finished_) {
        Terminate();
        // The end callback must not reach a half-destroyed object.
        OnTerminate = nullptr;
        FreeOnTerminate = false;
        WaitFor();
    }
    if (thread_) {
        thread_->wait(); // the worker has only its own exit left to do
        const std::lock_guard lock(endMutex_);
    }
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
        // The window takes this lock before it acts on the end, so all the
        // body did is seen by the window's thread.
        const std::lock_guard lock(endMutex_);
        bodyReturned_ = true;
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
    { const std::lock_guard lock(endMutex_); }
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

void TWorkerThread::Terminate() {
    {
        // Under the pause's lock, so a worker about to pause sees the flag.
        const std::lock_guard lock(pauseMutex_);
        terminated_.store(true);
    }
    pauseSignal_.notify_all();
}

void TWorkerThread::Sleep(unsigned ms) {
    std::unique_lock lock(pauseMutex_);
    pauseSignal_.wait_for(lock, std::chrono::milliseconds(ms),
                          [this] { return terminated_.load(); });
}

void TWorkerThread::RefuseStartsForTesting(int count) {
    refusedStarts.store(count);
}

void TWorkerThread::Synchronize(const std::function<void()> &step) {
    if (OnWindowThread()) {
        step();
        return;
    }
    // A queued call and a standard wait rather than a blocking queued
    // connection: the same hand-over, with an order that race checkers see.
    std::mutex mutex;
    std::condition_variable doneSignal;
    bool done = false;
    std::exception_ptr error;
    QMetaObject::invokeMethod(
        this,
        [&] {
            try {
                step();
            } catch (...) {
                error = std::current_exception();
            }
            const std::lock_guard lock(mutex);
            done = true;
            doneSignal.notify_one();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(mutex);
    doneSignal.wait(lock, [&] { return done; });
    if (error)
        std::rethrow_exception(error);
}
