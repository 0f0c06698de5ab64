// The settings load, save and defaults through the main window, offscreen.

#include "device/fakekovadevice.h"
#include "forms/mainform.h"
#include "platform/dialogs.h"
#include "settings/settingsstore.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <cstring>

using platform::DialogRequest;

namespace {

class MainFormSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        settings::SetSettingsDirectory(dir_.path());
        path_ = settings::SettingsFilePath();
        form_ = std::make_unique<TMainForm>(nullptr, &device_);
    }

    void TearDown() override {
        form_.reset();
        settings::SetSettingsDirectory(QString());
    }

    void WriteText(const QString &text) {
        QFile file(path_);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        QStringEncoder encoder("windows-1251");
        file.write(encoder.encode(text));
    }

    QByteArray ReadRaw() const {
        QFile file(path_);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // A crate list of one crate with one module, as discovery leaves it.
    void SelectCrate(const char *serial, int slot, bool selectModule) {
        form_->Busy = true;
        std::strncpy(form_->CrateSerials[0].data(), serial, kSerialBytes - 1);
        form_->ModuleSlots[0][0] = static_cast<std::uint16_t>(slot);
        form_->KovaCratesComboBox->addItem(QString::fromLatin1(serial));
        form_->KovaCratesComboBox->setCurrentIndex(0);
        form_->ModulesComboBox->addItem(QStringLiteral("KOVA8"));
        form_->ModulesComboBox->setCurrentIndex(selectModule ? 0 : -1);
        form_->Busy = false;
    }

    bool Load() {
        const TIniFile ini(path_);
        return form_->LoadIniFile(&ini);
    }

    std::vector<DialogRequest> Shown() const { return dialogs_.Shown(); }

    QTemporaryDir dir_;
    QString path_;
    platform::RecordingDialogService dialogs_;
    platform::ScopedDialogService scoped_{dialogs_};
    TFakeKovaDevice device_;
    std::unique_ptr<TMainForm> form_;
};

TEST_F(MainFormSettingsTest, FirstOpenWritesTheDefaultFileAndLoadsIt) {
    const QPoint before = form_->pos();
    std::unique_ptr<TIniFile> ini;
    QString error;
    ASSERT_TRUE(form_->OpenIniFile(ini, error));
    ASSERT_TRUE(ini);
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(settings::ReadCoefsSource(*ini), 0) << "the default file was not written";

    const settings::DetectionSettings detection = form_->ReadDetectionSettings(ini.get());
    EXPECT_TRUE(detection.crateSerial.isEmpty());
    EXPECT_EQ(detection.moduleSlot, -1);
    form_->ReadWindowPosition(ini.get());
    EXPECT_EQ(form_->pos(), before);

    ASSERT_TRUE(form_->LoadIniFile(ini.get()));
    EXPECT_FALSE(form_->AutoSaveSettingsLMDCheckBox->isChecked());
    EXPECT_TRUE(form_->SaveSettingsButton->isEnabled());
    EXPECT_EQ(form_->AllChannelsLMDCheckBox->checkState(), Qt::Checked);
    EXPECT_EQ(form_->CommonInputRangeLMDComboBox->currentIndex(), 0);
    EXPECT_EQ(form_->CommonInputRangeLMDComboBox->currentText().trimmed(),
              QStringLiteral("от -80 до +80 мВ"));
    EXPECT_EQ(form_->ReferenceVoltageLMDComboBox->currentText(), QStringLiteral(" 5.0 B"));
    EXPECT_EQ(form_->RefVoltageForClbCoeffsLMDComboBox->currentIndex(), 1);
    for (TKova8AdcChannelFrame *panel : form_->ChannelPanels) {
        EXPECT_TRUE(panel->ChannelNumberLMDCheckBox->isChecked());
        EXPECT_EQ(panel->InputRangeLMDComboBox->currentIndex(), 0);
        EXPECT_EQ(panel->ValueLMDEdit->text(), QStringLiteral("--------"));
    }
    EXPECT_DOUBLE_EQ(form_->MaxAcquisitionTime, 0.5);
    for (int r = 0; r < kRangeCount; ++r) {
        EXPECT_EQ(form_->DisplayPrecision[r], 4);
        EXPECT_EQ(form_->DisplayFormats[r], QStringLiteral("0.0000"));
    }
    EXPECT_FALSE(form_->Busy);
    EXPECT_TRUE(Shown().empty());
}

TEST_F(MainFormSettingsTest, HandEditedFileSurvivesOpenAndSave) {
    const QString foreign = QStringLiteral("; заметки наладчика\r\n"
                                           "[Стенд]\r\n"
                                           "Номер = 7 ; не наше\r\n"
                                           "строка без знака равенства\r\n"
                                           "\r\n");
    WriteText(foreign + QStringLiteral("[модуль kova8]\r\n"
                                       "  аЦп. групповое управление каналами   =  0  \r\n"));
    const QByteArray before = ReadRaw();
    std::unique_ptr<TIniFile> ini;
    QString error;
    ASSERT_TRUE(form_->OpenIniFile(ini, error));
    EXPECT_EQ(ReadRaw(), before) << "opening an existing file must not write it";

    ASSERT_TRUE(form_->LoadIniFile(ini.get()));
    ASSERT_TRUE(form_->SaveIniFile(path_));
    const auto cp1251 = [](const QString &text) -> QByteArray {
        QStringEncoder encoder("windows-1251");
        return encoder.encode(text);
    };
    const QByteArray after = ReadRaw();
    EXPECT_TRUE(after.startsWith(cp1251(foreign)));
    // The odd-spaced key is updated where it stands, not added a second time.
    EXPECT_TRUE(after.contains(
        cp1251(QStringLiteral("  аЦп. групповое управление каналами   =  1  \r\n"))));
    EXPECT_EQ(after.count(cp1251(QStringLiteral("управление каналами"))), 1);
}

TEST_F(MainFormSettingsTest, OpenReportsAFileThatCannotBeCreated) {
    settings::SetSettingsDirectory(dir_.filePath(QStringLiteral("gone")));
    std::unique_ptr<TIniFile> ini;
    QString error;
    EXPECT_FALSE(form_->OpenIniFile(ini, error));
    EXPECT_FALSE(ini);
    EXPECT_EQ(error, QStringLiteral("Не могу создать файл настроек!"));
    EXPECT_TRUE(Shown().empty());
    EXPECT_FALSE(form_->LoadIniFile(nullptr));
}

TEST_F(MainFormSettingsTest, SavedStateLoadsBackIntoAFreshWindow) {
    form_->move(37, 51);
    form_->AutoSaveSettingsLMDCheckBox->setChecked(true);
    form_->Busy = true;
    form_->CommonInputRangeLMDComboBox->setCurrentIndex(-1);
    form_->ReferenceVoltageLMDComboBox->setCurrentIndex(0);
    for (int i = 0; i < kChannelCount; ++i) {
        form_->ChannelPanels[i]->ChannelNumberLMDCheckBox->setChecked(i % 3 == 0);
        form_->ChannelPanels[i]->InputRangeLMDComboBox->setCurrentIndex(7 - i);
    }
    form_->AllChannelsLMDCheckBox->setCheckState(Qt::PartiallyChecked);
    form_->Busy = false;
    SelectCrate("KC-0042", 5, true);
    ASSERT_TRUE(form_->SaveIniFile(path_));
    EXPECT_TRUE(Shown().empty());

    form_ = std::make_unique<TMainForm>(nullptr, &device_);
    const TIniFile ini(path_);
    const settings::DetectionSettings detection = form_->ReadDetectionSettings(&ini);
    EXPECT_EQ(detection.crateSerial, QStringLiteral("KC-0042"));
    EXPECT_EQ(detection.moduleSlot, 5);
    form_->ReadWindowPosition(&ini);
    EXPECT_EQ(form_->pos(), QPoint(37, 51));
    ASSERT_TRUE(form_->LoadIniFile(&ini));
    EXPECT_TRUE(form_->AutoSaveSettingsLMDCheckBox->isChecked());
    EXPECT_FALSE(form_->SaveSettingsButton->isEnabled());
    EXPECT_EQ(form_->AllChannelsLMDCheckBox->checkState(), Qt::PartiallyChecked);
    EXPECT_EQ(form_->CommonInputRangeLMDComboBox->currentIndex(), -1);
    EXPECT_EQ(form_->ReferenceVoltageLMDComboBox->currentIndex(), 0);
    EXPECT_EQ(form_->RefVoltageForClbCoeffsLMDComboBox->currentIndex(), 0);
    for (int i = 0; i < kChannelCount; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(form_->ChannelPanels[i]->ChannelNumberLMDCheckBox->isChecked(), i % 3 == 0);
        EXPECT_EQ(form_->ChannelPanels[i]->InputRangeLMDComboBox->currentIndex(), 7 - i);
    }
}

struct LoadCase {
    const char *name;
    const char *allChannels;
    const char *channelKeys; // eight digits, one per channel
    const char *commonRange;
    const char *reference;
    Qt::CheckState expectAll;
    int expectCommon;
    int expectReference;
};

TEST_F(MainFormSettingsTest, LoadAppliesGroupRulesAndRejectsIndicesOutsideTheLists) {
    const LoadCase cases[] = {
        {"group on overrides channels", "1", "10101010", "2", "1", Qt::Checked, 2, 1},
        {"mixed channels grey the group box", "0", "10101010", "0", "0", Qt::PartiallyChecked, 0,
         0},
        {"all channels off", "0", "00000000", "0", "1", Qt::Unchecked, 0, 1},
        {"all channels on by their own keys", "0", "11111111", "0", "1", Qt::Checked, 0, 1},
        {"common range -1: own ranges", "1", "11111111", "-1", "1", Qt::Checked, -1, 1},
        {"common range 8: own ranges", "1", "11111111", "8", "2", Qt::Checked, -1, -1},
    };
    for (const LoadCase &c : cases) {
        SCOPED_TRACE(c.name);
        QString text = QStringLiteral("[Модуль KOVA8]\r\n");
        text += QStringLiteral("АЦП. Групповое управление каналами=%1\r\n").arg(c.allChannels);
        text += QStringLiteral("АЦП. Групповое управление входным диапазоном=%1\r\n")
                    .arg(c.commonRange);
        text += QStringLiteral("АЦП. Управление источником опорного напряжения=%1\r\n")
                    .arg(c.reference);
        for (int i = 0; i < kChannelCount; ++i) {
            text += settings::ChannelEnableKey(i) + QLatin1Char('=') +
                    QLatin1Char(c.channelKeys[i]) + QStringLiteral("\r\n");
            // Channel 8 names a range that does not exist.
            text += settings::ChannelRangeKey(i) + QLatin1Char('=') +
                    QString::number(i == 7 ? 9 : i) + QStringLiteral("\r\n");
        }
        WriteText(text);
        ASSERT_TRUE(Load());
        EXPECT_EQ(form_->AllChannelsLMDCheckBox->checkState(), c.expectAll);
        EXPECT_EQ(form_->CommonInputRangeLMDComboBox->currentIndex(), c.expectCommon);
        EXPECT_EQ(form_->ReferenceVoltageLMDComboBox->currentIndex(), c.expectReference);
        EXPECT_EQ(form_->RefVoltageForClbCoeffsLMDComboBox->currentIndex(), c.expectReference);
        for (int i = 0; i < kChannelCount; ++i) {
            const bool own = c.allChannels[0] == '0' ? c.channelKeys[i] == '1' : true;
            EXPECT_EQ(form_->ChannelPanels[i]->ChannelNumberLMDCheckBox->isChecked(), own) << i;
            const int range = c.expectCommon >= 0 ? c.expectCommon : (i == 7 ? -1 : i);
            EXPECT_EQ(form_->ChannelPanels[i]->InputRangeLMDComboBox->currentIndex(), range) << i;
        }
        EXPECT_FALSE(form_->Busy);
    }
}

TEST_F(MainFormSettingsTest, SaveKeepsSerialAndSlotThatNoSelectionNames) {
    WriteText(QStringLiteral("[Приложение. Обнаружение]\r\n"
                             "Серийный номер KOVA крейта=KC-OLD\r\n"
                             "Слот модуля=3\r\n"));
    ASSERT_TRUE(form_->SaveIniFile(path_));
    const TIniFile ini(path_);
    EXPECT_EQ(form_->ReadDetectionSettings(&ini).crateSerial, QStringLiteral("KC-OLD"));
    EXPECT_EQ(form_->ReadDetectionSettings(&ini).moduleSlot, 3);

    SelectCrate("KC-NEW", 9, false);
    ASSERT_TRUE(form_->SaveIniFile(path_));
    EXPECT_EQ(form_->ReadDetectionSettings(&ini).crateSerial, QStringLiteral("KC-NEW"));
    EXPECT_EQ(form_->ReadDetectionSettings(&ini).moduleSlot, 3);
}

TEST_F(MainFormSettingsTest, ReadOnlyFileGivesMessagesAndLeavesTheWindowUsable) {
    WriteText(QStringLiteral("[Приложение. Общие]\r\nСохранение настроек=0\r\n"));
    const QByteArray before = ReadRaw();
    ASSERT_TRUE(QFile::setPermissions(path_, QFileDevice::ReadOwner | QFileDevice::ReadGroup));

    form_->SaveSettingsButtonClick(form_->SaveSettingsButton);
    std::vector<DialogRequest> shown = Shown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, QStringLiteral("Не могу сохранить файл настроек приложения!"));
    EXPECT_EQ(shown[1].text, QStringLiteral("Не могу сохранить файл настроек модуля!"));
    for (const DialogRequest &request : shown) {
        EXPECT_EQ(request.caption, QStringLiteral("ОШИБКА SaveIniFile()!!!"));
        EXPECT_EQ(request.icon, platform::MessageIcon::Information);
    }
    EXPECT_TRUE(form_->SaveSettingsButton->isEnabled());
    EXPECT_FALSE(form_->Busy);

    dialogs_.Clear();
    form_->SaveDefaultSettingsClick();
    shown = Shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text,
              QStringLiteral("Не могу создать файл обычных настроек для приложения!"));
    EXPECT_EQ(shown[0].caption, QStringLiteral("ОШИБКА CreateDefaultIniFile()!"));
    EXPECT_EQ(ReadRaw(), before);

    dialogs_.Clear();
    EXPECT_FALSE(form_->CreateDefaultIniFile(QString()));
    ASSERT_EQ(Shown().size(), 1u);
    EXPECT_EQ(Shown()[0].text, QStringLiteral("Неправильное название файла штатных настроек!"));

    // The window still answers its handlers.
    form_->AutoSaveSettingsLMDCheckBox->setChecked(true);
    EXPECT_FALSE(form_->SaveSettingsButton->isEnabled());
}

TEST_F(MainFormSettingsTest, AutoSaveSwitchesTheButtonAndTheMenuSaveLeavesItEnabled) {
    form_->AutoSaveSettingsLMDCheckBox->setChecked(true);
    EXPECT_FALSE(form_->SaveSettingsButton->isEnabled());
    form_->AutoSaveSettingsLMDCheckBox->setChecked(false);
    EXPECT_TRUE(form_->SaveSettingsButton->isEnabled());

    form_->AutoSaveSettingsLMDCheckBox->setChecked(true);
    form_->SaveCurrentSettingsClick();
    EXPECT_TRUE(form_->SaveSettingsButton->isEnabled());
    EXPECT_TRUE(settings::ReadAutoSave(TIniFile(path_)));

    // A busy window ignores the button.
    QFile::remove(path_);
    form_->Busy = true;
    form_->SaveSettingsButtonClick(form_->SaveSettingsButton);
    EXPECT_FALSE(QFile::exists(path_));
}

TEST_F(MainFormSettingsTest, CloseSavesOnlyWithAutoSave) {
    form_->close();
    EXPECT_FALSE(QFile::exists(path_));

    form_ = std::make_unique<TMainForm>(nullptr, &device_);
    form_->AutoSaveSettingsLMDCheckBox->setChecked(true);
    form_->close();
    ASSERT_TRUE(QFile::exists(path_));
    EXPECT_TRUE(settings::ReadAutoSave(TIniFile(path_)));
}

TEST_F(MainFormSettingsTest, DefaultsThenCloseWithAutoSaveKeepOnlyWhatTheSaveDoesNotWrite) {
    form_->AutoSaveSettingsLMDCheckBox->setChecked(true);
    form_->Busy = true;
    form_->ReferenceVoltageLMDComboBox->setCurrentIndex(0);
    form_->CommonInputRangeLMDComboBox->setCurrentIndex(3);
    form_->Busy = false;
    form_->SaveDefaultSettingsClick();
    // The controls keep what they show until the next load.
    EXPECT_EQ(form_->ReferenceVoltageLMDComboBox->currentIndex(), 0);
    form_->close();
    const TIniFile ini(path_);
    const settings::StoredModuleSettings stored = settings::ReadModuleSettings(ini);
    EXPECT_EQ(stored.referenceVoltage, 0);
    EXPECT_EQ(stored.commonRange, 3);
    EXPECT_TRUE(settings::ReadAutoSave(ini));
    EXPECT_DOUBLE_EQ(stored.maxAcquisitionTime, 0.5);
    EXPECT_EQ(settings::ReadCoefsSource(ini), 0);
}

TEST_F(MainFormSettingsTest, PrecisionKeysNameTheWindowsRangeCaptions) {
    for (int r = 0; r < kRangeCount; ++r) {
        EXPECT_EQ(form_->RangeCaptions[r], settings::kRangeCaptions[static_cast<std::size_t>(r)])
            << r;
    }
}

} // namespace
