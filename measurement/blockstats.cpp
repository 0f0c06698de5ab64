#include "measurement/blockstats.h"

#include <cmath>

TChannelStats ChannelStats(const double *data, std::uint32_t activeChannels, std::uint32_t n,
                           std::uint32_t logicalIndex) {
    TChannelStats stats;
    if (n == 0)
        return stats;
    const double *from = data + logicalIndex;
    // The spread is summed about the first sample, so a large DC part costs no
    // precision in the squares.
    const double shift = *from;
    double sum = 0.0;
    double shiftedSum = 0.0;
    double shiftedSquares = 0.0;
    double lowest = shift;
    double highest = shift;
    for (std::uint32_t t = 0; t < n; ++t, from += activeChannels) {
        const double x = *from;
        sum += x;
        const double d = x - shift;
        shiftedSum += d;
        shiftedSquares += d * d;
        lowest = x < lowest ? x : lowest;
        highest = x > highest ? x : highest;
    }
    const double count = static_cast<double>(n);
    stats.Mean = sum / count;
    stats.Min = lowest;
    stats.Max = highest;
    stats.Count = n;
    if (n > 1) {
        const double spread = shiftedSquares - shiftedSum * shiftedSum / count;
        stats.Std = spread > 0.0 ? std::sqrt(spread / (count - 1.0)) : 0.0;
    }
    return stats;
}
