#include "measurement/multimeterblock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

using Result = TBlockSizing::Result;

TEST(BlockSizingTest, SamplesFromTimeAndRateAndTheRunsThatCannotBeMade) {
    struct Case {
        const char *name;
        double time;
        double rate;
        std::uint32_t channels;
        Result result;
        std::uint32_t n;
    };
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {"7.5 rounds up", 0.05, 150.0, 2, Result::Ok, 8},
        {"exact", 0.05, 1000.0, 8, Result::Ok, 50},
        {"half a sample is one", 0.5 / 150.0, 150.0, 1, Result::Ok, 1},
        {"below half a sample", 0.001, 150.0, 1, Result::NoSamples, 0},
        {"zero time", 0.0, 1000.0, 1, Result::NoSamples, 0},
        {"no rate", 0.5, 0.0, 1, Result::NoSamples, 0},
        {"negative time", -0.5, 1000.0, 1, Result::BadTime, 0},
        {"not a number", nan, 1000.0, 1, Result::BadTime, 0},
        {"infinite time", inf, 1000.0, 1, Result::BadTime, 0},
        {"rate not a number", 0.5, nan, 1, Result::BadTime, 0},
        {"beyond 32 bits", 1e300, 1000.0, 1, Result::TooLarge, 0},
        // 2 * N * channels must stay a 32-bit signed word count.
        {"largest block", 1073741823.0, 1.0, 1, Result::Ok, 1073741823u},
        {"one frame too many", 1073741824.0, 1.0, 1, Result::TooLarge, 0},
        {"too many for eight channels", 134217728.0, 1.0, 8, Result::TooLarge, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const TBlockSizing s = SizeBlock(c.time, c.rate, c.channels);
        EXPECT_EQ(s.result, c.result);
        EXPECT_EQ(s.SamplesPerChannel, c.n);
        EXPECT_EQ(s.TotalSamples, c.n * c.channels);
        EXPECT_EQ(BlockSizingMessage(s.result).isEmpty(), c.result == Result::Ok);
    }
}

TEST(BlockArithmeticTest, GatherTakesOneChannelOutOfTheFrames) {
    // Channels 1 and 3 enabled: frames (ch1, ch3); channel 3 is every second
    // value starting at the second.
    const std::vector<double> data{1, 10, 2, 20, 3, 30, 4, 40};
    std::vector<double> out(4 + 16, -1.0);
    GatherChannel(data.data(), 2, 4, 1, out.data());
    EXPECT_EQ(std::vector<double>(out.begin(), out.begin() + 4),
              (std::vector<double>{10, 20, 30, 40}));
    EXPECT_EQ(out[4], -1.0) << "nothing written past N";
    GatherChannel(data.data(), 2, 4, 0, out.data());
    EXPECT_EQ(std::vector<double>(out.begin(), out.begin() + 4), (std::vector<double>{1, 2, 3, 4}));
}

TEST(BlockArithmeticTest, WeightedMeanOfTheBlock) {
    const std::vector<double> samples{0.010, 0.012, 0.011, 0.013};
    const std::vector<double> ones(4, 1.0);
    EXPECT_DOUBLE_EQ(WeightedMean(samples.data(), ones.data(), 4, 4.0), 0.0115);
    const std::vector<double> weights{0.0, 2.0, 0.0, 2.0};
    EXPECT_DOUBLE_EQ(WeightedMean(samples.data(), weights.data(), 4, 4.0), 0.0125);
}

TEST(BlockArithmeticTest, ValueTextIsMillivoltsInTheRangeFormat) {
    struct Case {
        double volts;
        const char *format;
        const char *text;
    };
    const Case cases[] = {
        {0.0115, "0.0000", "11.5000"},
        {0.01234567, "0.000000", "12.345670"},
        {-0.0025, "0.0000", "-2.5000"},
        {0.0, "0.0000", "0.0000"},
        {0.080, "0.0000000", "80.0000000"},
        // Precision 0: no decimals and no trailing point.
        {0.01234567, "0.", "12"},
        {-0.0125, "0.", "-13"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ChannelValueText(c.volts, QString::fromLatin1(c.format)),
                  QString::fromLatin1(c.text))
            << c.format << " " << c.volts;
}

} // namespace
