// The coefficient tables: loaded from the module's EEPROM every time the
// settings are loaded for an open module. The coefficient page that would
// show them stays hidden, so the load's one outside effect is the EEPROM read.

#include "forms/mainform.h"

#include "settings/settingsstore.h"

#include <array>

void TMainForm::BindCoefsHandlers() {}

bool TMainForm::LoadCorrectionCoefs(const TIniFile *ini) {
    if (ini == nullptr) {
        return false;
    }
    CoefsSource = settings::ReadCoefsSource(*ini);
    ClearCoefsTable(WorkingCoefs);
    ClearCoefsTable(FactoryCoefs);
    ClearCoefsTable(UserCoefs);
    ReadFactoryCorrectionCoefs();
    WorkingCoefs = FactoryCoefs;
    return true;
}

bool TMainForm::CheckCorrectionCoefs() {
    return true;
}

void TMainForm::ReadFactoryCorrectionCoefs() {
    int reference = RefVoltageForClbCoeffsLMDComboBox->currentIndex();
    std::uint16_t address = 0;
    if (Descriptor.Variant == 0) {
        // This variant has the 5.0 V reference only.
        if (reference != 1) {
            // Restored rather than cleared, so a caller that holds the flag
            // still holds it afterwards.
            const bool wasBusy = Busy;
            Busy = true;
            RefVoltageForClbCoeffsLMDLabel->setEnabled(false);
            RefVoltageForClbCoeffsLMDComboBox->setEnabled(false);
            reference = 1;
            RefVoltageForClbCoeffsLMDComboBox->setCurrentIndex(1);
            Busy = wasBusy;
        }
        address = kCoefsBlockAddress50V;
    } else {
        // Nothing selected counts as the 5.0 V block, the one every variant has.
        if (reference != 0) {
            reference = 1;
        }
        address = CoefsBlockAddress(reference);
    }

    ClearCoefsTable(FactoryCoefs);
    std::array<std::uint8_t, kCoefsBlockBufferSize> block{};
    // The read's result is not examined: whatever the buffer holds is
    // converted, an untouched buffer giving zero codes.
    Device->KOVA8_ReadEeprom(&Descriptor, address, block.data(), kCoefsBlockLength);
    DecodeCoefsBlock(block, reference, FactoryCoefs);
}
