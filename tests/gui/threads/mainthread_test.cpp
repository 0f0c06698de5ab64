#include "forms/mainform.h"
#include "platform/decimal.h"
#include "platform/dialogs.h"
#include "tests/support/waituntil.h"
#include "threads/mainthread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>

namespace {

const QString kMissingHandler = QStringLiteral(
    "Опаньки!!!\nОтсутствует функция обработки для 'MainThread'!!!\nСрочно сообщите разработчику!");
const QString kFatal =
    QStringLiteral("Опаньки!!!\nПоймали неустранимое исключение в потоке 'MainThread'!!!\nСрочно "
                   "сообщите разработчику!");

// A measurement thread whose job 0 is the test's.
class TScriptedMainThread : public TMainThread {
public:
    TScriptedMainThread(TMainForm *form, std::uint16_t jobNumber, TJobHandler job)
        : TMainThread(form, jobNumber), job_(job) {}
    using TMainThread::Synchronize;

protected:
    void RegisterJobs() override { JobTable[0] = {job_, this}; }

private:
    TJobHandler job_;
};

TScriptedMainThread &Self(void *context) {
    return *static_cast<TScriptedMainThread *>(context);
}

void Report(TScriptedMainThread &self, const QString &text) {
    self.ErrorText = text;
    self.Synchronize([&self] { self.ShowThreadMessage(); });
}

class MainThreadTest : public ::testing::Test {
protected:
    void SetUp() override { form = std::make_unique<TMainForm>(); }
    void TearDown() override {
        form.reset();
        platform::SetDecimalSeparator('.');
    }

    // Runs a thread until its first message, then terminates it; returns the
    // messages the whole run showed.
    std::vector<platform::DialogRequest> RunUntilFirstMessage(TMainThread *thread) {
        EXPECT_NE(thread, nullptr);
        if (!thread)
            return {};
        EXPECT_TRUE(WaitUntil([&] { return dialogs.Count() >= 1; }));
        thread->Terminate();
        thread->WaitFor();
        delete thread;
        return dialogs.Shown();
    }

    platform::RecordingDialogService dialogs;
    platform::ScopedDialogService scoped{dialogs};
    std::unique_ptr<TMainForm> form;
};

TEST_F(MainThreadTest, JobNumberWithoutHandlerShowsTheMessageOnceThenIdles) {
    struct Case {
        const char *name;
        std::uint16_t jobNumber;
        TMainThread::TJobHandler job;
    };
    const Case cases[] = {{"beyond the table", 1, nullptr}, {"empty entry", 0, nullptr}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        dialogs.Clear();
        auto *thread =
            TWorkerThread::CreateRunning<TScriptedMainThread>(form.get(), c.jobNumber, c.job);
        ASSERT_NE(thread, nullptr);
        ASSERT_TRUE(WaitUntil([&] { return dialogs.Count() == 1; }));
        EXPECT_FALSE(WaitUntil([&] { return thread->Finished(); }, 300))
            << "the thread idles until the window terminates it";
        thread->Terminate();
        thread->WaitFor();
        EXPECT_TRUE(thread->Finished());
        delete thread;
        const auto shown = dialogs.Shown();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].kind, platform::DialogKind::ThreadMessage);
        EXPECT_EQ(shown[0].caption, kMainThreadCaption);
        EXPECT_EQ(shown[0].text, kMissingHandler);
    }
}

TEST_F(MainThreadTest, OnlyTheFirstErrorOfARunIsShown) {
    struct Case {
        const char *name;
        TMainThread::TJobHandler job;
        QString expected;
    };
    const Case cases[] = {
        {"two reports",
         [](void *c) {
             Report(Self(c), QStringLiteral("Первая"));
             Report(Self(c), QStringLiteral("Вторая"));
         },
         QStringLiteral("Первая")},
        {"report, then an exception",
         [](void *c) {
             Report(Self(c), QStringLiteral("Первая"));
             throw std::runtime_error("later");
         },
         QStringLiteral("Первая")},
        {"exception", [](void *) { throw std::runtime_error("x"); }, kFatal},
        {"exception raised in a synchronised step",
         [](void *c) { Self(c).Synchronize([] { throw std::logic_error("on the window"); }); },
         kFatal},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        dialogs.Clear();
        const auto shown = RunUntilFirstMessage(
            TWorkerThread::CreateRunning<TScriptedMainThread>(form.get(), 0, c.job));
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].text, c.expected);
    }
}

TEST_F(MainThreadTest, ConversionErrorNamesTheSeparatorAndRestoresThePoint) {
    const auto shown = RunUntilFirstMessage(
        TWorkerThread::CreateRunning<TScriptedMainThread>(form.get(), 0, [](void *) {
            platform::SetDecimalSeparator(',');
            platform::StrToFloat(u"1.5");
        }));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text,
              QStringLiteral("Ошибка преобразования строки в число!!!\nТекущий сепаратор ','."));
    EXPECT_EQ(platform::DecimalSeparator(), '.');
}

TEST_F(MainThreadTest, StartStepAnnouncesTheRunAndFillsTheTables) {
    // A separator left at ',' by someone else, a finished previous run.
    platform::SetDecimalSeparator(',');
    form->MeasurementFinished = true;
    form->MainLMDPageControl->setCurrentIndex(0);
    std::atomic<bool> jobRan{false};
    static std::atomic<bool> *ran = nullptr;
    ran = &jobRan;
    auto *thread = TWorkerThread::CreateRunning<TScriptedMainThread>(form.get(), 0,
                                                                     [](void *) { *ran = true; });
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return jobRan.load(); }));
    EXPECT_TRUE(form->MainThreadRunning);
    EXPECT_FALSE(form->MeasurementFinished);
    EXPECT_EQ(platform::DecimalSeparator(), '.');
    const std::array<std::int32_t, 8> codes{3, 2, 1, 0, 7, 6, 5, 4};
    EXPECT_EQ(thread->RangeCodes, codes);
    EXPECT_FALSE(thread->ErrorFlag);
    thread->Terminate();
    thread->WaitFor();
    delete thread;
    EXPECT_EQ(dialogs.Count(), 0u);
}

// Destroying a thread whose body still receives into its buffers: the body
// ends first, then the buffers go. Freed first, the body's last receive would
// write through a buffer that is gone.
std::atomic<bool> lastWriteSawBuffer{false};

void ReceiveUntilTerminated(void *context) {
    TScriptedMainThread &self = Self(context);
    self.RcvBuffer = new std::uint32_t[4]{};
    while (!self.Terminated()) {
        ++self.RcvBuffer[0];
        self.Sleep(1);
    }
    // The receive under way when the stop came still lands.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    lastWriteSawBuffer = self.RcvBuffer != nullptr;
    if (self.RcvBuffer)
        self.RcvBuffer[1] = 7;
}

TEST_F(MainThreadTest, DestroyingARunningThreadEndsTheBodyBeforeFreeingItsBuffers) {
    lastWriteSawBuffer = false;
    auto *thread =
        TWorkerThread::CreateRunning<TScriptedMainThread>(form.get(), 0, &ReceiveUntilTerminated);
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return thread->RcvBuffer != nullptr && form->MainThreadRunning; }));
    delete thread; // no stop asked before
    EXPECT_TRUE(lastWriteSawBuffer);
}

} // namespace
