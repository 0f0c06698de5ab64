// The measurement against the simulated crate server, through the real
// crate and module libraries: known inputs give known values to the last
// displayed digit, stream faults give their messages, and the window can
// start again afterwards.

#include "forms/mainform.h"
#include "platform/dialogs.h"
#include "tests/support/crateserverprocess.h"
#include "tests/support/waituntil.h"
#include "threads/mainthread.h"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string Config(const std::string &faults) {
    return R"({ "pacing": true, "crates": [ { "serial": "2T000002", "modules": [
      { "slot": 3, "serial": "8K000123", "variant": 2, "sample_rate_hz": 1000,
        "channels": [ { "dc_mV": 12.3456 }, { "dc_mV": -7.25 }, { "dc_mV": 50 },
                      { "dc_mV": 33.3 }, { "dc_mV": -3 }, { "dc_mV": 0.0015 } ],
        "faults": {)" +
           faults + R"(} } ] } ] })";
}

class MultimeterE2eTest : public ::testing::Test {
protected:
    void SetUp() override {
        server = std::make_unique<kovatest::TCrateServerProcess>(Config(""));
        form = std::make_unique<TMainForm>();
        OpenModule();
        form->MaxAcquisitionTime = 0.05;
        for (QString &format : form->DisplayFormats)
            format = QStringLiteral("0.0000");
        Quietly([&] {
            form->ReferenceVoltageLMDComboBox->setCurrentIndex(1);
            // Channel k+1 on range index r.
            const std::vector<std::pair<int, int>> channels{{0, 0}, {1, 3}, {2, 2},
                                                            {3, 5}, {4, 7}, {5, 3}};
            for (auto [channel, range] : channels) {
                Panel(channel).ChannelNumberLMDCheckBox->setChecked(true);
                Panel(channel).InputRangeLMDComboBox->setCurrentIndex(range);
            }
            form->EnableChannelPanels();
        });
    }
    void TearDown() override {
        form.reset();
        server.reset();
    }

    void OpenModule() {
        TKovaDevice &device = *form->Device;
        device.KOVA8_Close(&form->Descriptor);
        ASSERT_EQ(device.KOVA8_Init(&form->Descriptor), 0);
        ASSERT_EQ(device.KOVA8_Open(&form->Descriptor, 0x7F000001, server->Port(), "2T000002", 3,
                                    "KOVA8.bio"),
                  0);
        form->ModuleState = 2;
    }
    TKova8AdcChannelFrame &Panel(int i) {
        return *form->ChannelPanels[static_cast<std::size_t>(i)];
    }
    void Quietly(const std::function<void()> &change) {
        form->Busy = true;
        change();
        form->Busy = false;
    }
    // New faults for the server: they apply from the module's next start.
    void Reconfigure(const std::string &faults) {
        const std::size_t before = server->OutputCount("configuration re-read");
        server->WriteConfig(Config(faults));
        server->Signal(SIGHUP);
        ASSERT_TRUE(
            WaitUntil([&] { return server->OutputCount("configuration re-read") > before; }));
    }
    bool ValueShown(int channel) {
        return WaitUntil(
            [&] {
                const QString text = Panel(channel).ValueLMDEdit->text();
                return !text.isEmpty() && text != QStringLiteral("--------");
            },
            10000);
    }

    platform::RecordingDialogService dialogs;
    platform::ScopedDialogService scoped{dialogs};
    std::unique_ptr<kovatest::TCrateServerProcess> server;
    std::unique_ptr<TMainForm> form;
};

TEST_F(MultimeterE2eTest, KnownInputsShowTheirValuesAndClipAtTheRangeLimits) {
    form->StartMultimeterLMDSpeedButton->click();
    ASSERT_NE(form->CurrentMainThread, nullptr);
    ASSERT_TRUE(ValueShown(5));
    struct Expect {
        int channel;
        const char *text;
    };
    const Expect expected[] = {
        {0, "12.3456"}, // ±80 mV
        {1, "-7.2500"}, // ±10 mV
        {2, "20.0000"}, // 50 mV on ±20 mV clips at the limit
        {3, "33.3000"}, // 0…40 mV
        {4, "0.0000"},  // −3 mV on 0…10 mV clips at zero
        {5, "0.0015"},  // ±10 mV
    };
    for (const Expect &e : expected)
        EXPECT_EQ(Panel(e.channel).ValueLMDEdit->text().toStdString(), e.text) << e.channel;
    EXPECT_EQ(Panel(6).ValueLMDEdit->text(), QString());
    form->StopThread();
    EXPECT_EQ(dialogs.Count(), 0u);
}

TEST_F(MultimeterE2eTest, StreamFaultsGiveTheirMessageAndTheWindowStartsAgain) {
    struct Case {
        const char *fault;
        QString text;
        bool reopen; // the server closed the link: a new discovery opens the module again
    };
    const Case cases[] = {
        {R"("drop_after_words": 24)", QStringLiteral("Не могу получить данные с модуля!"), true},
        {R"("corrupt_after_words": 24)",
         QStringLiteral("Не могу обработать полученные данные с модуля!"), false},
        {R"("stall_after_words": 24)", QStringLiteral("Не принято ни одного отсчёта с модуля!"),
         false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.fault);
        Reconfigure(c.fault);
        dialogs.Clear();
        form->StartMultimeterLMDSpeedButton->click();
        ASSERT_TRUE(WaitUntil([&] { return dialogs.Count() == 1; }, 15000));
        EXPECT_EQ(dialogs.Shown()[0].text, c.text);
        ASSERT_TRUE(WaitUntil([&] { return form->MeasurementFinished; }));
        EXPECT_FALSE(form->StartMultimeterLMDSpeedButton->isChecked());

        // Without the fault the next start measures again.
        Reconfigure("");
        if (c.reopen)
            OpenModule();
        Quietly([&] { Panel(0).ValueLMDEdit->clear(); });
        form->StartMultimeterLMDSpeedButton->click();
        ASSERT_TRUE(ValueShown(0));
        EXPECT_EQ(Panel(0).ValueLMDEdit->text(), QStringLiteral("12.3456"));
        form->StopThread();
        EXPECT_EQ(dialogs.Count(), 1u);
    }
}

} // namespace
