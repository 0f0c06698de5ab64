#pragma once
// The worker-thread frame both thread classes stand on. A thread object lives
// on the window's thread; its body `Execute` runs on a worker of its own. The
// worker reaches the window only through `Synchronize`, which runs a step on
// the window's thread while the worker waits. The window never blocks on a
// worker: every wait of the window's thread keeps running pending events, so
// a worker that sits in `Synchronize` can always go on.

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

class QThread;

// Waits on the window's thread until `done` holds: test, then sleep `pauseMs`
// and run all pending events, again and again.
void WaitPumpingEvents(const std::function<bool()> &done, unsigned pauseMs = 50);

class TWorkerThread : public QObject {
    Q_OBJECT

public:
    using TNotifyEvent = std::function<void(TWorkerThread *sender)>;

    // Ends a body that still runs (see EndBody), so a thread object never
    // goes while its worker can still touch it.
    ~TWorkerThread() override;

    TWorkerThread(const TWorkerThread &) = delete;
    TWorkerThread &operator=(const TWorkerThread &) = delete;

    // Creates the object of thread class T and starts its body at once.
    // Returns null when the system gives no thread (the object is then gone).
    template <class T, class... Args> static T *CreateRunning(Args &&...args) {
        auto *thread = new T(std::forward<Args>(args)...);
        if (!thread->Start()) {
            delete thread;
            return nullptr;
        }
        return thread;
    }

    // Asks the body to end; the body polls `Terminated`. A pause in `Sleep`
    // ends at once, so a stop need not wait out the body's pauses.
    void Terminate();
    bool Terminated() const { return terminated_.load(); }

    // Window's thread: true once the body has returned and the end callback
    // has run.
    bool Finished() const { return finished_; }

    // Window's thread: waits until `Finished`, running events meanwhile, so
    // synchronised steps and the end callback still run.
    void WaitFor();

    // Runs on the window's thread after the body has returned.
    TNotifyEvent OnTerminate;
    // Destroys the object (later, from the event loop) after the end callback.
    bool FreeOnTerminate = false;

    // The worker's pause; cut short by `Terminate`.
    void Sleep(unsigned ms);

    // Test seam: the next `count` starts fail as if the system had no thread
    // to give, so the windows' failure paths can be driven.
    static void RefuseStartsForTesting(int count);

protected:
    TWorkerThread();

    // The body, on the worker. An exception that escapes it ends the thread
    // quietly; the thread classes catch their own before that.
    virtual void Execute() = 0;

    // Window's thread: terminates a body that still runs and waits for it
    // (pumping events), then for the worker's exit. Idempotent. A thread
    // class calls it first in its own destructor, so the body never runs on
    // with the class's members already gone.
    void EndBody();

    // Runs `step` on the window's thread and returns when it is done. An
    // exception raised by the step is raised again here, on the worker.
    void Synchronize(const std::function<void()> &step);

private:
    bool Start();
    void BodyEnded();

    std::unique_ptr<QThread> thread_;
    std::atomic<bool> terminated_{false};
    std::mutex pauseMutex_;
    std::condition_variable pauseSignal_;
    bool started_ = false;  // window's thread only
    bool finished_ = false; // window's thread only
    std::mutex endMutex_;
    bool bodyReturned_ = false; // under endMutex_
};
