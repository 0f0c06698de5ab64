// The multimeter page's controls. Every change of a measurement setting first
// stops a running measurement (a run's configuration is fixed), then applies
// the change; the group controls and the eight panels agree both ways.

#include "forms/mainform.h"

#include "platform/dialogs.h"

namespace {

const QString kDisabledValue = QStringLiteral("--------");

} // namespace

void TMainForm::BindMultimeterHandlers() {
    connect(StartMultimeterLMDSpeedButton, &QAbstractButton::clicked, this,
            [this] { StartLMDSpeedButtonClick(); });
    connect(AllChannelsLMDCheckBox, &QCheckBox::stateChanged, this,
            [this] { AllChannelsLMDCheckBoxChange(); });
    connect(CommonInputRangeLMDComboBox, &QComboBox::currentIndexChanged, this,
            [this] { CommonInputRangeLMDComboBoxChange(); });
    connect(ReferenceVoltageLMDComboBox, &QComboBox::currentIndexChanged, this,
            [this] { ReferenceVoltageLMDComboBoxChange(); });
}

void TMainForm::ShowChannelLook(int channelIndex, bool enabled) {
    TKova8AdcChannelFrame *panel = ChannelPanels[static_cast<std::size_t>(channelIndex)];
    panel->ValueLMDEdit->setEnabled(enabled);
    panel->ValueLabLMDLabel->setEnabled(enabled);
    if (!enabled) {
        panel->ValueLMDEdit->setText(kDisabledValue);
        panel->SetLampState(TKova8AdcChannelFrame::LampState::Off);
    }
}

void TMainForm::StartLMDSpeedButtonClick() {
    if (Busy)
        return;
    Busy = true;
    StopThread();
    if (MainLMDPageControl->currentIndex() == 0 && StartMultimeterLMDSpeedButton->isChecked()) {
        if (CurrentMainThread) {
            // Pressed while an earlier stop still waits for its worker: the
            // press starts nothing, and the button stays up as that stop
            // leaves it.
            StartMultimeterLMDSpeedButton->setChecked(false);
        } else {
            StartThread();
        }
    }
    Busy = false;
}

void TMainForm::AllChannelsLMDCheckBoxChange() {
    if (Busy)
        return;
    Busy = true;
    StopThread();
    // The grey state is the window's own for mixed channels; a click that
    // lands on it means "all".
    if (AllChannelsLMDCheckBox->checkState() == Qt::PartiallyChecked)
        AllChannelsLMDCheckBox->setCheckState(Qt::Checked);
    const bool all = AllChannelsLMDCheckBox->checkState() == Qt::Checked;
    for (std::size_t i = 0; i < ChannelPanels.size(); ++i) {
        TKova8AdcChannelFrame *panel = ChannelPanels[i];
        panel->ChannelNumberLMDCheckBox->setChecked(all);
        if (all)
            panel->EnableChannelControls();
        else
            panel->DisableChannelControls();
        ShowChannelLook(static_cast<int>(i), panel->ChannelNumberLMDCheckBox->isChecked());
    }
    Busy = false;
}

void TMainForm::CommonInputRangeLMDComboBoxChange() {
    if (Busy)
        return;
    Busy = true;
    StopThread();
    const int range = CommonInputRangeLMDComboBox->currentIndex();
    for (TKova8AdcChannelFrame *panel : ChannelPanels)
        panel->InputRangeLMDComboBox->setCurrentIndex(range);
    Busy = false;
}

void TMainForm::ReferenceVoltageLMDComboBoxChange() {
    if (Busy)
        return;
    Busy = true;
    StopThread(); // the next run reads the new choice
    Busy = false;
}

void TMainForm::EnaChannelLMDCheckBoxChange(int channelIndex) {
    if (Busy)
        return;
    Busy = true;
    StopThread();
    if (channelIndex < 0 || channelIndex >= static_cast<int>(ChannelPanels.size())) {
        platform::ShowMessageBox(
            this, QStringLiteral("Не могу опознать управляюшщий элемент типа TLMDCheckBox!"),
            QStringLiteral("Ошибка EnaChannelLMDCheckBoxChange()!"));
        Busy = false;
        return;
    }
    TKova8AdcChannelFrame *panel = ChannelPanels[static_cast<std::size_t>(channelIndex)];
    const bool ticked = panel->ChannelNumberLMDCheckBox->isChecked();
    if (ticked)
        panel->EnableChannelControls();
    else
        panel->DisableChannelControls();
    int tickedCount = 0;
    for (const TKova8AdcChannelFrame *p : ChannelPanels)
        tickedCount += p->ChannelNumberLMDCheckBox->isChecked() ? 1 : 0;
    if (tickedCount == static_cast<int>(ChannelPanels.size()))
        AllChannelsLMDCheckBox->setCheckState(Qt::Checked);
    else if (tickedCount == 0)
        AllChannelsLMDCheckBox->setCheckState(Qt::Unchecked);
    else
        AllChannelsLMDCheckBox->setCheckState(Qt::PartiallyChecked);
    ShowChannelLook(channelIndex, ticked);
    Busy = false;
}

void TMainForm::ChannelInputRangeChange(int channelIndex) {
    Q_UNUSED(channelIndex);
    if (Busy)
        return;
    Busy = true;
    StopThread();
    const int first = ChannelPanels.front()->InputRangeLMDComboBox->currentIndex();
    bool same = true;
    for (const TKova8AdcChannelFrame *panel : ChannelPanels)
        same = same && panel->InputRangeLMDComboBox->currentIndex() == first;
    CommonInputRangeLMDComboBox->setCurrentIndex(same ? first : -1);
    Busy = false;
}

void TMainForm::EnableChannelPanels() {
    for (std::size_t i = 0; i < ChannelPanels.size(); ++i) {
        TKova8AdcChannelFrame *panel = ChannelPanels[i];
        panel->setEnabled(true);
        panel->Kova8AdcChannelLMDSimplePanel->setEnabled(true);
        panel->ChannelNumberLMDCheckBox->setEnabled(true);
        const bool ticked = panel->ChannelNumberLMDCheckBox->isChecked();
        if (ticked) {
            panel->EnableChannelControls();
            ShowChannelLook(static_cast<int>(i), true);
        } else {
            panel->DisableChannelControls();
        }
    }
}
