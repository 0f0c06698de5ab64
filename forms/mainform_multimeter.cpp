// The multimeter page's controls. Placeholder bodies until the page is built.

#include "forms/mainform.h"

void TMainForm::BindMultimeterHandlers() {}

void TMainForm::EnaChannelLMDCheckBoxChange(int channelIndex) {
    Q_UNUSED(channelIndex);
}

void TMainForm::ChannelInputRangeChange(int channelIndex) {
    Q_UNUSED(channelIndex);
}
