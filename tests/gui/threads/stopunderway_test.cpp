// A stop that waits for its worker (a receive that stalls, a discovery that
// waits on a slow module open), and a second action of the user arriving
// while it waits. Whatever the pair, the second action returns at once, the
// busy flag stays as it was, the worker never sees the module closed or
// reopened under it, and the window ends up either usable again (a new start
// measures) or closed, with the module closed exactly once.

#include "device/fakekovadevice.h"
#include "forms/mainform.h"
#include "platform/dialogs.h"
#include "settings/settingskeys.h"
#include "tests/support/userchoice.h"
#include "tests/support/waituntil.h"
#include "tests/support/windowfolder.h"
#include "threads/mainthread.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace {

const QString kStart = QStringLiteral("С   Т   А   Р   Т");

enum class Action {
    Escape,
    StartButton,
    ChannelBox,
    ReferenceList,
    ModuleChange,
    Discover,
    Close,
    ExitCommand, // Ctrl+Q, "Выход"
};

const char *Name(Action a) {
    switch (a) {
    case Action::Escape:
        return "Escape";
    case Action::StartButton:
        return "StartButton";
    case Action::ChannelBox:
        return "ChannelBox";
    case Action::ReferenceList:
        return "ReferenceList";
    case Action::ModuleChange:
        return "ModuleChange";
    case Action::Discover:
        return "Discover";
    case Action::Close:
        return "Close";
    case Action::ExitCommand:
        return "ExitCommand";
    }
    return "?";
}

bool Closes(Action a) {
    return a == Action::Close || a == Action::ExitCommand;
}

struct ActionPair {
    Action first;
    Action second;
};

void PrintTo(const ActionPair &pair, std::ostream *os) {
    *os << Name(pair.first) << ", then " << Name(pair.second);
}

std::string PairName(const ::testing::TestParamInfo<ActionPair> &info) {
    return std::string(Name(info.param.first)) + "_then_" + Name(info.param.second);
}

std::vector<ActionPair> Pairs(const std::vector<Action> &firsts,
                              const std::vector<Action> &seconds) {
    std::vector<ActionPair> pairs;
    for (Action f : firsts)
        for (Action s : seconds)
            pairs.push_back({f, s});
    return pairs;
}

const std::vector<Action> kAllActions{
    Action::Escape,       Action::StartButton, Action::ChannelBox, Action::ReferenceList,
    Action::ModuleChange, Action::Discover,    Action::Close,      Action::ExitCommand};

// A case that hangs ends the test program with its name, rather than the
// suite's time limit without one.
class Watchdog {
public:
    Watchdog(std::string name, std::chrono::seconds limit) : name_(std::move(name)) {
        thread_ = std::thread([this, limit] {
            std::unique_lock lock(mutex_);
            if (!signal_.wait_for(lock, limit, [this] { return done_; })) {
                std::fprintf(stderr, "hung: %s\n", name_.c_str());
                std::fflush(stderr);
                std::_Exit(3);
            }
        });
    }
    ~Watchdog() {
        {
            const std::lock_guard lock(mutex_);
            done_ = true;
        }
        signal_.notify_all();
        thread_.join();
    }

private:
    std::string name_;
    std::mutex mutex_;
    std::condition_variable signal_;
    bool done_ = false;
    std::thread thread_;
};

// Holds the module opens that run on a worker until released: a crate server
// that takes long to load the firmware.
class OpenGate {
public:
    void Hold() {
        const std::lock_guard lock(mutex_);
        held_ = true;
    }
    void Release() {
        {
            const std::lock_guard lock(mutex_);
            held_ = false;
        }
        signal_.notify_all();
    }
    int Waiting() const { return waiting_.load(); }
    void Pass(const std::string &call) {
        if (call != "KOVA8_Open" || QThread::currentThread() == qApp->thread())
            return;
        std::unique_lock lock(mutex_);
        ++waiting_;
        signal_.wait_for(lock, std::chrono::seconds(20), [this] { return !held_; });
        --waiting_;
    }

private:
    std::mutex mutex_;
    std::condition_variable signal_;
    bool held_ = false;
    std::atomic<int> waiting_{0};
};

// The window shown as a user has it after the first discovery: a crate with
// two modules (both with a selectable reference), the first one open.
class WindowWithModule : public ::testing::TestWithParam<ActionPair> {
protected:
    void SetUp() override {
        ASSERT_TRUE(EnterWindowFolder(dir, previousDir));

        TFakeCrate crate;
        crate.Serial = "2T000001";
        for (auto [slot, serial] : {std::pair{3, "8K000123"}, std::pair{5, "8K000456"}}) {
            TFakeModule m;
            m.Slot = slot;
            m.Serial = serial;
            m.Variant = 2;
            m.SampleRateHz = 150.0; // 0.05 s gives 8 frames
            m.InputMv[0] = 12.5;
            crate.Modules.push_back(m);
        }
        fake.Crates = {crate};
        // A stalled receive gives up by itself only long after the tests release it.
        fake.RecvHoldTimeoutMs = 15000;
        fake.OnCall = [this](const std::string &call) { gate.Pass(call); };

        form = std::make_unique<TMainForm>(nullptr, &fake);
        form->show();
        ASSERT_TRUE(WaitUntil([&] { return form->StartupState == 3; }));
        ASSERT_TRUE(DiscoveryOver());
        ASSERT_EQ(form->ModuleState, 2);
        ASSERT_EQ(form->ModulesComboBox->count(), 2);
        ASSERT_TRUE(form->windowHandle());
        dialogs.Clear();
    }
    void TearDown() override {
        fake.ReleaseRecv();
        gate.Release();
        form.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        LeaveWindowFolder(previousDir);
    }

    TKova8AdcChannelFrame &Panel(int i) {
        return *form->ChannelPanels[static_cast<std::size_t>(i)];
    }
    void Quietly(const std::function<void()> &change) {
        form->Busy = true;
        change();
        form->Busy = false;
    }
    bool DiscoveryOver() {
        return WaitUntil([&] {
            return form->InitRequestAllowed && !form->InitThreadAlive && !form->InitThreadRunning &&
                   !form->DiscoveryDeferred;
        });
    }
    // Channel 1 alone on its first range, short blocks, whatever the
    // settings load left.
    void ChooseRun() {
        Quietly([&] {
            form->MaxAcquisitionTime = 0.05;
            form->ReferenceVoltageLMDComboBox->setCurrentIndex(1);
            for (int i = 0; i < kChannelCount; ++i)
                Panel(i).ChannelNumberLMDCheckBox->setChecked(i == 0);
            Panel(0).InputRangeLMDComboBox->setCurrentIndex(0);
            form->EnableChannelPanels();
            Panel(0).ValueLMDEdit->clear();
        });
    }
    bool ValueShown() {
        return WaitUntil([&] {
            const QString text = Panel(0).ValueLMDEdit->text();
            return !text.isEmpty() && text != QStringLiteral("--------");
        });
    }
    void StartHeldRun() {
        ChooseRun();
        fake.HoldRecv();
        form->StartMultimeterLMDSpeedButton->click();
        ASSERT_NE(form->CurrentMainThread, nullptr);
        ASSERT_TRUE(WaitUntil([&] { return fake.RecvsUnderWay() == 1; }));
    }

    void Perform(Action a) {
        switch (a) {
        case Action::Escape: {
            // Aimed at the main window, as the window system delivers it.
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QCoreApplication::sendEvent(form->windowHandle(), &press);
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
            QCoreApplication::sendEvent(form->windowHandle(), &release);
            break;
        }
        case Action::StartButton:
            form->StartMultimeterLMDSpeedButton->click();
            break;
        case Action::ChannelBox:
            Panel(1).ChannelNumberLMDCheckBox->click();
            break;
        case Action::ReferenceList: {
            QComboBox *list = form->ReferenceVoltageLMDComboBox;
            list->setCurrentIndex(list->currentIndex() == 1 ? 0 : 1);
            break;
        }
        case Action::ModuleChange: {
            QComboBox *list = form->ModulesComboBox;
            ChooseListItem(list, list->currentIndex() == 0 ? 1 : 0);
            break;
        }
        case Action::Discover:
            form->FindDeviceLMDButton->click();
            break;
        case Action::Close:
            form->close();
            break;
        case Action::ExitCommand:
            form->ApplicationExit->trigger();
            break;
        }
    }

    // Runs `first`, which waits (waiting() tells when); the second action
    // comes from inside that wait, and the worker is let go once it has
    // returned. Returns false when the second action never came.
    struct SecondSeen {
        bool came = false;
        bool waitStillOn = false; // the first wait was still on when it returned
        bool busyBefore = false;
        bool busyAfter = false;
    };
    SecondSeen RunPair(const ActionPair &pair, const std::function<bool()> &waiting,
                       const std::function<void()> &release) {
        SecondSeen seen;
        QTimer timer;
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (seen.came || !waiting())
                return;
            seen.came = true;
            seen.busyBefore = form->Busy;
            Perform(pair.second);
            seen.busyAfter = form->Busy;
            seen.waitStillOn = waiting();
            release();
        });
        timer.start();
        Perform(pair.first);
        timer.stop();
        return seen;
    }

    // After a close: hidden, no thread, module closed by the close once.
    void ExpectClosedOnce(int closesBefore) {
        ASSERT_TRUE(WaitUntil([&] { return !form->isVisible() && form->WindowClosed; }));
        EXPECT_EQ(form->CurrentMainThread, nullptr);
        EXPECT_FALSE(form->InitThreadAlive);
        EXPECT_FALSE(form->InitThreadRunning);
        EXPECT_FALSE(form->Busy);
        EXPECT_NE(fake.KOVA8_IsOpened(&form->Descriptor), 0);
        EXPECT_EQ(fake.CallCount("KOVA8_Close") - closesBefore, 1);
        // A close asked again later changes nothing.
        form->close();
        QCoreApplication::processEvents();
        EXPECT_EQ(fake.CallCount("KOVA8_Close") - closesBefore, 1);
    }

    QTemporaryDir dir;
    QString previousDir;
    platform::RecordingDialogService dialogs;
    platform::ScopedDialogService scoped{dialogs};
    OpenGate gate;
    TFakeKovaDevice fake;
    std::unique_ptr<TMainForm> form;
};

// ---- the measurement stop waits for a receive that stalls

using StopUnderWayTest = WindowWithModule;

TEST_P(StopUnderWayTest, SecondActionReturnsAndTheWindowEndsUsableOrClosed) {
    const ActionPair pair = GetParam();
    const Watchdog watchdog(PairName(::testing::TestParamInfo<ActionPair>(pair, 0)),
                            std::chrono::seconds(90));
    StartHeldRun();
    const int closesBefore = fake.CallCount("KOVA8_Close");

    const SecondSeen seen = RunPair(
        pair, [&] { return form->MainThreadStopping && fake.RecvsUnderWay() == 1; },
        [&] { fake.ReleaseRecv(); });
    ASSERT_TRUE(seen.came) << "the first action's stop never waited";
    EXPECT_TRUE(seen.waitStillOn) << "the second action returned only after the stop ended";
    EXPECT_EQ(seen.busyAfter, seen.busyBefore) << "the second action changed the busy flag";
    EXPECT_EQ(fake.ModuleChangesDuringRecv(), 0) << "the module was touched under its worker";
    // Nothing was measured after the stop was asked for, and no error came.
    EXPECT_EQ(dialogs.Count(), 0u);

    if (Closes(pair.first) || Closes(pair.second)) {
        ExpectClosedOnce(closesBefore);
        return;
    }
    ASSERT_TRUE(WaitUntil(
        [&] { return !form->CurrentMainThread && !form->MainThreadStopping && !form->Busy; }));
    ASSERT_TRUE(DiscoveryOver());
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->ModuleState, 2);
    EXPECT_EQ(fake.KOVA8_IsOpened(&form->Descriptor), 0);
    EXPECT_FALSE(form->StartMultimeterLMDSpeedButton->isChecked());
    EXPECT_EQ(form->StartMultimeterLMDSpeedButton->text(), kStart);
    EXPECT_TRUE(form->MeasurementFinished);

    // The window is usable: a new start measures, the next press stops.
    ChooseRun();
    form->StartMultimeterLMDSpeedButton->click();
    ASSERT_NE(form->CurrentMainThread, nullptr);
    ASSERT_TRUE(ValueShown());
    EXPECT_EQ(Panel(0).ValueLMDEdit->text().toDouble(), 12.5);
    form->StartMultimeterLMDSpeedButton->click();
    EXPECT_EQ(form->CurrentMainThread, nullptr);
    EXPECT_FALSE(form->Busy);
    EXPECT_EQ(dialogs.Count(), 0u);
}

INSTANTIATE_TEST_SUITE_P(EveryPair, StopUnderWayTest,
                         ::testing::ValuesIn(Pairs(kAllActions, kAllActions)), PairName);

// A stalled receive left to its own time-out: the run's message comes inside
// the first stop's wait, and a close asked meanwhile still closes after it.
using StopByTimeOutTest = WindowWithModule;

TEST_F(StopByTimeOutTest, CloseDuringAStopThatEndsByTheReceiveTimeOut) {
    fake.RecvHoldTimeoutMs = 300;
    const Watchdog watchdog("time-out", std::chrono::seconds(60));
    StartHeldRun();
    const int closesBefore = fake.CallCount("KOVA8_Close");
    const SecondSeen seen = RunPair(
        {Action::Escape, Action::Close}, [&] { return form->MainThreadStopping; }, [] {});
    ASSERT_TRUE(seen.came);
    ASSERT_EQ(dialogs.Count(), 1u);
    EXPECT_EQ(dialogs.Shown()[0].text, QStringLiteral("Не принято ни одного отсчёта с модуля!"));
    ExpectClosedOnce(closesBefore);
}

// ---- the closing sequence waits for a discovery held in its module open

using DiscoveryUnderWayTest = WindowWithModule;

TEST_P(DiscoveryUnderWayTest, CloseWaitsForTheRunAndClosesOnce) {
    const ActionPair pair = GetParam();
    const Watchdog watchdog(PairName(::testing::TestParamInfo<ActionPair>(pair, 0)),
                            std::chrono::seconds(60));
    gate.Hold();
    // The module change's run opens the other module on the worker.
    ChooseListItem(form->ModulesComboBox, 1);
    ASSERT_TRUE(WaitUntil([&] { return gate.Waiting() == 1; }));
    const int closesBefore = fake.CallCount("KOVA8_Close");

    const SecondSeen seen = RunPair(
        pair, [&] { return form->ClosingInProgress && gate.Waiting() == 1; },
        [&] { gate.Release(); });
    ASSERT_TRUE(seen.came) << "the close never waited for the run";
    EXPECT_TRUE(seen.waitStillOn);
    EXPECT_EQ(seen.busyAfter, seen.busyBefore);
    // The run ended before the module was closed: it opened the other one.
    EXPECT_EQ(fake.LastOpenSlot, 5);
    ExpectClosedOnce(closesBefore);
}

INSTANTIATE_TEST_SUITE_P(CloseFirst, DiscoveryUnderWayTest,
                         ::testing::ValuesIn(Pairs({Action::Close, Action::ExitCommand},
                                                   {Action::Close, Action::ExitCommand,
                                                    Action::Escape, Action::Discover,
                                                    Action::ModuleChange})),
                         PairName);

} // namespace
