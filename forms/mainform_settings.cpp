// Settings load and save: the controls and fields on one side, the settings
// file on the other.

#include "forms/mainform.h"

#include "platform/codepage.h"
#include "platform/dialogs.h"
#include "settings/settingskeys.h"

#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cstring>
#include <new>

namespace {

const QString kSaveCaption = QStringLiteral("ОШИБКА SaveIniFile()!!!");
const QString kDefaultCaption = QStringLiteral("ОШИБКА CreateDefaultIniFile()!");

// The time the save button stays disabled after a save, as feedback.
constexpr unsigned long kSaveFeedbackMs = 500;

// An index that names no item of the list leaves it without a selection.
void SelectIndex(QComboBox *list, int index) {
    list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
}

QString SerialText(const std::array<char, kSerialBytes> &serial) {
    return platform::FieldFromCodePage(serial.data(), serial.size());
}

} // namespace

void TMainForm::BindSettingsHandlers() {
    connect(SaveSettingsButton, &QPushButton::clicked, this,
            [this] { SaveSettingsButtonClick(SaveSettingsButton); });
    connect(AutoSaveSettingsLMDCheckBox, &QCheckBox::stateChanged, this,
            [this] { AutoSaveSettingsLMDCheckBoxChange(); });
}

bool TMainForm::OpenIniFile(std::unique_ptr<TIniFile> &ini, QString &errorText) {
    const QString path = settings::SettingsFilePath();
    ini.reset();
    errorText.clear();
    // Without the code page the file could only be misread and miswritten.
    if (!platform::CodePageAvailable()) {
        errorText = platform::MissingCodePageText();
        return false;
    }
    const QFileInfo info(path);
    // A folder (or anything else that is no file) where the file belongs is a
    // file that cannot be created there.
    if (info.exists() && !info.isFile()) {
        errorText = QStringLiteral("Не могу создать файл настроек!");
        return false;
    }
    if (!info.exists()) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            errorText = QStringLiteral("Не могу создать файл настроек!");
            return false;
        }
        file.close();
        if (!CreateDefaultIniFile(path)) {
            return false;
        }
    }
    try {
        ini = std::make_unique<TIniFile>(path);
    } catch (const std::bad_alloc &) {
        errorText = QStringLiteral("Не могу выделить память под файл настроек!");
        return false;
    }
    return true;
}

settings::DetectionSettings TMainForm::ReadDetectionSettings(const TIniFile *ini) const {
    return settings::ReadDetectionSettings(ini);
}

void TMainForm::ReadWindowPosition(const TIniFile *ini) {
    if (ini == nullptr) {
        return;
    }
    // Each edge on its own; nothing checks them against the screen.
    const int top = ini->ReadInteger(settings::kAppSection, settings::kWindowTopKey,
                                     settings::kWindowEdgeFallback);
    if (top != -1) {
        move(x(), top);
    }
    const int left = ini->ReadInteger(settings::kAppSection, settings::kWindowLeftKey,
                                      settings::kWindowEdgeFallback);
    if (left != -1) {
        move(left, y());
    }
}

bool TMainForm::LoadIniFile(const TIniFile *ini) {
    if (ini == nullptr) {
        return false;
    }
    AutoSaveSettingsLMDCheckBox->setChecked(settings::ReadAutoSave(*ini));
    bool ok = LoadModuleSettings(ini);
    if (ModuleState == 2) {
        ok = LoadCorrectionCoefs(ini) && ok;
        ok = CheckCorrectionCoefs() && ok;
    }
    return ok;
}

bool TMainForm::LoadModuleSettings(const TIniFile *ini) {
    if (ini == nullptr) {
        return false;
    }
    const settings::StoredModuleSettings stored = settings::ReadModuleSettings(*ini);
    MaxAcquisitionTime = stored.maxAcquisitionTime;
    for (int r = 0; r < kRangeCount; ++r) {
        DisplayPrecision[r] = stored.displayPrecision[static_cast<std::size_t>(r)];
        DisplayFormats[r] = stored.displayFormat[static_cast<std::size_t>(r)];
    }

    Busy = true;
    AllChannelsLMDCheckBox->setCheckState(stored.allChannels ? Qt::Checked : Qt::Unchecked);
    SelectIndex(CommonInputRangeLMDComboBox, stored.commonRange);
    SelectIndex(ReferenceVoltageLMDComboBox, stored.referenceVoltage);
    SelectIndex(RefVoltageForClbCoeffsLMDComboBox, ReferenceVoltageLMDComboBox->currentIndex());
    const bool allChannels = AllChannelsLMDCheckBox->checkState() == Qt::Checked;
    const int commonRange = CommonInputRangeLMDComboBox->currentIndex();
    for (int i = 0; i < kChannelCount; ++i) {
        TKova8AdcChannelFrame *panel = ChannelPanels[i];
        const auto at = static_cast<std::size_t>(i);
        panel->ChannelNumberLMDCheckBox->setChecked(allChannels || stored.channelEnabled[at]);
        SelectIndex(panel->InputRangeLMDComboBox,
                    commonRange < 0 ? stored.channelRange[at] : commonRange);
        panel->ValueLMDEdit->setText(QStringLiteral("--------"));
    }
    int checkedCount = 0;
    for (TKova8AdcChannelFrame *panel : ChannelPanels) {
        checkedCount += panel->ChannelNumberLMDCheckBox->isChecked() ? 1 : 0;
    }
    if (checkedCount == kChannelCount) {
        AllChannelsLMDCheckBox->setCheckState(Qt::Checked);
    } else if (checkedCount == 0) {
        AllChannelsLMDCheckBox->setCheckState(Qt::Unchecked);
    } else {
        AllChannelsLMDCheckBox->setCheckState(Qt::PartiallyChecked);
    }
    Busy = false;
    return true;
}

bool TMainForm::SaveIniFile(const QString &fileName) {
    IniFile.reset();
    IniFile = std::make_unique<TIniFile>(fileName);
    const bool appSaved = SaveAppSettings(IniFile.get());
    if (!appSaved) {
        platform::ShowMessageBox(this,
                                 QStringLiteral("Не могу сохранить файл настроек приложения!"),
                                 kSaveCaption, platform::MessageIcon::Information);
    }
    // The module half is attempted whatever the application half gave.
    const bool moduleSaved = SaveModuleSettings(IniFile.get());
    if (!moduleSaved) {
        platform::ShowMessageBox(this, QStringLiteral("Не могу сохранить файл настроек модуля!"),
                                 kSaveCaption, platform::MessageIcon::Information);
    }
    return appSaved && moduleSaved;
}

bool TMainForm::SaveAppSettings(TIniFile *ini) {
    if (ini == nullptr) {
        return false;
    }
    settings::AppSettings values;
    values.autoSave = AutoSaveSettingsLMDCheckBox->isChecked();
    values.windowTop = y();
    values.windowLeft = x();
    const int crate = KovaCratesComboBox->currentIndex();
    if (crate >= 0 && crate < kMaxCrates) {
        values.crateSerial = SerialText(CrateSerials[static_cast<std::size_t>(crate)]);
        const int module = ModulesComboBox->currentIndex();
        if (module >= 0 && module < kMaxSlots) {
            values.moduleSlot =
                ModuleSlots[static_cast<std::size_t>(crate)][static_cast<std::size_t>(module)];
        }
    }
    return settings::WriteAppSettings(*ini, values);
}

bool TMainForm::SaveModuleSettings(TIniFile *ini) {
    if (ini == nullptr) {
        return false;
    }
    settings::ModuleSettings values;
    // The greyed third state is not "checked".
    values.allChannels = AllChannelsLMDCheckBox->checkState() == Qt::Checked;
    for (int i = 0; i < kChannelCount; ++i) {
        const auto at = static_cast<std::size_t>(i);
        values.channelEnabled[at] = ChannelPanels[i]->ChannelNumberLMDCheckBox->isChecked();
        values.channelRange[at] = ChannelPanels[i]->InputRangeLMDComboBox->currentIndex();
    }
    values.commonRange = CommonInputRangeLMDComboBox->currentIndex();
    values.referenceVoltage = ReferenceVoltageLMDComboBox->currentIndex();
    return settings::WriteModuleSettings(*ini, values);
}

bool TMainForm::CreateDefaultIniFile(const QString &fileName) {
    IniFile.reset();
    if (fileName.isEmpty()) {
        platform::ShowMessageBox(this,
                                 QStringLiteral("Неправильное название файла штатных настроек!"),
                                 kDefaultCaption, platform::MessageIcon::Information);
        return false;
    }
    try {
        IniFile = std::make_unique<TIniFile>(fileName);
    } catch (const std::bad_alloc &) {
        platform::ShowMessageBox(this,
                                 QStringLiteral("Не могу создать файл штатных настроек '") +
                                     fileName + QStringLiteral("'!"),
                                 kDefaultCaption, platform::MessageIcon::Information);
        return false;
    }
    if (!CreateDefaultAppSettings(IniFile.get())) {
        platform::ShowMessageBox(
            this, QStringLiteral("Не могу создать файл обычных настроек для приложения!"),
            kDefaultCaption, platform::MessageIcon::Information);
        return false;
    }
    if (!CreateDefaultModuleSettings(IniFile.get())) {
        platform::ShowMessageBox(
            this, QStringLiteral("Не могу создать файл обычных настроек для модуля!"),
            kDefaultCaption, platform::MessageIcon::Information);
        return false;
    }
    return true;
}

bool TMainForm::CreateDefaultAppSettings(TIniFile *ini) {
    return ini != nullptr && settings::WriteDefaultAppSettings(*ini);
}

bool TMainForm::CreateDefaultModuleSettings(TIniFile *ini) {
    return ini != nullptr && settings::WriteDefaultModuleSettings(*ini);
}

void TMainForm::SaveSettingsButtonClick(QObject *sender) {
    Q_UNUSED(sender);
    if (Busy) {
        return;
    }
    Busy = true;
    SaveSettingsButton->setEnabled(false);
    SaveIniFile(settings::SettingsFilePath());
    // No event processing meanwhile: the pause is the save's only feedback.
    QThread::msleep(kSaveFeedbackMs);
    SaveSettingsButton->setEnabled(true);
    Busy = false;
}

void TMainForm::SaveCurrentSettingsClick() {
    SaveSettingsButtonClick(SaveSettingsButton);
}

void TMainForm::SaveDefaultSettingsClick() {
    CreateDefaultIniFile(settings::SettingsFilePath());
}

void TMainForm::AutoSaveSettingsLMDCheckBoxChange() {
    if (Busy) {
        return;
    }
    Busy = true;
    SaveSettingsButton->setEnabled(!AutoSaveSettingsLMDCheckBox->isChecked());
    Busy = false;
}
