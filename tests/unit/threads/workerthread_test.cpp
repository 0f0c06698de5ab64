#include "platform/decimal.h"
#include "threads/workerthread.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QThread>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>

namespace {

// A thread whose body the test gives.
class TProbeThread : public TWorkerThread {
public:
    using Body = std::function<void(TProbeThread &)>;
    explicit TProbeThread(Body body) : body_(std::move(body)) {}
    using TWorkerThread::Synchronize;

protected:
    void Execute() override { body_(*this); }

private:
    Body body_;
};

bool OnWindowThread() {
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

void IdleUntilTerminated(TProbeThread &self) {
    while (!self.Terminated())
        self.Sleep(5);
}

TEST(WorkerThreadTest, SynchronizedStepsRunOnTheWindowThreadWhileItWaits) {
    // The window keeps a counter that only its own thread touches; the worker
    // raises it through steps while the window sits in WaitFor.
    int windowCounter = 0;
    bool allOnWindowThread = true;
    bool endCallbackOnWindowThread = false;
    int counterSeenByEndCallback = -1;
    auto *thread = TWorkerThread::CreateRunning<TProbeThread>([&](TProbeThread &self) {
        for (int i = 0; i < 20; ++i)
            self.Synchronize([&] {
                allOnWindowThread = allOnWindowThread && OnWindowThread();
                ++windowCounter;
            });
        IdleUntilTerminated(self);
    });
    ASSERT_NE(thread, nullptr);
    thread->OnTerminate = [&](TWorkerThread *) {
        endCallbackOnWindowThread = OnWindowThread();
        counterSeenByEndCallback = windowCounter;
    };
    WaitPumpingEvents([&] { return windowCounter == 20; }, 5);
    EXPECT_FALSE(thread->Finished()) << "the body idles until it is told to end";
    thread->Terminate();
    thread->WaitFor();
    EXPECT_TRUE(thread->Finished());
    EXPECT_TRUE(allOnWindowThread);
    EXPECT_TRUE(endCallbackOnWindowThread);
    EXPECT_EQ(counterSeenByEndCallback, 20);
    delete thread;
}

TEST(WorkerThreadTest, ExceptionOfAStepIsRaisedAgainOnTheWorker) {
    struct Case {
        const char *name;
        std::function<void()> step;
        std::string expected;
    };
    const Case cases[] = {
        {"conversion", [] { throw platform::EConvertError("bad number"); }, "convert:bad number"},
        {"runtime", [] { throw std::runtime_error("boom"); }, "other:boom"},
        {"not an exception class", [] { throw 42; }, "unknown"},
        {"no exception", [] {}, "none"},
    };
    for (const Case &c : cases) {
        std::string caught = "none";
        std::atomic<bool> stepReturnedNormally{false};
        auto *thread = TWorkerThread::CreateRunning<TProbeThread>([&](TProbeThread &self) {
            try {
                self.Synchronize(c.step);
                stepReturnedNormally = true;
            } catch (const platform::EConvertError &e) {
                caught = std::string("convert:") + e.what();
            } catch (const std::exception &e) {
                caught = std::string("other:") + e.what();
            } catch (...) {
                caught = "unknown";
            }
        });
        ASSERT_NE(thread, nullptr);
        thread->WaitFor();
        EXPECT_EQ(caught, c.expected) << c.name;
        EXPECT_EQ(stepReturnedNormally.load(), c.expected == "none") << c.name;
        delete thread;
    }
}

TEST(WorkerThreadTest, BodyThatThrowsStillEndsAndRunsTheEndCallback) {
    bool ended = false;
    auto *thread = TWorkerThread::CreateRunning<TProbeThread>(
        [](TProbeThread &) { throw std::runtime_error("escaped"); });
    ASSERT_NE(thread, nullptr);
    thread->OnTerminate = [&](TWorkerThread *) { ended = true; };
    thread->WaitFor();
    EXPECT_TRUE(ended);
    delete thread;
}

TEST(WorkerThreadTest, FreeOnTerminateDestroysTheObjectAfterTheEndCallback) {
    bool ended = false;
    auto *created = TWorkerThread::CreateRunning<TProbeThread>(
        [](TProbeThread &self) { self.Synchronize([] {}); });
    ASSERT_NE(created, nullptr);
    created->FreeOnTerminate = true;
    created->OnTerminate = [&](TWorkerThread *) { ended = true; };
    QPointer<TProbeThread> thread = created;
    WaitPumpingEvents(
        [&] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return thread.isNull();
        },
        5);
    EXPECT_TRUE(ended);
}

TEST(WorkerThreadTest, DestroyingARunningThreadTerminatesItAndWaits) {
    std::atomic<bool> sawTerminated{false};
    std::atomic<int> stepsAfterTerminate{0};
    bool endCallbackRan = false;
    auto *thread = TWorkerThread::CreateRunning<TProbeThread>([&](TProbeThread &self) {
        while (!self.Terminated())
            self.Synchronize([] {});
        // A step after the request still gets served while the window waits.
        self.Synchronize([&] { ++stepsAfterTerminate; });
        sawTerminated = true;
    });
    ASSERT_NE(thread, nullptr);
    thread->OnTerminate = [&](TWorkerThread *) { endCallbackRan = true; };
    QThread::msleep(20);
    delete thread;
    EXPECT_TRUE(sawTerminated);
    EXPECT_EQ(stepsAfterTerminate.load(), 1);
    EXPECT_FALSE(endCallbackRan) << "the callback must not run on a dying object";
}

TEST(WorkerThreadTest, RefusedStartGivesNoThreadObject) {
    bool bodyRan = false;
    TWorkerThread::RefuseStartsForTesting(1);
    auto *refused =
        TWorkerThread::CreateRunning<TProbeThread>([&](TProbeThread &) { bodyRan = true; });
    EXPECT_EQ(refused, nullptr);
    auto *next = TWorkerThread::CreateRunning<TProbeThread>([](TProbeThread &) {});
    ASSERT_NE(next, nullptr) << "only the given number of starts is refused";
    next->WaitFor();
    delete next;
    EXPECT_FALSE(bodyRan);
}

TEST(WorkerThreadTest, TerminateCutsAPauseShort) {
    // A body in a minute-long pause, and one that pauses only after the
    // request: both end as soon as they are told, not when the pause is over.
    std::atomic<bool> pausing = false;
    auto *midPause = TWorkerThread::CreateRunning<TProbeThread>([&](TProbeThread &self) {
        pausing = true;
        self.Sleep(60000);
    });
    ASSERT_NE(midPause, nullptr);
    WaitPumpingEvents([&] { return pausing.load(); }, 1);
    midPause->Terminate();
    QElapsedTimer timer;
    timer.start();
    WaitPumpingEvents([&] { return midPause->Finished() || timer.elapsed() > 10000; }, 5);
    EXPECT_TRUE(midPause->Finished());

    std::atomic<bool> go = false;
    auto *late = TWorkerThread::CreateRunning<TProbeThread>([&](TProbeThread &self) {
        while (!go)
            QThread::msleep(1);
        self.Sleep(60000);
    });
    ASSERT_NE(late, nullptr);
    late->Terminate();
    go = true;
    timer.restart();
    WaitPumpingEvents([&] { return late->Finished() || timer.elapsed() > 10000; }, 5);
    EXPECT_TRUE(late->Finished());
    delete midPause;
    delete late;
}

} // namespace
