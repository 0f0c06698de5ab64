// Discovery runs against the in-process fake device: what the user sees in the
// device strip and the lists, and what the run leaves in the window's tables.

#include "device/fakekovadevice.h"
#include "forms/mainform.h"
#include "platform/codepage.h"
#include "platform/colors.h"
#include "platform/dialogs.h"
#include "settings/inifile.h"
#include "settings/settingskeys.h"
#include "threads/initandconfigthread.h"

#include "tests/support/windowfolder.h"
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <csignal>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

namespace {

const QString kCaption = QStringLiteral("Сообщение TInitAndConfigThread::Execute()!!!");
const QString kNoCrate = QStringLiteral("Не могу найти ни одного KOVA крейта!");
const QString kNoKova8 =
    QStringLiteral("Не могу найти ни одного KOVA крейта\nгде бы был установлен модуль KOVA8!");

TFakeModule Module(int slot, const char *serial, std::uint8_t variant = 0) {
    TFakeModule m;
    m.Slot = slot;
    m.Serial = serial;
    m.Variant = variant;
    return m;
}

class DiscoveryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(EnterWindowFolder(dir, previousDir));
        form = std::make_unique<TMainForm>(nullptr, &device);
    }
    void TearDown() override {
        form.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        LeaveWindowFolder(previousDir);
    }

    // One run, as the window starts it, waited for to its end callback.
    void Run(std::uint16_t mode, bool useSettings = false) {
        bool ended = false;
        auto *thread =
            TWorkerThread::CreateRunning<TInitAndConfigThread>(form.get(), useSettings, mode);
        ASSERT_NE(thread, nullptr);
        thread->OnTerminate = [&](TWorkerThread *) {
            form->InitThreadRunning = false;
            ended = true;
        };
        WaitPumpingEvents([&] { return ended; }, 5);
    }

    QStringList Items(QComboBox *list) {
        QStringList items;
        for (int i = 0; i < list->count(); ++i)
            items << list->itemText(i);
        return items;
    }
    QStringList Messages() {
        QStringList texts;
        for (const platform::DialogRequest &r : dialogs.Shown()) {
            EXPECT_EQ(r.caption, kCaption);
            EXPECT_EQ(r.kind, platform::DialogKind::ThreadMessage);
            texts << r.text;
        }
        return texts;
    }
    void SaveDetection(const QString &serial, int slot) {
        TIniFile ini(settings::SettingsFilePath());
        // A complete file first, so the run does not replace it with defaults.
        ASSERT_TRUE(form->CreateDefaultIniFile(settings::SettingsFilePath()));
        ASSERT_TRUE(
            ini.WriteString(settings::kDetectionSection, settings::kCrateSerialKey, serial));
        ASSERT_TRUE(ini.WriteInteger(settings::kDetectionSection, settings::kModuleSlotKey, slot));
    }

    QTemporaryDir dir;
    QString previousDir;
    TFakeKovaDevice device;
    platform::RecordingDialogService dialogs;
    platform::ScopedDialogService dialogScope{dialogs};
    std::unique_ptr<TMainForm> form;
};

const QColor kLime = platform::ColorFromWin(0x00FF00);
const QColor kRed = platform::ColorFromWin(0x0000FF);

TEST_F(DiscoveryTest, FullDiscoveryOpensTheModuleAndShowsIt) {
    device.ScriptOneModule();
    const TFakeModule &module = device.Crates[0].Modules[0];
    Run(3, true);

    EXPECT_TRUE(Messages().isEmpty()) << Messages().join(u'|').toStdString();
    EXPECT_EQ(form->ModuleState, 2);
    EXPECT_EQ(form->CrateOk, 1u);
    EXPECT_EQ(Items(form->KovaCratesComboBox), QStringList{QStringLiteral("1: 2T000001")});
    EXPECT_EQ(Items(form->ModulesComboBox), QStringList{QStringLiteral("Слот 3: KOVA8M-3")});
    EXPECT_EQ(form->KovaCratesComboBox->currentIndex(), 0);
    EXPECT_EQ(form->ModulesComboBox->currentIndex(), 0);
    EXPECT_EQ(form->KovaCrateStatusLed->BrushColor(), kLime);
    EXPECT_EQ(form->ModuleStatusLed->BrushColor(), kLime);
    EXPECT_EQ(form->KovaCrateStatusLed->toolTip(), QStringLiteral("Статус KOVA крейта -> OK"));
    EXPECT_EQ(form->ModuleStatusLed->toolTip(), QStringLiteral("Статус модуля '") +
                                                    QString::fromStdString(module.Name) +
                                                    QStringLiteral("' -> OK"));
    EXPECT_EQ(form->ModuleSerialNumberLMDLabel->text(), QString::fromStdString(module.Serial));
    EXPECT_EQ(form->ModuleFirmwareVersionLMDLabel->text(),
              QString::fromStdString(module.FirmwareVersion));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("KOVA8_duvu - 1.0.0"));
    EXPECT_EQ(device.LastOpenFirmware, "KOVA8.bio");

    // The window is usable again: strip, page, start panel; the plain variant
    // has its reference fixed at 5.0 V.
    EXPECT_TRUE(form->FindDeviceLMDButton->isEnabled());
    EXPECT_TRUE(form->MainLMDPageControl->isEnabled());
    EXPECT_FALSE(form->StartMultimeterLMDSimplePanel->isHidden());
    EXPECT_TRUE(form->StartMultimeterLMDSpeedButton->isEnabled());
    EXPECT_TRUE(form->ChannelPanels[0]->ChannelNumberLMDCheckBox->isEnabled());
    EXPECT_FALSE(form->ReferenceVoltageLMDComboBox->isEnabled());
    EXPECT_FALSE(form->RefVoltageForClbCoeffsLMDComboBox->isEnabled());
    EXPECT_EQ(form->ReferenceVoltageLMDComboBox->currentIndex(), 1);
    EXPECT_EQ(form->RefVoltageForClbCoeffsLMDComboBox->currentIndex(), 1);
    EXPECT_FALSE(form->Busy);
    EXPECT_FALSE(form->PopupMenuAutoPopup);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    // The settings file was created with the defaults.
    EXPECT_TRUE(QFile::exists(settings::SettingsFilePath()));
}

struct FailureCase {
    const char *name;
    std::function<void(TFakeKovaDevice &)> script;
    const QString *message; // null: no message
};

TEST_F(DiscoveryTest, FailedFullDiscoveriesShowRedLampsAndEmptyLists) {
    const FailureCase cases[] = {
        {"listing refused", [](TFakeKovaDevice &d) { d.ScriptOneModule().RefuseCrateList = true; },
         &kNoCrate},
        {"list connection refused",
         [](TFakeKovaDevice &d) { d.ScriptOneModule().RefuseListOpen = true; }, &kNoCrate},
        {"no crate at all", [](TFakeKovaDevice &d) { d.Crates.clear(); }, &kNoKova8},
        {"only foreign modules",
         [](TFakeKovaDevice &d) { d.ScriptOneModule().Crates[0].Modules[0].Id = 0x1234; },
         &kNoKova8},
        {"the only KOVA8 does not open",
         [](TFakeKovaDevice &d) { d.ScriptOneModule().Crates[0].Modules[0].RefuseOpen = true; },
         &kNoKova8},
        {"crate does not open",
         [](TFakeKovaDevice &d) { d.ScriptOneModule().Crates[0].RefuseOpen = true; }, nullptr},
        {"module query refused",
         [](TFakeKovaDevice &d) { d.ScriptOneModule().Crates[0].RefuseModuleQuery = true; },
         nullptr},
    };
    for (const FailureCase &c : cases) {
        SCOPED_TRACE(c.name);
        dialogs.Clear();
        form = std::make_unique<TMainForm>(nullptr, &device);
        device.RefuseCrateList = false;
        device.RefuseListOpen = false;
        c.script(device);
        Run(3, true);

        const QStringList messages = Messages();
        if (c.message) {
            EXPECT_EQ(messages, QStringList{*c.message});
        } else {
            EXPECT_TRUE(messages.isEmpty()) << messages.join(u'|').toStdString();
        }
        EXPECT_EQ(form->ModuleState, 0);
        EXPECT_EQ(form->KovaCratesComboBox->count(), 0);
        EXPECT_EQ(form->ModulesComboBox->count(), 0);
        EXPECT_EQ(form->KovaCrateStatusLed->BrushColor(), kRed);
        EXPECT_EQ(form->ModuleStatusLed->BrushColor(), kRed);
        EXPECT_EQ(form->KovaCrateStatusLed->toolTip(), QStringLiteral("Статус KOVA крейта -> BAD"));
        EXPECT_EQ(form->ModuleStatusLed->toolTip(),
                  QStringLiteral("Статус модуля '??") + QStringLiteral("?' -> BAD"));
        EXPECT_EQ(form->ModuleSerialNumberLMDLabel->text(), QStringLiteral("????????"));
        EXPECT_EQ(form->ModuleFirmwareVersionLMDLabel->text(), QStringLiteral("??.??"));
        EXPECT_EQ(form->windowTitle(), QStringLiteral("KOVA8_duvu - 1.0.0"));
        // The strip works again, the measurement stays out of reach.
        EXPECT_TRUE(form->FindDeviceLMDButton->isEnabled());
        EXPECT_TRUE(form->StartMultimeterLMDSimplePanel->isHidden());
        EXPECT_FALSE(form->ChannelPanels[0]->ChannelNumberLMDCheckBox->isEnabled());
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
}

// The rows of the failure table that are not about the scan itself: the last
// open, the settings file, and a failure no status reports.
TEST_F(DiscoveryTest, FailuresAroundTheScanGiveTheirOwnOutcome) {
    const QString kSettingsLoad =
        QStringLiteral("Не могу проинициализировать параметры работы приложения!");
    const QString kException = QStringLiteral(
        "Опаньки!!! Поймали неустранимое исключение!!!\nСрочно сообщите разработчику!");
    const QString kNoSettingsFile = QStringLiteral("Не могу создать файл настроек!");
    struct Case {
        const char *name;
        std::function<void()> script;
        // A file-size limit on this process: the default settings cannot be
        // written, as on a full disk.
        bool fullDisk;
        QStringList threadMessages;
        int moduleState;
        std::uint32_t crateOk;
        bool scanned;
        bool listedButNotOpen; // lists filled, crate lamp green, module lamp red
    };
    std::optional<platform::ScopedMissingCodePage> missingCodePage;
    const Case cases[] = {
        {"the selected module answers the scan but takes no firmware",
         [&] { device.Crates[0].Modules[0].OpensBeforeRefusal = 1; },
         false,
         {},
         0,
         1,
         true,
         true},
        {"the settings file cannot be created",
         [&] { settings::SetSettingsDirectory(dir.filePath(QStringLiteral("gone"))); },
         false,
         {kNoSettingsFile},
         0,
         0,
         false,
         false},
        {"a folder stands where the settings file belongs",
         [&] { ASSERT_TRUE(QDir().mkpath(settings::SettingsFilePath())); },
         false,
         {kNoSettingsFile},
         0,
         0,
         false,
         false},
        {"the default settings cannot be written", [] {}, true, {kSettingsLoad}, 2, 1, true, false},
        {"the Windows-1251 converter is missing",
         [&] { missingCodePage.emplace(); },
         false,
         {platform::MissingCodePageText()},
         0,
         0,
         false,
         false},
        {"the library throws",
         [&] {
             device.OnCall = [](const std::string &call) {
                 if (call == "KOVA_GetCrates")
                     throw std::runtime_error("broken library");
             };
         },
         false,
         {kException},
         0,
         0,
         true,
         false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        dialogs.Clear();
        QFile::remove(settings::SettingsFilePath());
        QDir(settings::SettingsFilePath()).removeRecursively();
        device.ScriptOneModule();
        device.OnCall = nullptr;
        device.ClearCalls();
        form = std::make_unique<TMainForm>(nullptr, &device);
        c.script();
        rlimit saved{};
        if (c.fullDisk) {
            ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
            rlimit tiny = saved;
            tiny.rlim_cur = 1;
            std::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails instead
            ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tiny), 0);
        }
        Run(3, true);
        if (c.fullDisk) {
            setrlimit(RLIMIT_FSIZE, &saved);
            std::signal(SIGXFSZ, SIG_DFL);
        }
        device.OnCall = nullptr;
        missingCodePage.reset();
        settings::SetSettingsDirectory(dir.path());

        QStringList threadMessages;
        for (const platform::DialogRequest &r : dialogs.Shown())
            if (r.kind == platform::DialogKind::ThreadMessage)
                threadMessages << r.text;
        EXPECT_EQ(threadMessages, c.threadMessages);
        EXPECT_EQ(form->ModuleState, c.moduleState);
        EXPECT_EQ(form->CrateOk, c.crateOk);
        EXPECT_EQ(device.CallCount("KOVA_Open") > 0, c.scanned);
        if (c.listedButNotOpen) {
            EXPECT_EQ(form->KovaCratesComboBox->count(), 1);
            EXPECT_EQ(form->KovaCrateStatusLed->BrushColor(), kLime);
            EXPECT_EQ(form->ModuleStatusLed->BrushColor(), kRed);
        }
        if (c.fullDisk) {
            EXPECT_EQ(dialogs.Count(), 2u) << "the default write reports itself too";
        }
        // Whatever failed, the run ended with the window usable again.
        EXPECT_TRUE(form->FindDeviceLMDButton->isEnabled());
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
}

TEST_F(DiscoveryTest, MissingFirmwareStopsTheRunBeforeAnyCrateIsTouched) {
    device.ScriptOneModule();
    QFile::remove(dir.filePath(QStringLiteral("KOVA8.bio")));
    Run(3, true);
    EXPECT_EQ(Messages(), QStringList{QStringLiteral(
                              "Не могу найти файл 'KOVA8.bio' для заливки в DSP модуля!")});
    EXPECT_EQ(device.CallCount("KOVA_Open"), 0);
    EXPECT_EQ(device.CallCount("KOVA8_Open"), 0);
    EXPECT_EQ(form->ModuleState, 0);
    EXPECT_EQ(form->ModuleStatusLed->BrushColor(), kRed);
}

TEST_F(DiscoveryTest, OnlyCratesWithKova8AreListedAndModulesComeInSlotOrder) {
    TFakeCrate empty;
    empty.Serial = "EMPTY01";
    empty.Modules.push_back(Module(2, "X"));
    empty.Modules.back().Id = 0x1111;
    TFakeCrate full;
    full.Serial = "FULL02";
    full.Modules = {Module(7, "M7", 2), Module(3, "M3")};
    device.Crates = {empty, full};
    Run(3, true);

    EXPECT_EQ(Items(form->KovaCratesComboBox), QStringList{QStringLiteral("1: FULL02")});
    EXPECT_EQ(Items(form->ModulesComboBox), (QStringList{QStringLiteral("Слот 3: KOVA8M-3"),
                                                         QStringLiteral("Слот 7: KOVA8M-2")}));
    EXPECT_EQ(form->AttachedCrateCount, 2);
    EXPECT_EQ(form->CrateCount, 1);
    EXPECT_EQ(form->ModuleCounts[0], 2);
    EXPECT_STREQ(form->ModuleSerials[0][1].data(), "M7");
    // Every KOVA8 was opened once to read it, and the chosen one twice more;
    // at the end exactly the chosen one is open.
    EXPECT_EQ(device.CallCount("KOVA8_Open"), 4);
    ASSERT_NE(device.OpenModule(&form->Descriptor), nullptr);
    EXPECT_EQ(device.OpenModule(&form->Descriptor)->Serial, "M3");
}

struct PreselectCase {
    const char *name;
    const char *serial;
    int slot;
    int crate;
    int module;
};

TEST_F(DiscoveryTest, SavedCrateAndSlotPreselectOrFallBackToTheFirst) {
    TFakeCrate a;
    a.Serial = "AAA";
    a.Modules = {Module(1, "A1")};
    TFakeCrate b;
    b.Serial = "BBB";
    b.Modules = {Module(3, "B3"), Module(7, "B7", 1)};
    const PreselectCase cases[] = {
        {"both match", "BBB", 7, 1, 1},
        {"slot matches nothing", "BBB", 9, 1, 0},
        {"serial matches nothing", "ZZZ", 7, 0, 0},
    };
    for (const PreselectCase &c : cases) {
        SCOPED_TRACE(c.name);
        device.Crates = {a, b};
        form = std::make_unique<TMainForm>(nullptr, &device);
        SaveDetection(QString::fromLatin1(c.serial), c.slot);
        Run(3, true);
        EXPECT_EQ(form->SelectedCrateIndex, c.crate);
        EXPECT_EQ(form->KovaCratesComboBox->currentIndex(), c.crate);
        EXPECT_EQ(form->ModulesComboBox->currentIndex(), c.module);
        EXPECT_EQ(form->SelectedModuleIndex[c.crate], c.module);
        EXPECT_EQ(form->ModuleState, 2);
    }
}

// The device and the settings file speak Windows-1251: a serial with
// Cyrillic letters is shown as such, saved as the same bytes and finds its
// crate again on the next start.
TEST_F(DiscoveryTest, CyrillicTextsAreShownSavedAndPreselectedAgain) {
    TFakeCrate latin;
    latin.Serial = "AAA";
    latin.Modules = {Module(1, "A1")};
    TFakeCrate cyrillic;
    cyrillic.Serial = "2\xD2\xC0"
                      "01"; // "2ТА01"
    cyrillic.Modules = {Module(4, "8\xCA"
                                  "0001")}; // "8К0001"
    cyrillic.Modules[0].Name = "\xCA\xCE\xC2\xC0"
                               "8";                   // "КОВА8"
    cyrillic.Modules[0].FirmwareVersion = "1.07\xE1"; // "1.07б"
    device.Crates = {latin, cyrillic};
    Run(3, true);
    ASSERT_EQ(form->ModuleState, 2);
    EXPECT_EQ(Items(form->KovaCratesComboBox),
              (QStringList{QStringLiteral("1: AAA"), QStringLiteral("2: 2ТА01")}));

    // The user's crate: the second one.
    form->Busy = true;
    form->KovaCratesComboBox->setCurrentIndex(1);
    form->Busy = false;
    form->SelectedCrateIndex = 1;
    Run(2);
    ASSERT_EQ(form->ModuleState, 2);
    EXPECT_EQ(form->ModuleSerialNumberLMDLabel->text(), QStringLiteral("8К0001"));
    EXPECT_EQ(form->ModuleFirmwareVersionLMDLabel->text(), QStringLiteral("1.07б"));

    ASSERT_TRUE(form->SaveIniFile(settings::SettingsFilePath()));
    QFile file(settings::SettingsFilePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("=2\xD2\xC0"
                                        "01\r\n"));
    file.close();

    // The next start preselects it again, and names the module.
    form = std::make_unique<TMainForm>(nullptr, &device);
    Run(3, true);
    EXPECT_TRUE(Messages().isEmpty()) << Messages().join(u'|').toStdString();
    EXPECT_EQ(form->SelectedCrateIndex, 1);
    EXPECT_EQ(form->KovaCratesComboBox->currentText(), QStringLiteral("2: 2ТА01"));
    EXPECT_EQ(form->ModuleSerialNumberLMDLabel->text(), QStringLiteral("8К0001"));
    EXPECT_EQ(form->ModuleStatusLed->toolTip(), QStringLiteral("Статус модуля 'КОВА8' -> OK"));
}

TEST_F(DiscoveryTest, ListDrivenRunsReopenAndReportTheirFailures) {
    TFakeCrate a;
    a.Serial = "AAA";
    a.Modules = {Module(1, "A1")};
    TFakeCrate b;
    b.Serial = "BBB";
    b.Modules = {Module(3, "B3"), Module(7, "B7", 1)};
    device.Crates = {a, b};
    Run(3, true);
    ASSERT_EQ(form->ModuleState, 2);

    // Another module of the same crate (mode 1).
    form->SelectedModuleIndex[form->SelectedCrateIndex] = 0;
    form->SelectedCrateIndex = 1;
    form->SelectedModuleIndex[1] = 1;
    Run(1);
    EXPECT_TRUE(Messages().isEmpty());
    EXPECT_EQ(form->ModuleState, 2);
    EXPECT_EQ(form->ModuleSerialNumberLMDLabel->text(), QStringLiteral("B7"));
    EXPECT_TRUE(form->ReferenceVoltageLMDComboBox->isEnabled()); // variant 1

    // Another crate (mode 2): the module's name is not read in this run.
    form->Busy = true;
    form->KovaCratesComboBox->setCurrentIndex(0);
    form->Busy = false;
    form->SelectedCrateIndex = 0;
    Run(2);
    EXPECT_TRUE(Messages().isEmpty());
    EXPECT_EQ(Items(form->ModulesComboBox), QStringList{QStringLiteral("Слот 1: KOVA8M-3")});
    EXPECT_EQ(form->ModuleStatusLed->toolTip(),
              QStringLiteral("Статус модуля '??") + QStringLiteral("?' -> OK"));
    EXPECT_EQ(form->ModuleSerialNumberLMDLabel->text(), QStringLiteral("A1"));

    // A module that no longer opens: the message, pending lamps, the
    // measurement out of reach.
    struct Failing {
        std::uint16_t mode;
        const char16_t *message;
    };
    for (const Failing &f :
         {Failing{1, u"Не могу проинициализировать модуль в указанном слоте!"},
          Failing{2, u"Не могу проинициализировать KOVA крейт с модулями в указанном слоте!"}}) {
        SCOPED_TRACE(f.mode);
        dialogs.Clear();
        device.Crates[0].Modules[0].RefuseOpen = true;
        Run(f.mode);
        EXPECT_EQ(Messages(), QStringList{QString::fromUtf16(f.message)});
        EXPECT_EQ(form->ModuleState, 0);
        EXPECT_EQ(form->ModuleStatusLed->BrushColor(), platform::ButtonFaceColor());
        EXPECT_EQ(form->ModuleSerialNumberLMDLabel->text(), QStringLiteral("????????"));
        EXPECT_EQ(form->windowTitle(), QStringLiteral("KOVA8_duvu - ?.?.?"));
        EXPECT_TRUE(form->StartMultimeterLMDSimplePanel->isHidden());
        EXPECT_TRUE(form->FindDeviceLMDButton->isEnabled());
        EXPECT_EQ(device.OpenModule(&form->Descriptor), nullptr);
    }
}

} // namespace
