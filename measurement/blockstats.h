#pragma once
// Per-block statistics of one channel beyond the mean, for the recorder.

#include <cstdint>

struct TChannelStats {
    double Mean = 0.0;
    double Min = 0.0;
    double Max = 0.0;
    // Sample standard deviation (n - 1 in the denominator); 0 for one sample.
    double Std = 0.0;
    std::uint32_t Count = 0;
};

// One pass over channel logicalIndex of n frames of activeChannels values,
// without a copy. The mean is summed in increasing t and divided by n, so it
// is bit for bit the window's mean of the same samples. n = 0 gives all zero.
TChannelStats ChannelStats(const double *data, std::uint32_t activeChannels, std::uint32_t n,
                           std::uint32_t logicalIndex);
