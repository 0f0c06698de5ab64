#pragma once
// Block arithmetic of the multimeter job, free of threads and windows: the
// block size from acquisition time and sample rate, the gather of one
// channel out of the interleaved frames, the weighted mean, the value text.

#include <QString>

#include <cstdint>

// What a block of a run holds, or why no block can be made.
struct TBlockSizing {
    enum class Result { Ok, BadTime, NoSamples, TooLarge };
    Result result = Result::Ok;
    std::uint32_t SamplesPerChannel = 0;
    std::uint32_t TotalSamples = 0;
};

// N = floor(time * rate + 0.5). The sizes must leave the receive word count
// (2 * TotalSamples) inside the 32-bit signed count the module library takes,
// and every check is made on the double, before any conversion.
TBlockSizing SizeBlock(double acquisitionTime, double sampleRateHz, std::uint32_t activeChannels);

// The user's message for a sizing that is not Ok.
QString BlockSizingMessage(TBlockSizing::Result result);

// out[t] = data[logicalIndex + activeChannels * t] for t < n.
void GatherChannel(const double *data, std::uint32_t activeChannels, std::uint32_t n,
                   std::uint32_t logicalIndex, double *out);

// Sum of samples[t] * window[t] for t = 0 .. n-1, in this order, over normaliser.
double WeightedMean(const double *samples, const double *window, std::uint32_t n,
                    double normaliser);

// A channel value in volts as the panel shows it: millivolts in the range's
// display format.
QString ChannelValueText(double volts, const QString &displayFormat);
