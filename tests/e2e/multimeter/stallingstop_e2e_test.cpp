// Stops that wait for a stalled stream, through the real window and the real
// libraries against kova-crated on the program's port: Escape pressed twice
// leaves the window usable again, Escape and then a close closes it, each
// within the receive time-out and a little more.

#include "tests/support/windowagainstserver.h"
#include "threads/mainthread.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTimer>
#include <QWindow>

#include <atomic>
#include <chrono>
#include <csignal>
#include <functional>
#include <memory>
#include <string>

namespace {

// 1000 Hz, two channels, 0.5 s blocks of 2000 words; with the fault the
// stream stalls 1600 words into every run, so the first block never ends.
std::string World(bool stalling) {
    return std::string(R"({ "pacing": true, "crates": [ { "serial": "2T000002",
  "modules": [ { "slot": 3, "serial": "8K000123", "variant": 2, "sample_rate_hz": 1000,
    "channels": [ { "dc_mV": 12.3456 }, { "dc_mV": -7.25 } ], "faults": {)") +
           (stalling ? R"("stall_after_words": 1600)" : "") + "} } ] } ] }";
}

constexpr int kReceiveTimeoutMs = 5000;
// What a stop may take beyond the receive time-out: the ending steps, the
// thread message, the window's pauses.
constexpr int kStopSlackMs = 3000;

// The production libraries, telling how long the receive under way has waited.
class TWatchedDevice final : public TKovaApiDevice {
public:
    std::int32_t KOVA8_Recv(Kova8Descriptor *module, std::uint32_t *data, std::uint32_t *timeMarks,
                            std::uint32_t words, std::uint32_t timeoutMs) override {
        since_.store(Now());
        const std::int32_t r =
            TKovaApiDevice::KOVA8_Recv(module, data, timeMarks, words, timeoutMs);
        since_.store(-1);
        return r;
    }
    // Milliseconds the receive under way has waited; -1 without one.
    long long Waited() const {
        const long long since = since_.load();
        return since < 0 ? -1 : Now() - since;
    }

private:
    static long long Now() {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    std::atomic<long long> since_{-1};
};

class StallingStopE2E : public TWindowAgainstServer<> {
protected:
    void SetUp() override {
        TWindowAgainstServer::SetUp();
        if (HasFatalFailure())
            return;
        server = std::make_unique<kovatest::TCrateServerProcess>(World(true), KOVA_SERVER_PORT);
        form = std::make_unique<TMainForm>(nullptr, &device);
        form->show();
        ASSERT_TRUE(StartedUp());
        ASSERT_TRUE(RunEnded());
        ASSERT_EQ(form->ModuleState, 2);
        ASSERT_TRUE(form->windowHandle());
        dialogs.Clear();
    }

    TKova8AdcChannelFrame &Panel(int i) {
        return *form->ChannelPanels[static_cast<std::size_t>(i)];
    }
    // Channels 1 and 2 on ±80 mV, 0.5 s blocks, whatever the settings gave.
    void ChooseRun() {
        form->Busy = true;
        form->MaxAcquisitionTime = 0.5;
        form->ReferenceVoltageLMDComboBox->setCurrentIndex(1);
        for (int i = 0; i < kChannelCount; ++i) {
            Panel(i).ChannelNumberLMDCheckBox->setChecked(i < 2);
            Panel(i).InputRangeLMDComboBox->setCurrentIndex(0);
        }
        form->EnableChannelPanels();
        Panel(0).ValueLMDEdit->clear();
        form->Busy = false;
    }
    bool ValueShown() {
        return WaitUntil(
            [&] {
                const QString text = Panel(0).ValueLMDEdit->text();
                return !text.isEmpty() && text != QStringLiteral("--------");
            },
            10000);
    }
    // Starts with the button and waits until the receive has stalled for a
    // while.
    void StartUntilStalled() {
        ChooseRun();
        form->StartMultimeterLMDSpeedButton->click();
        ASSERT_NE(form->CurrentMainThread, nullptr);
        ASSERT_TRUE(WaitUntil([&] { return device.Waited() > 300; }, 10000));
    }
    // The server without the fault, from the module's next start on.
    void HealServer() {
        const std::size_t before = server->OutputCount("configuration re-read");
        server->WriteConfig(World(false));
        server->Signal(SIGHUP);
        ASSERT_TRUE(
            WaitUntil([&] { return server->OutputCount("configuration re-read") > before; }));
    }
    void Escape() {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(form->windowHandle(), &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(form->windowHandle(), &release);
    }

    TWatchedDevice device;
};

TEST_F(StallingStopE2E, EscapeTwiceLeavesTheWindowUsable) {
    StartUntilStalled();
    QElapsedTimer clock;
    clock.start();
    bool secondReturned = false;
    QTimer::singleShot(300, form.get(), [&] {
        Escape();
        secondReturned = true;
    });
    Escape(); // its stop waits for the receive's time-out
    ASSERT_TRUE(WaitUntil([&] { return !form->CurrentMainThread && !form->Busy; },
                          kReceiveTimeoutMs + kStopSlackMs));
    EXPECT_LT(clock.elapsed(), kReceiveTimeoutMs + kStopSlackMs);
    EXPECT_TRUE(secondReturned);
    ASSERT_EQ(dialogs.Count(), 1u);
    EXPECT_EQ(dialogs.Shown()[0].text, QStringLiteral("Не принято ни одного отсчёта с модуля!"));
    EXPECT_FALSE(form->StartMultimeterLMDSpeedButton->isChecked());
    EXPECT_EQ(form->StartMultimeterLMDSpeedButton->text(), QStringLiteral("С   Т   А   Р   Т"));

    // Usable again: once the stream flows, the next press measures and the
    // one after stops.
    HealServer();
    ChooseRun();
    form->StartMultimeterLMDSpeedButton->click();
    ASSERT_NE(form->CurrentMainThread, nullptr);
    ASSERT_TRUE(ValueShown());
    EXPECT_EQ(Panel(0).ValueLMDEdit->text(), QStringLiteral("12.3456"));
    EXPECT_EQ(Panel(1).ValueLMDEdit->text(), QStringLiteral("-7.2500"));
    form->StartMultimeterLMDSpeedButton->click();
    EXPECT_EQ(form->CurrentMainThread, nullptr);
    EXPECT_EQ(dialogs.Count(), 1u);
}

struct CloseCase {
    const char *name;
    std::function<void(TMainForm &)> close;
};

TEST_F(StallingStopE2E, EscapeThenACloseClosesOnceTheStopHasEnded) {
    const CloseCase cases[] = {
        {"close button", [](TMainForm &f) { f.close(); }},
        {"Ctrl+Q", [](TMainForm &f) { f.ApplicationExit->trigger(); }},
    };
    for (const CloseCase &c : cases) {
        SCOPED_TRACE(c.name);
        if (!form) {
            form = std::make_unique<TMainForm>(nullptr, &device);
            form->show();
            ASSERT_TRUE(WaitUntil([&] { return form->StartupState == 3; }));
            ASSERT_TRUE(RunEnded());
            ASSERT_EQ(form->ModuleState, 2);
            dialogs.Clear();
        }
        StartUntilStalled();
        QElapsedTimer clock;
        clock.start();
        bool visibleAfterClose = false;
        QTimer::singleShot(300, form.get(), [&] {
            c.close(*form);
            visibleAfterClose = form->isVisible();
        });
        Escape();
        ASSERT_TRUE(
            WaitUntil([&] { return !form->isVisible(); }, kReceiveTimeoutMs + kStopSlackMs));
        EXPECT_LT(clock.elapsed(), kReceiveTimeoutMs + kStopSlackMs);
        EXPECT_TRUE(visibleAfterClose) << "the window went while its worker could still receive";
        EXPECT_EQ(form->CurrentMainThread, nullptr);
        EXPECT_NE(form->Device->KOVA8_IsOpened(&form->Descriptor), 0);
        EXPECT_FALSE(form->Busy);
        ASSERT_EQ(dialogs.Count(), 1u);
        EXPECT_EQ(dialogs.Shown()[0].text,
                  QStringLiteral("Не принято ни одного отсчёта с модуля!"));
        form.reset();
    }
}

} // namespace
