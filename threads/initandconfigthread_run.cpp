// The discovery run's steps: find the crates and their KOVA8 modules, fill the
// window's device tables and lists, open the chosen module, show the result
// and load the settings. Steps that touch controls run on the window's thread
// through Synchronize; module opens of the list-driven runs run on the worker
// and touch only the device and the window's tables.

#include "threads/initandconfigthread.h"

#include "forms/devicetexts.h"
#include "forms/mainform.h"
#include "platform/codepage.h"
#include "settings/inifile.h"

#include <QApplication>
#include <QCursor>
#include <QFileInfo>

#include <cstring>

namespace {

const char *const kFirmwareFile = "KOVA8.bio";

// Copies at most 15 characters of a NUL-terminated text into a table entry.
void CopySerial(std::array<char, kSerialBytes> &to, const char *from, std::size_t fromSize) {
    to.fill('\0');
    std::size_t n = 0;
    while (n < fromSize && n < kSerialBytes - 1 && from[n] != '\0') {
        to[n] = from[n];
        ++n;
    }
}

bool ModuleOpen(TMainForm &form) {
    return form.Device->KOVA8_IsOpened(&form.Descriptor) == 0;
}

void CloseModuleIfOpen(TMainForm &form) {
    if (ModuleOpen(form))
        form.Device->KOVA8_Close(&form.Descriptor);
}

bool OpenModuleAt(TMainForm &form, const char *crateSerial, int slot) {
    form.Device->KOVA8_Init(&form.Descriptor);
    return form.Device->KOVA8_Open(&form.Descriptor, KOVA_SERVER_ADDRESS, KOVA_SERVER_PORT,
                                   crateSerial, slot, kFirmwareFile) == 0;
}

// Disables or enables a control tree with the busy flag set, so that no
// change handler does anything meanwhile.
void DisableDeviceArea(TMainForm &form) {
    form.Busy = true;
    SetControlTreeEnabled(form.ModuleDetectionLMDGroupBox, false);
    SetControlTreeEnabled(form.MainLMDSimplePanel, false);
    form.Busy = false;
}

void FillModuleList(TMainForm &form, std::size_t crate) {
    QComboBox *list = form.ModulesComboBox;
    list->setCurrentIndex(-1);
    list->clear();
    for (std::size_t m = 0; m < form.ModuleCounts[crate]; ++m)
        list->addItem(ModuleListItem(form.ModuleSlots[crate][m], form.ModuleVariants[crate][m]));
    list->setMaxVisibleItems(std::max<int>(form.ModuleCounts[crate], 1));
    list->setCurrentIndex(form.ModuleCounts[crate] > 0 ? form.SelectedModuleIndex[crate] : -1);
}

} // namespace

// Attached crates: their serials straight from the crate library.
static bool ListCrates(TMainForm &form) {
    for (auto &serial : form.AttachedCrateSerials)
        serial.fill('\0');
    KovaCrateConnection crate{};
    form.Device->KOVA_Init(&crate);
    crate.ChannelSelector = 0;
    if (form.Device->KOVA_Open(&crate) != 0)
        return false;
    std::uint8_t table[kMaxCrates * kSerialBytes] = {};
    const bool listed = form.Device->KOVA_GetCrates(&crate, table) == 0;
    form.Device->KOVA_Close(&crate);
    if (!listed)
        return false;
    for (std::size_t i = 0; i < kMaxCrates; ++i)
        CopySerial(form.AttachedCrateSerials[i],
                   reinterpret_cast<const char *>(table) + i * kSerialBytes, kSerialBytes);
    return true;
}

static bool ScanCrates(TInitAndConfigThread &run, TMainForm &form) {
    if (!ListCrates(form)) {
        run.ErrorText = QStringLiteral("Не могу найти ни одного KOVA крейта!");
        run.ShowThreadMessage();
        return false;
    }
    KovaCrateConnection crate{};
    form.Device->KOVA_Init(&crate);
    crate.ChannelSelector = 0;
    form.AttachedCrateCount = 0;
    for (std::size_t i = 0; i < kMaxCrates && form.AttachedCrateSerials[i][0] != '\0'; ++i) {
        ++form.AttachedCrateCount;
        std::memset(crate.CrateSerial, 0, sizeof crate.CrateSerial);
        std::memcpy(crate.CrateSerial, form.AttachedCrateSerials[i].data(), kSerialBytes - 1);
        crate.CrateSerial[15] = '\0';
        if (form.Device->KOVA_Open(&crate) != 0)
            return false;
        form.ModuleIds[i].fill(0);
        const bool queried =
            form.Device->KOVA_GetCrateModules(&crate, form.ModuleIds[i].data()) == 0;
        form.Device->KOVA_Close(&crate);
        if (!queried)
            return false;
    }

    form.CrateCount = 0;
    for (auto &serial : form.CrateSerials)
        serial.fill('\0');
    for (auto &slotRow : form.ModuleSlots)
        slotRow.fill(0);
    form.ModuleCounts.fill(0);

    std::size_t found = 0;
    for (std::size_t i = 0; i < form.AttachedCrateCount; ++i) {
        const std::size_t j = found;
        for (std::size_t k = 0; k < kMaxSlots; ++k) {
            if (form.ModuleIds[i][k] != kKova8ModuleId)
                continue;
            CloseModuleIfOpen(form);
            if (!OpenModuleAt(form, form.AttachedCrateSerials[i].data(), static_cast<int>(k + 1)))
                continue; // a module that does not open is left out
            const std::size_t m = form.ModuleCounts[j];
            CopySerial(form.ModuleSerials[j][m], form.Descriptor.SerialNumber,
                       sizeof form.Descriptor.SerialNumber);
            form.ModuleVariants[j][m] = form.Descriptor.Variant;
            form.ModuleSlots[j][m] = static_cast<std::uint16_t>(k + 1);
            ++form.ModuleCounts[j];
        }
        if (form.ModuleCounts[j] > 0) {
            form.CrateSerials[j] = form.AttachedCrateSerials[i];
            ++found;
        }
    }
    if (found > 0)
        form.CrateCount = static_cast<std::uint16_t>(found);
    CloseModuleIfOpen(form);
    return true;
}

static bool FullDiscovery(TInitAndConfigThread &run, TMainForm &form) {
    form.Busy = true;
    form.ModulesComboBox->setCurrentIndex(-1);
    form.ModulesComboBox->clear();
    form.ModulesComboBox->setMaxVisibleItems(1);
    form.Busy = false;

    if (!ScanCrates(run, form))
        return false;
    if (form.CrateCount == 0) {
        run.ErrorText =
            QStringLiteral("Не могу найти ни одного KOVA крейта\nгде бы был установлен модуль ") +
            QStringLiteral("KOVA8") + QStringLiteral("!");
        run.ShowThreadMessage();
        return false;
    }

    const QByteArray wanted = platform::ToCodePage(run.PreselectedCrateSerial);
    form.SelectedCrateIndex = 0;
    for (std::size_t c = 0; c < form.CrateCount; ++c) {
        if (wanted == QByteArray(form.CrateSerials[c].data())) {
            form.SelectedCrateIndex = static_cast<std::uint16_t>(c);
            break;
        }
    }
    for (std::size_t c = 0; c < form.CrateCount; ++c) {
        form.SelectedModuleIndex[c] = 0;
        if (c != form.SelectedCrateIndex)
            continue;
        for (std::size_t m = 0; m < form.ModuleCounts[c]; ++m) {
            if (form.ModuleSlots[c][m] == run.PreselectedSlot) {
                form.SelectedModuleIndex[c] = static_cast<std::uint16_t>(m);
                break;
            }
        }
    }

    // Filling the lists raises their change events; the busy flag keeps the
    // handlers from taking the passing selections for the user's.
    form.Busy = true;
    QComboBox *crates = form.KovaCratesComboBox;
    crates->setCurrentIndex(-1);
    crates->clear();
    for (std::size_t c = 0; c < form.CrateCount; ++c)
        crates->addItem(
            CrateListItem(static_cast<int>(c),
                          platform::FieldFromCodePage(form.CrateSerials[c].data(), kSerialBytes)));
    crates->setMaxVisibleItems(form.CrateCount);
    crates->setCurrentIndex(form.SelectedCrateIndex);

    form.CrateOk = 1;
    FillModuleList(form, form.SelectedCrateIndex);
    form.Busy = false;

    CloseModuleIfOpen(form);
    const std::size_t c = form.SelectedCrateIndex;
    if (!OpenModuleAt(form, form.CrateSerials[c].data(),
                      form.ModuleSlots[c][form.SelectedModuleIndex[c]]))
        return false;
    form.ModuleState = 1;
    return true;
}

// Worker: reopens the selected module as the module in use.
static bool OpenSelectedModule(TInitAndConfigThread &run, TMainForm &form) {
    run.ModuleName.clear();
    CloseModuleIfOpen(form);
    const std::size_t c = form.SelectedCrateIndex;
    if (c >= kMaxCrates)
        return false;
    const std::size_t m = form.SelectedModuleIndex[c];
    if (m >= kMaxSlots || !OpenModuleAt(form, form.CrateSerials[c].data(), form.ModuleSlots[c][m]))
        return false;
    run.ModuleName =
        platform::FieldFromCodePage(form.Descriptor.ModuleName, sizeof form.Descriptor.ModuleName);
    form.ModuleState = 2;
    return true;
}

void TInitAndConfigThread::RunSteps() {
    TMainForm &form = *Form;

    // PrepareRun, on the window's thread.
    Synchronize([this, &form] {
        form.MainLMDPageControl->setEnabled(false);
        // Qt keeps the cursor before the hourglass on its own stack; the
        // saved cursor marks that this run pushed one.
        QApplication::setOverrideCursor(Qt::WaitCursor);
        SavedCursor = 1;

        form.Busy = true;
        form.MainLMDPageControl->setCurrentIndex(0);
        form.StartMultimeterLMDSimplePanel->setVisible(false);
        form.Busy = false;

        std::unique_ptr<TIniFile> ini;
        QString errorText;
        if (!form.OpenIniFile(ini, errorText)) {
            if (!errorText.isEmpty()) {
                ErrorText = errorText;
                ShowThreadMessage();
            } else {
                PreselectedCrateSerial.clear();
                PreselectedSlot = 0;
            }
            return;
        }
        IniFile = ini.release();

        if (UseSettings || form.SelectedCrateIndex == kNoCrateSelected) {
            const settings::DetectionSettings detection = form.ReadDetectionSettings(IniFile);
            PreselectedCrateSerial = detection.crateSerial;
            PreselectedSlot = static_cast<std::int16_t>(detection.moduleSlot);
        } else {
            const std::size_t c = form.SelectedCrateIndex;
            PreselectedCrateSerial =
                platform::FieldFromCodePage(form.CrateSerials[c].data(), kSerialBytes);
            PreselectedSlot =
                static_cast<std::int16_t>(form.ModuleSlots[c][form.SelectedModuleIndex[c]]);
        }

        if (Mode == 3) {
            DisableDeviceArea(form);
            form.CrateOk = 0;
            form.ModuleState = 0;
        } else if (Mode & 1) {
            DisableDeviceArea(form);
            form.ModuleState = 0;
        } else if (Mode == 2) {
            DisableDeviceArea(form);
            form.CrateOk = 0;
            form.ModuleState = 0;
        } else {
            return;
        }
        form.ShowDeviceStatus(StatusDisplay::Pending, Mode, ModuleName);
    });
    Sleep(100);
    if (ErrorFlag)
        return;

    if (UseSettings && IniFile) {
        Synchronize([this, &form] { form.ReadWindowPosition(IniFile); });
        Sleep(100);
    }

    bool showStatus = true;
    if (Mode == 3) {
        Synchronize([this, &form] {
            if (!QFileInfo::exists(QString::fromLatin1(kFirmwareFile))) {
                ErrorText =
                    QStringLiteral("Не могу найти файл 'KOVA8.bio' для заливки в DSP модуля!");
                ShowThreadMessage();
                return;
            }
            if (FullDiscovery(*this, form))
                form.ModuleState = 1;
        });
        Sleep(100);
        if (!ErrorFlag) {
            if (form.ModuleState == 1)
                OpenSelectedModule(*this, form);
            Sleep(100);
        }
    } else if (Mode & 1) {
        if (!OpenSelectedModule(*this, form)) {
            ErrorText = QStringLiteral("Не могу проинициализировать модуль в указанном слоте!");
            ShowThreadMessageSynchronized();
            return;
        }
    } else if (Mode == 2) {
        CloseModuleIfOpen(form);
        bool selected = false;
        Synchronize(
            [&form, &selected] { selected = form.KovaCratesComboBox->currentIndex() >= 0; });
        bool opened = false;
        if (selected && form.SelectedCrateIndex < form.CrateCount) {
            const std::size_t c = form.SelectedCrateIndex;
            Synchronize([&form, c] {
                form.Busy = true;
                FillModuleList(form, c);
                form.Busy = false;
            });
            const std::size_t m = form.SelectedModuleIndex[c];
            CloseModuleIfOpen(form);
            opened = OpenModuleAt(form, form.CrateSerials[c].data(), form.ModuleSlots[c][m]);
        }
        if (!opened) {
            ErrorText = QStringLiteral(
                "Не могу проинициализировать KOVA крейт с модулями в указанном слоте!");
            ShowThreadMessageSynchronized();
            return;
        }
        form.CrateOk = 1;
        form.ModuleState = 2;
    } else {
        showStatus = false;
    }

    if (showStatus) {
        Synchronize(
            [this, &form] { form.ShowDeviceStatus(StatusDisplay::Result, Mode, ModuleName); });
        Sleep(100);
    }

    if (!ErrorFlag) {
        Synchronize([this, &form] {
            if (!form.LoadIniFile(IniFile)) {
                ErrorText =
                    QStringLiteral("Не могу проинициализировать параметры работы приложения!");
                ShowThreadMessage();
            }
        });
        Sleep(100);
    }
}

void TInitAndConfigThread::FinishRun() {
    TMainForm &form = *Form;
    form.Busy = true;
    SetControlTreeEnabled(form.ModuleDetectionLMDGroupBox, true);
    form.SaveSettingsButton->setEnabled(!form.AutoSaveSettingsLMDCheckBox->isChecked());
    form.MainLMDSimplePanel->setEnabled(true);
    form.MainLMDPageControl->setEnabled(true);
    form.MainLMDPageControl->widget(0)->setEnabled(true);

    if (form.ModuleState == 2) {
        form.AdcStreamLMDSimplePanel->setEnabled(true);
        SetControlTreeEnabled(form.AdcGroupParsLMDGroupBox, true);
        form.AdcIndividualParsLMDGroupBox->setEnabled(true);
        form.EnableChannelPanels();
        form.StartMultimeterLMDSpeedButton->setEnabled(true);
        form.StartMultimeterLMDSimplePanel->setVisible(true);
        form.MultimeterLMDSimplePanel->setEnabled(true);

        const bool selectable = form.Descriptor.Variant != 0;
        for (QWidget *w : {static_cast<QWidget *>(form.VoltageReferenceLabLMDLabel),
                           static_cast<QWidget *>(form.ReferenceVoltageLMDComboBox),
                           static_cast<QWidget *>(form.RefVoltageForClbCoeffsLMDLabel),
                           static_cast<QWidget *>(form.RefVoltageForClbCoeffsLMDComboBox)})
            w->setEnabled(selectable);
        if (!selectable) {
            form.ReferenceVoltageLMDComboBox->setCurrentIndex(1);
            form.RefVoltageForClbCoeffsLMDComboBox->setCurrentIndex(1);
        }
    }
    form.Busy = false;

    delete IniFile;
    IniFile = nullptr;
    if (SavedCursor == 1) {
        QApplication::restoreOverrideCursor();
        SavedCursor = 0;
    }
}
