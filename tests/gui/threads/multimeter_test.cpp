#include "device/fakekovadevice.h"
#include "forms/mainform.h"
#include "forms/windowmessage.h"
#include "platform/colors.h"
#include "platform/dialogs.h"
#include "tests/support/userchoice.h"
#include "tests/support/waituntil.h"
#include "threads/mainthread.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

namespace {

const QString kStart = QStringLiteral("С   Т   А   Р   Т");
const QString kStop = QStringLiteral("С   Т   О   П");

// A window with the fake's one module open and ready, as a discovery leaves it.
class MultimeterTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake.ScriptOneModule();
        Module().SampleRateHz = 150.0; // 0.05 s gives N = 8
        pristine = Module();
        form = std::make_unique<TMainForm>(nullptr, &fake);
        ASSERT_EQ(fake.KOVA8_Init(&form->Descriptor), 0);
        ASSERT_EQ(fake.KOVA8_Open(&form->Descriptor, 0x7F000001, 11111, "2T000001", 3, "KOVA8.bio"),
                  0);
        form->ModuleState = 2;
        form->MaxAcquisitionTime = 0.05;
        for (QString &format : form->DisplayFormats)
            format = QStringLiteral("0.0000");
        Quietly([&] {
            form->ReferenceVoltageLMDComboBox->setCurrentIndex(1);
            form->EnableChannelPanels();
        });
    }
    void TearDown() override {
        form.reset();
        TMainThread::FailAllocationForTesting(0);
    }

    TFakeModule &Module() { return fake.Crates[0].Modules[0]; }
    TKova8AdcChannelFrame &Panel(int i) {
        return *form->ChannelPanels[static_cast<std::size_t>(i)];
    }

    // Changes controls the way the settings load does: no handler runs.
    void Quietly(const std::function<void()> &change) {
        form->Busy = true;
        change();
        form->Busy = false;
    }
    // Enables exactly the given channels, each with its range index.
    void Select(const std::vector<std::pair<int, int>> &channelRanges) {
        Quietly([&] {
            for (int i = 0; i < 8; ++i)
                Panel(i).ChannelNumberLMDCheckBox->setChecked(false);
            for (auto [channel, range] : channelRanges) {
                Panel(channel).ChannelNumberLMDCheckBox->setChecked(true);
                Panel(channel).InputRangeLMDComboBox->setCurrentIndex(range);
            }
            form->EnableChannelPanels();
        });
    }
    void PressStart() { form->StartMultimeterLMDSpeedButton->click(); }
    // Waits until a block's value stands in the channel's box.
    bool ValueShown(int channel) {
        return WaitUntil([&] {
            const QString text = Panel(channel).ValueLMDEdit->text();
            return !text.isEmpty() && text != QStringLiteral("--------");
        });
    }
    bool RunEnded() {
        return WaitUntil([&] { return form->MeasurementFinished && form->CurrentMainThread; });
    }

    platform::RecordingDialogService dialogs;
    platform::ScopedDialogService scoped{dialogs};
    TFakeKovaDevice fake;
    TFakeModule pristine;
    std::unique_ptr<TMainForm> form;
};

TEST_F(MultimeterTest, RunConfiguresTheModuleAndShowsEachChannelsMean) {
    Select({{0, 0}, {2, 2}});
    Module().InputMv[0] = 12.5;
    Module().InputMv[1] = 50.0; // not enabled: never shown
    Module().InputMv[2] = -2.5;
    PressStart();
    ASSERT_NE(form->CurrentMainThread, nullptr);
    ASSERT_TRUE(ValueShown(2));
    const TMainThread &thread = *form->CurrentMainThread;

    const Kova8Descriptor &d = form->Descriptor;
    EXPECT_EQ(d.RecordSize, 1220u);
    EXPECT_EQ(d.AcquisitionMode, 2u);
    EXPECT_EQ(d.Switch1, 0u);
    EXPECT_EQ(d.Switch2, 1u);
    EXPECT_EQ(d.ReferenceVoltage, 1u);
    EXPECT_EQ(d.Reserved92, 0u);
    EXPECT_EQ(d.LChannelCount, 2u);
    EXPECT_EQ(d.LChannels[0], fake.KOVA8_CreateLChannel2(1, 3, 0));
    EXPECT_EQ(d.LChannels[1], fake.KOVA8_CreateLChannel2(3, 1, 0));
    const std::array<std::int16_t, 8> logical{0, -1, 1, -1, -1, -1, -1, -1};
    EXPECT_EQ(thread.LogicalIndex, logical);
    EXPECT_EQ(thread.SamplesPerChannel, 8u);
    EXPECT_EQ(thread.TotalSamples, 16u);

    EXPECT_EQ(form->StartMultimeterLMDSpeedButton->text(), kStop);
    EXPECT_EQ(Panel(0).ValueLMDEdit->text(), QStringLiteral("12.5000"));
    EXPECT_EQ(Panel(2).ValueLMDEdit->text(), QStringLiteral("-2.5000"));
    EXPECT_EQ(Panel(0).ValueFontColor(), platform::ColorFromWin(platform::clLime));
    EXPECT_TRUE(Panel(1).ValueLMDEdit->text().isEmpty()) << "emptied at the start, never measured";

    form->StopThread();
    EXPECT_EQ(fake.LastRecvWords, 4u) << "one frame per receive request";
    EXPECT_EQ(fake.LastRecvTimeout, 5000u);
    EXPECT_FALSE(fake.Running(&form->Descriptor));
    EXPECT_EQ(form->StartMultimeterLMDSpeedButton->text(), kStart);
    EXPECT_FALSE(form->StartMultimeterLMDSpeedButton->isChecked());
    EXPECT_TRUE(form->MeasurementFinished);
    EXPECT_EQ(dialogs.Count(), 0u);
    // The value boxes keep the last values after the run.
    EXPECT_EQ(Panel(0).ValueLMDEdit->text(), QStringLiteral("12.5000"));
}

TEST_F(MultimeterTest, DisplayFormatIsTheOneOfTheRangeAtTheStart) {
    Select({{1, 3}});
    Module().InputMv[1] = 1.234567;
    form->DisplayFormats[3] = QStringLiteral("0.000000");
    PressStart();
    ASSERT_TRUE(ValueShown(1));
    const QString text = Panel(1).ValueLMDEdit->text();
    EXPECT_EQ(text.size(), QStringLiteral("1.234567").size()) << text.toStdString();
    EXPECT_NEAR(text.toDouble(), 1.234567, 0.0001);
    // The lamps light once the values are written.
    ASSERT_TRUE(WaitUntil([&] {
        return Panel(1).FlashLed->ShownColor() == platform::ColorFromWin(platform::clGreen);
    }));
    EXPECT_EQ(Panel(0).FlashLed->ShownColor(), platform::ButtonFaceColor());
}

struct FailureCase {
    const char *name;
    std::function<void(TFakeModule &, TMainForm &)> apply;
    QString text;
    bool startCalled;
};

TEST_F(MultimeterTest, EveryFailureIsShownOnceAndTheRunEndsCleanly) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const FailureCase cases[] = {
        // The ending's stop fails as well: only the first message shows.
        {"stop before configuring", [](TFakeModule &m, TMainForm &) { m.RefuseStop = true; },
         QStringLiteral("Не могу остановить сбор данных!!!"), false},
        {"configuration refused", [](TFakeModule &m, TMainForm &) { m.RefuseSetAdc = true; },
         QStringLiteral("Не могу выполнить установку параметров АЦП!!!"), false},
        {"receive buffer",
         [](TFakeModule &, TMainForm &) { TMainThread::FailAllocationForTesting(1); },
         QStringLiteral("Не могу выделить память под RcvBuffer!"), false},
        {"data buffer",
         [](TFakeModule &, TMainForm &) { TMainThread::FailAllocationForTesting(2); },
         QStringLiteral("Не могу выделить память под Data!"), false},
        {"channel buffer",
         [](TFakeModule &, TMainForm &) { TMainThread::FailAllocationForTesting(3); },
         QStringLiteral("Не могу выделить память под DataPerChannel!"), false},
        {"window buffer",
         [](TFakeModule &, TMainForm &) { TMainThread::FailAllocationForTesting(4); },
         QStringLiteral("Не могу выделить память под Window!"), false},
        {"start refused", [](TFakeModule &m, TMainForm &) { m.RefuseStart = true; },
         QStringLiteral("Не могу выполнить запуск сбора данных!!!"), true},
        {"stream broken", [](TFakeModule &m, TMainForm &) { m.DropAfterWords = 8; },
         QStringLiteral("Не могу получить данные с модуля!"), true},
        {"stream stalls", [](TFakeModule &m, TMainForm &) { m.StallAfterWords = 8; },
         QStringLiteral("Не принято ни одного отсчёта с модуля!"), true},
        {"short receive", [](TFakeModule &m, TMainForm &) { m.StallAfterWords = 9; },
         QStringLiteral("Принято неправильное кол-во данных с модуля!"), true},
        {"malformed words", [](TFakeModule &m, TMainForm &) { m.CorruptAfterWords = 4; },
         QStringLiteral("Не могу обработать полученные данные с модуля!"), true},
        {"negative time", [](TFakeModule &, TMainForm &f) { f.MaxAcquisitionTime = -0.5; },
         QStringLiteral("Недопустимое время сбора данных!"), false},
        {"time not a number", [nan](TFakeModule &, TMainForm &f) { f.MaxAcquisitionTime = nan; },
         QStringLiteral("Недопустимое время сбора данных!"), false},
        {"no sample in the block",
         [](TFakeModule &, TMainForm &f) { f.MaxAcquisitionTime = 0.001; },
         QStringLiteral("Слишком малое время сбора данных: не набирается ни одного отсчёта!"),
         false},
        {"block beyond 32 bits", [](TFakeModule &, TMainForm &f) { f.MaxAcquisitionTime = 1e12; },
         QStringLiteral("Слишком большое время сбора данных!"), false},
    };
    for (const FailureCase &c : cases) {
        SCOPED_TRACE(c.name);
        Select({{0, 0}, {2, 2}});
        c.apply(Module(), *form);
        dialogs.Clear();
        fake.ClearCalls();
        PressStart();
        ASSERT_TRUE(RunEnded());
        const auto shown = dialogs.Shown();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].text, c.text);
        EXPECT_EQ(shown[0].caption, kMainThreadCaption);
        EXPECT_EQ(fake.CallCount("KOVA8_Start") > 0, c.startCalled);
        EXPECT_FALSE(fake.Running(&form->Descriptor));
        EXPECT_EQ(form->StartMultimeterLMDSpeedButton->text(), kStart);
        EXPECT_FALSE(form->StartMultimeterLMDSpeedButton->isChecked());
        const TMainThread &thread = *form->CurrentMainThread;
        EXPECT_EQ(thread.RcvBuffer, nullptr);
        EXPECT_EQ(thread.Data, nullptr);
        EXPECT_EQ(thread.DataPerChannel, nullptr);
        EXPECT_EQ(thread.Window, nullptr);
        // The idle thread goes with the next stop; the window is usable again.
        form->StopThread();
        EXPECT_EQ(form->CurrentMainThread, nullptr);
        Module() = pristine;
        form->MaxAcquisitionTime = 0.05;
        TMainThread::FailAllocationForTesting(0);
    }
}

TEST_F(MultimeterTest, ChannelsThatCannotBeConfiguredAreRefusedBeforeTheModuleStarts) {
    struct Case {
        const char *name;
        std::vector<std::pair<int, int>> channels;
        QString text;
    };
    const Case cases[] = {
        {"no channel", {}, QStringLiteral("Необходимо выбрать не менне одного активного канала!")},
        {"channel 5 without range",
         {{0, 1}, {4, -1}},
         QStringLiteral("Не выбран предел измерений для канала 5!")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Select(c.channels);
        dialogs.Clear();
        fake.ClearCalls();
        PressStart();
        ASSERT_TRUE(RunEnded());
        const auto shown = dialogs.Shown();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].text, c.text);
        EXPECT_EQ(fake.CallCount("KOVA8_Start"), 0);
        EXPECT_EQ(fake.CallCount("KOVA8_SetADC"), 0);
        EXPECT_EQ(form->StartMultimeterLMDSpeedButton->text(), kStart);
        form->StopThread();
    }
}

TEST_F(MultimeterTest, StopInTheMiddleOfABlockStopsTheModuleAndShowsNothing) {
    Select({{0, 0}});
    Module().SampleRateHz = 1000.0;
    form->MaxAcquisitionTime = 0.5; // 500 receives of 2 ms each
    fake.RecvDelayMs = 2;
    PressStart();
    ASSERT_TRUE(WaitUntil([&] { return fake.CallCount("KOVA8_Recv") > 20; }));
    form->StopThread();
    EXPECT_EQ(form->CurrentMainThread, nullptr);
    EXPECT_EQ(fake.CallCount("KOVA8_ProcessData"), 0);
    EXPECT_LT(fake.CallCount("KOVA8_Recv"), 500);
    EXPECT_FALSE(fake.Running(&form->Descriptor));
    EXPECT_EQ(dialogs.Count(), 0u);
    EXPECT_EQ(Panel(0).ValueLMDEdit->text(), QString()) << "no partial block shown";
    EXPECT_EQ(form->StartMultimeterLMDSpeedButton->text(), kStart);
}

TEST_F(MultimeterTest, PressingTheDownButtonStopsTheRun) {
    Select({{0, 0}});
    PressStart();
    ASSERT_NE(form->CurrentMainThread, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return fake.CallCount("KOVA8_ProcessData") > 0; }));
    PressStart();
    EXPECT_EQ(form->CurrentMainThread, nullptr);
    EXPECT_FALSE(form->StartMultimeterLMDSpeedButton->isChecked());
    EXPECT_EQ(form->StartMultimeterLMDSpeedButton->text(), kStart);
    EXPECT_FALSE(fake.Running(&form->Descriptor));
}

// ---- the page's controls

TEST_F(MultimeterTest, TickingAllChannelsStopsTheRunAndEnablesEveryChannel) {
    Select({{0, 0}});
    PressStart();
    ASSERT_NE(form->CurrentMainThread, nullptr);
    form->AllChannelsLMDCheckBox->setCheckState(Qt::Checked);
    EXPECT_EQ(form->CurrentMainThread, nullptr);
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(Panel(i).ChannelNumberLMDCheckBox->isChecked());
        EXPECT_TRUE(Panel(i).InputRangeLMDComboBox->isEnabled());
        EXPECT_TRUE(Panel(i).ValueLMDEdit->isEnabled());
    }
    EXPECT_EQ(form->StartMultimeterLMDSpeedButton->text(), kStart);
    EXPECT_FALSE(form->StartMultimeterLMDSpeedButton->isChecked());

    form->AllChannelsLMDCheckBox->setCheckState(Qt::Unchecked);
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        EXPECT_FALSE(Panel(i).ChannelNumberLMDCheckBox->isChecked());
        EXPECT_FALSE(Panel(i).InputRangeLMDComboBox->isEnabled());
        EXPECT_EQ(Panel(i).ValueLMDEdit->text(), QStringLiteral("--------"));
    }
}

TEST_F(MultimeterTest, OneChannelBoxKeepsTheAllChannelsBoxInStep) {
    form->AllChannelsLMDCheckBox->setCheckState(Qt::Checked);
    Panel(2).SetLampState(TKova8AdcChannelFrame::LampState::Green);
    Panel(2).ChannelNumberLMDCheckBox->setChecked(false);
    EXPECT_EQ(form->AllChannelsLMDCheckBox->checkState(), Qt::PartiallyChecked);
    EXPECT_EQ(Panel(2).ValueLMDEdit->text(), QStringLiteral("--------"));
    EXPECT_FALSE(Panel(2).ValueLMDEdit->isEnabled());
    EXPECT_FALSE(Panel(2).InputRangeLMDComboBox->isEnabled());
    EXPECT_EQ(Panel(2).FlashLed->ShownColor(), platform::ButtonFaceColor());
    Panel(2).ChannelNumberLMDCheckBox->setChecked(true);
    EXPECT_EQ(form->AllChannelsLMDCheckBox->checkState(), Qt::Checked);
    EXPECT_TRUE(Panel(2).ValueLMDEdit->isEnabled());

    // From grey, a click means all.
    Panel(5).ChannelNumberLMDCheckBox->setChecked(false);
    ASSERT_EQ(form->AllChannelsLMDCheckBox->checkState(), Qt::PartiallyChecked);
    form->AllChannelsLMDCheckBox->click();
    EXPECT_EQ(form->AllChannelsLMDCheckBox->checkState(), Qt::Checked);
    EXPECT_TRUE(Panel(5).ChannelNumberLMDCheckBox->isChecked());
}

TEST_F(MultimeterTest, CommonRangeAndPanelRangesAgreeBothWays) {
    form->CommonInputRangeLMDComboBox->setCurrentIndex(0);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(Panel(i).InputRangeLMDComboBox->currentIndex(), 0);
    Panel(4).InputRangeLMDComboBox->setCurrentIndex(2);
    EXPECT_EQ(form->CommonInputRangeLMDComboBox->currentIndex(), -1);
    form->CommonInputRangeLMDComboBox->setCurrentIndex(2);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(Panel(i).InputRangeLMDComboBox->currentIndex(), 2);
    Panel(4).InputRangeLMDComboBox->setCurrentIndex(5);
    Panel(4).InputRangeLMDComboBox->setCurrentIndex(2);
    EXPECT_EQ(form->CommonInputRangeLMDComboBox->currentIndex(), 2);
}

TEST_F(MultimeterTest, ReferenceChangeStopsTheRunAndChangesNothingElse) {
    Select({{0, 0}, {3, 6}});
    PressStart();
    ASSERT_NE(form->CurrentMainThread, nullptr);
    form->ReferenceVoltageLMDComboBox->setCurrentIndex(0);
    EXPECT_EQ(form->CurrentMainThread, nullptr);
    EXPECT_EQ(form->ReferenceVoltageLMDComboBox->currentIndex(), 0);
    EXPECT_TRUE(Panel(0).ChannelNumberLMDCheckBox->isChecked());
    EXPECT_TRUE(Panel(3).ChannelNumberLMDCheckBox->isChecked());
    EXPECT_FALSE(Panel(1).ChannelNumberLMDCheckBox->isChecked());
    EXPECT_EQ(Panel(3).InputRangeLMDComboBox->currentIndex(), 6);
    // The next run reads the new choice.
    PressStart();
    ASSERT_TRUE(WaitUntil([&] {
        return fake.CallCount("KOVA8_SetADC") > 0 && form->Descriptor.ReferenceVoltage == 0;
    }));
}

// Records the discovery requests the window posts to itself and swallows
// them, so no discovery run starts behind the test.
class DiscoveryRequestRecorder : public QObject {
public:
    std::vector<std::uintptr_t> modes;

protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() != kDiscoveryRequestEvent)
            return false;
        modes.push_back(static_cast<const TWindowMessage *>(event)->WParam);
        return true;
    }
};

TEST_F(MultimeterTest, ChoosingAnotherCrateOrModuleStopsTheRunFirst) {
    struct Case {
        const char *name;
        QComboBox *TMainForm::*list;
        std::uintptr_t mode; // the discovery the choice asks for
    };
    const Case cases[] = {
        {"another module", &TMainForm::ModulesComboBox, 1},
        {"another crate", &TMainForm::KovaCratesComboBox, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Select({{0, 0}});
        DiscoveryRequestRecorder requests;
        form->installEventFilter(&requests);
        Quietly([&] {
            for (QComboBox *list : {form->KovaCratesComboBox, form->ModulesComboBox}) {
                list->clear();
                list->addItems({QStringLiteral("first"), QStringLiteral("second")});
                list->setCurrentIndex(0);
            }
            form->CrateCount = 2;
            form->SelectedCrateIndex = 0;
            form->ModuleSerials[0][1] = {'8', 'K', '9', '9', '9', '9', '9', '9'};
            form->ModuleSerialNumberLMDLabel->setText(QStringLiteral("8K000001"));
            form->InitRequestAllowed = true;
        });
        PressStart();
        ASSERT_NE(form->CurrentMainThread, nullptr);
        ASSERT_TRUE(ValueShown(0));

        ChooseListItem(form.get()->*c.list, 1);
        EXPECT_EQ(form->CurrentMainThread, nullptr) << "the run ends before the request";
        EXPECT_FALSE(fake.Running(&form->Descriptor));
        EXPECT_EQ(form->StartMultimeterLMDSpeedButton->text(), kStart);
        QCoreApplication::sendPostedEvents(form.get());
        EXPECT_EQ(requests.modes, std::vector<std::uintptr_t>{c.mode});
        form->removeEventFilter(&requests);
    }
}

} // namespace
