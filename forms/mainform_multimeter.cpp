// The multimeter page's controls. Placeholder bodies until the page is built.

#include "forms/mainform.h"

void TMainForm::BindMultimeterHandlers() {}

void TMainForm::EnaChannelLMDCheckBoxChange(int channelIndex) {
    Q_UNUSED(channelIndex);
}

void TMainForm::ChannelInputRangeChange(int channelIndex) {
    Q_UNUSED(channelIndex);
}

void TMainForm::EnableChannelPanels() {
    for (TKova8AdcChannelFrame *panel : ChannelPanels) {
        panel->setEnabled(true);
        panel->Kova8AdcChannelLMDSimplePanel->setEnabled(true);
        panel->ChannelNumberLMDCheckBox->setEnabled(true);
        if (panel->ChannelNumberLMDCheckBox->isChecked())
            panel->EnableChannelControls();
        else
            panel->DisableChannelControls();
    }
}
