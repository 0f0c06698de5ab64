#include "measurement/multimeterblock.h"

#include "platform/decimal.h"

#include <cmath>
#include <limits>

TBlockSizing SizeBlock(double acquisitionTime, double sampleRateHz, std::uint32_t activeChannels) {
    TBlockSizing sizing;
    if (!std::isfinite(acquisitionTime) || acquisitionTime < 0.0 || !std::isfinite(sampleRateHz) ||
        sampleRateHz < 0.0) {
        sizing.result = TBlockSizing::Result::BadTime;
        return sizing;
    }
    const double n = std::floor(acquisitionTime * sampleRateHz + 0.5);
    if (!(n >= 1.0)) {
        sizing.result = TBlockSizing::Result::NoSamples;
        return sizing;
    }
    // Receive words are 2 per sample; the module library counts them in 32-bit signed.
    const double maxTotal = std::numeric_limits<std::int32_t>::max() / 2;
    const double channels = activeChannels == 0 ? 1.0 : static_cast<double>(activeChannels);
    if (!(n * channels <= maxTotal)) {
        sizing.result = TBlockSizing::Result::TooLarge;
        return sizing;
    }
    sizing.SamplesPerChannel = static_cast<std::uint32_t>(n);
    sizing.TotalSamples = sizing.SamplesPerChannel * activeChannels;
    return sizing;
}

QString BlockSizingMessage(TBlockSizing::Result result) {
    switch (result) {
    case TBlockSizing::Result::Ok:
        break;
    case TBlockSizing::Result::BadTime:
        return QStringLiteral("Недопустимое время сбора данных!");
    case TBlockSizing::Result::NoSamples:
        return QStringLiteral("Слишком малое время сбора данных: не набирается ни одного отсчёта!");
    case TBlockSizing::Result::TooLarge:
        return QStringLiteral("Слишком большое время сбора данных!");
    }
    return {};
}

void GatherChannel(const double *data, std::uint32_t activeChannels, std::uint32_t n,
                   std::uint32_t logicalIndex, double *out) {
    const double *from = data + logicalIndex;
    for (std::uint32_t t = 0; t < n; ++t, from += activeChannels)
        out[t] = *from;
}

double WeightedMean(const double *samples, const double *window, std::uint32_t n,
                    double normaliser) {
    double sum = 0.0;
    for (std::uint32_t t = 0; t < n; ++t)
        sum += samples[t] * window[t];
    return sum / normaliser;
}

QString ChannelValueText(double volts, const QString &displayFormat) {
    return platform::FormatFloat(displayFormat, volts * 1000.0);
}
