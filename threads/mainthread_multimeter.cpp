// The multimeter job: configure the ADC from the page, then block after
// block start the module, receive N frames, stop it, convert, reduce each
// enabled channel to its mean and show it, until the window stops the run or
// the first error. Its ending always stops the module, restores the start
// button and frees the buffers.

#include "threads/mainthread.h"

#include "forms/mainform.h"
#include "measurement/channelwords.h"
#include "measurement/multimeterblock.h"
#include "platform/colors.h"

#include <atomic>
#include <new>

namespace {

std::atomic<int> failingAllocation{0};

const QString kStopCaption = QStringLiteral("С   Т   О   П");
const QString kStartCaption = QStringLiteral("С   Т   А   Р   Т");

void SetStartButtonLook(QAbstractButton *button, const QString &caption, std::uint32_t colour) {
    button->setText(caption);
    button->setStyleSheet(
        QStringLiteral("QPushButton { color: %1; }").arg(platform::ColorFromWin(colour).name()));
}

template <class T> T *Allocate(std::uint64_t count, int which) {
    if (failingAllocation.load() == which)
        return nullptr;
    return new (std::nothrow) T[count == 0 ? 1 : count];
}

} // namespace

void TMainThread::FailAllocationForTesting(int buffer) {
    failingAllocation.store(buffer);
}

void TMainThread::MultimeterJob(void *context) {
    static_cast<TMainThread *>(context)->RunMultimeter();
}

void TMainThread::Report(const QString &text) {
    ErrorText = text;
    ShowThreadMessageSynchronized();
}

void TMainThread::RunMultimeter() {
    try {
        PrepareMeasurement();
    } catch (...) {
        // The thread body reports the exception; the module, the button and
        // the buffers are still put right first.
        EndMeasurement(false);
        throw;
    }
    Sleep(100);
    try {
        while (!Terminated() && !ErrorFlag) {
            if (!AcquireBlock() || Terminated())
                break;
            if (!ConvertBlock()) {
                Report(QStringLiteral("Не могу обработать полученные данные с модуля!"));
                break;
            }
            if (Terminated())
                break;
            if (!ComputeValues())
                break;
            Synchronize([this] { SyncShowValues(); });
            Sleep(100);
            Synchronize([this] { SyncShowLamps(); });
        }
    } catch (...) {
        Report(QStringLiteral("Опаньки!!!\nПоймали неустранимое исключение потока сбора "
                              "данных!!!\nСрочно сообщите разработчику!"));
    }
    EndMeasurement(true);
}

void TMainThread::EndMeasurement(bool reportStopFailure) {
    if (Form->Device->KOVA8_Stop(&Form->Descriptor) != 0 && reportStopFailure)
        Report(QStringLiteral("KOVA8_Stop() --> BAD!!!!"));
    Sleep(100);
    Synchronize([this] { SyncMeasurementFinished(); });
}

void TMainThread::PrepareMeasurement() {
    Synchronize([this] { SyncMeasurementStarted(); });
    if (ErrorFlag || Terminated())
        return;
    Sleep(50);
    Synchronize([this] { SyncConfigureAdc(); });
    if (ErrorFlag || Terminated())
        return;
    Sleep(50);
    if (!AllocateBuffers())
        return;
    for (std::uint32_t t = 0; t < SamplesPerChannel; ++t)
        Window[t] = 1.0;
    if (ErrorFlag || Terminated())
        return;
    Normaliser = SamplesPerChannel;
}

bool TMainThread::AllocateBuffers() {
    const std::uint64_t total = TotalSamples;
    const std::uint64_t perChannel = std::uint64_t{SamplesPerChannel} + 16;
    RcvBuffer = Allocate<std::uint32_t>(2 * total, 1);
    if (!RcvBuffer) {
        Report(QStringLiteral("Не могу выделить память под RcvBuffer!"));
        return false;
    }
    Data = Allocate<double>(total, 2);
    if (!Data) {
        Report(QStringLiteral("Не могу выделить память под Data!"));
        return false;
    }
    DataPerChannel = Allocate<double>(perChannel, 3);
    if (!DataPerChannel) {
        Report(QStringLiteral("Не могу выделить память под DataPerChannel!"));
        return false;
    }
    Window = Allocate<double>(perChannel, 4);
    if (!Window) {
        Report(QStringLiteral("Не могу выделить память под Window!"));
        return false;
    }
    return true;
}

void TMainThread::SyncMeasurementStarted() {
    SetStartButtonLook(Form->StartMultimeterLMDSpeedButton, kStopCaption, platform::clRed);
    for (std::size_t i = 0; i < Form->ChannelPanels.size(); ++i) {
        TKova8AdcChannelFrame *panel = Form->ChannelPanels[i];
        panel->ValueLMDEdit->setText(QString());
        panel->SetLampState(TKova8AdcChannelFrame::LampState::Off);
        RangeIndexAtStart[i] = panel->InputRangeLMDComboBox->currentIndex();
    }
    AcquisitionTime = Form->MaxAcquisitionTime;
}

void TMainThread::SyncConfigureAdc() {
    TKovaDevice &device = *Form->Device;
    Kova8Descriptor &descriptor = Form->Descriptor;
    if (device.KOVA8_Stop(&descriptor) != 0) {
        Report(QStringLiteral("Не могу остановить сбор данных!!!"));
        return;
    }
    std::array<bool, 8> enabled{};
    std::array<int, 8> ranges{};
    for (std::size_t i = 0; i < Form->ChannelPanels.size(); ++i) {
        const TKova8AdcChannelFrame *panel = Form->ChannelPanels[i];
        enabled[i] = panel->ChannelNumberLMDCheckBox->isChecked();
        ranges[i] = panel->InputRangeLMDComboBox->currentIndex();
    }
    const TChannelWords words = ConfigureChannels(
        device, descriptor,
        static_cast<std::uint32_t>(Form->ReferenceVoltageLMDComboBox->currentIndex()), enabled,
        ranges);
    LogicalIndex = words.LogicalIndex;
    ActiveChannels = words.ActiveChannels;
    if (words.result == TChannelWords::Result::NoRange) {
        Report(QStringLiteral("Не выбран предел измерений для канала %1!")
                   .arg(words.FailedChannel + 1));
        return;
    }
    if (words.result == TChannelWords::Result::NoChannels) {
        Report(QStringLiteral("Необходимо выбрать не менне одного активного канала!"));
        return;
    }
    if (device.KOVA8_SetADC(&descriptor) != 0) {
        Report(QStringLiteral("Не могу выполнить установку параметров АЦП!!!"));
        return;
    }
    const double rate = descriptor.ChannelRate;
    FrameChannels = static_cast<std::int32_t>(ActiveChannels);
    const TBlockSizing sizing = SizeBlock(AcquisitionTime, rate, ActiveChannels);
    if (sizing.result != TBlockSizing::Result::Ok) {
        Report(BlockSizingMessage(sizing.result));
        return;
    }
    SamplesPerChannel = sizing.SamplesPerChannel;
    TotalSamples = sizing.TotalSamples;
}

bool TMainThread::AcquireBlock() {
    TKovaDevice &device = *Form->Device;
    Kova8Descriptor &descriptor = Form->Descriptor;
    const std::uint32_t required = 2 * TotalSamples;
    std::uint32_t request = 2 * static_cast<std::uint32_t>(FrameChannels);
    std::uint32_t received = 0;
    std::uint32_t *destination = RcvBuffer;
    std::int32_t receiveError = 0;

    if (device.KOVA8_Start(&descriptor) != 0) {
        Report(QStringLiteral("Не могу выполнить запуск сбора данных!!!"));
        return false;
    }
    for (;;) {
        const std::int32_t r = device.KOVA8_Recv(&descriptor, destination, nullptr, request, 5000);
        if (r < 0) {
            receiveError = r;
            Report(QStringLiteral("Не могу получить данные с модуля!"));
            break;
        }
        if (r == 0) {
            receiveError = -1;
            Report(QStringLiteral("Не принято ни одного отсчёта с модуля!"));
            break;
        }
        if (static_cast<std::uint32_t>(r) != request) {
            receiveError = r;
            Report(QStringLiteral("Принято неправильное кол-во данных с модуля!"));
            break;
        }
        received += request;
        if (received >= required)
            break;
        destination += request;
        if (received + request > required)
            request = required - received;
        if (Terminated())
            break;
    }
    if (device.KOVA8_Stop(&descriptor) != 0) {
        Report(QStringLiteral("Не могу выполнить останов сбора данных!!!"));
        return false;
    }
    if (receiveError != 0 || Terminated())
        return false;
    if (received != required)
        Report(QStringLiteral("Приняты не все требуемые данные с АЦП модуля!"));
    return !Terminated() && !ErrorFlag;
}

bool TMainThread::ConvertBlock() {
    std::int32_t count = static_cast<std::int32_t>(2 * TotalSamples);
    const std::int32_t status =
        Form->Device->KOVA8_ProcessData(&Form->Descriptor, RcvBuffer, Data, &count, 1);
    return status == 0 && count == static_cast<std::int32_t>(TotalSamples);
}

bool TMainThread::ComputeValues() {
    Values.fill(0.0);
    if (Terminated())
        return false;
    for (std::size_t i = 0; i < LogicalIndex.size(); ++i) {
        if (LogicalIndex[i] < 0)
            continue;
        GatherChannel(Data, ActiveChannels, SamplesPerChannel,
                      static_cast<std::uint32_t>(LogicalIndex[i]), DataPerChannel);
        if (Terminated() || ErrorFlag)
            return false;
        Values[i] = WeightedMean(DataPerChannel, Window, SamplesPerChannel, Normaliser);
        if (Terminated() || ErrorFlag)
            return false;
    }
    return true;
}

void TMainThread::SyncShowValues() {
    for (TKova8AdcChannelFrame *panel : Form->ChannelPanels)
        panel->SetLampState(TKova8AdcChannelFrame::LampState::Off);
    for (std::size_t i = 0; i < Form->ChannelPanels.size(); ++i) {
        TKova8AdcChannelFrame *panel = Form->ChannelPanels[i];
        if (!panel->ChannelNumberLMDCheckBox->isChecked())
            continue;
        panel->ValueLMDEdit->setEnabled(true);
        panel->SetValueFontColor(platform::ColorFromWin(platform::clLime));
        const std::int32_t range = RangeIndexAtStart[i];
        if (range < 0 || range >= static_cast<std::int32_t>(Form->DisplayFormats.size()))
            continue; // not measured in this run
        panel->ValueLMDEdit->setText(
            ChannelValueText(Values[i], Form->DisplayFormats[static_cast<std::size_t>(range)]));
    }
}

void TMainThread::SyncShowLamps() {
    for (TKova8AdcChannelFrame *panel : Form->ChannelPanels)
        panel->SetLampState(panel->ChannelNumberLMDCheckBox->isChecked()
                                ? TKova8AdcChannelFrame::LampState::Green
                                : TKova8AdcChannelFrame::LampState::Off);
}

void TMainThread::SyncMeasurementFinished() {
    SetStartButtonLook(Form->StartMultimeterLMDSpeedButton, kStartCaption, platform::clGreen);
    Form->StartMultimeterLMDSpeedButton->setChecked(false);
    FreeBuffers();
    Form->MeasurementFinished = true;
}

void TMainThread::FreeBuffers() {
    delete[] RcvBuffer;
    RcvBuffer = nullptr;
    delete[] Data;
    Data = nullptr;
    delete[] DataPerChannel;
    DataPerChannel = nullptr;
    delete[] Window;
    Window = nullptr;
}
