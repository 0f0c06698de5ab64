#include "measurement/channelwords.h"

#include "measurement/rangetable.h"

TChannelWords ConfigureChannels(TKovaDevice &device, Kova8Descriptor &descriptor,
                                std::uint32_t referenceIndex, const std::array<bool, 8> &enabled,
                                const std::array<int, 8> &rangeIndex) {
    TChannelWords words;
    words.LogicalIndex.fill(-1);
    descriptor.RecordSize = KOVA8_DESCRIPTOR_SIZE;
    descriptor.AcquisitionMode = 2;
    descriptor.Switch1 = 0;
    descriptor.Switch2 = 1;
    descriptor.ReferenceVoltage = referenceIndex;
    descriptor.Reserved92 = 0;
    descriptor.LChannelCount = 0;

    for (std::size_t i = 0; i < enabled.size(); ++i) {
        if (!enabled[i])
            continue;
        const int range = rangeIndex[i];
        if (range < 0 || range >= kRangeCount) {
            // No code to give the module: the run is refused before it starts.
            words.result = TChannelWords::Result::NoRange;
            words.FailedChannel = static_cast<int>(i);
            return words;
        }
        const auto code = static_cast<std::uint32_t>(ModuleRangeCode(range));
        descriptor.LChannels[words.ActiveChannels] =
            device.KOVA8_CreateLChannel2(static_cast<std::uint32_t>(i + 1), code, 0);
        words.LogicalIndex[i] = static_cast<std::int16_t>(words.ActiveChannels);
        ++words.ActiveChannels;
    }
    if (words.ActiveChannels == 0) {
        words.result = TChannelWords::Result::NoChannels;
        return words;
    }
    descriptor.LChannelCount = words.ActiveChannels;
    return words;
}
