#pragma once
// The ADC configuration of a run in the module descriptor: the fixed fields,
// the reference voltage and one logical channel word per enabled channel, in
// channel order, with each channel's place in a frame.

#include "device/kovadevice.h"

#include <array>
#include <cstdint>

struct TChannelWords {
    enum class Result { Ok, NoRange, NoChannels };
    Result result = Result::Ok;
    // With NoRange: the enabled channel (index 0..7) that has no range.
    int FailedChannel = -1;
    std::uint32_t ActiveChannels = 0;
    // Place of each channel in a frame, -1 for a channel not in the run.
    std::array<std::int16_t, 8> LogicalIndex{};
};

// Record size, acquisition mode 2, switches 0 and 1, the reference index and
// the reserved field 0 are always written. The words come from the device's
// KOVA8_CreateLChannel2 with the module range code of each channel's range
// index; the channel count stays 0 unless the result is Ok. Channels after
// one without a range are not looked at.
TChannelWords ConfigureChannels(TKovaDevice &device, Kova8Descriptor &descriptor,
                                std::uint32_t referenceIndex, const std::array<bool, 8> &enabled,
                                const std::array<int, 8> &rangeIndex);
