// One channel's block statistics out of interleaved frames.

#include "measurement/blockstats.h"
#include "measurement/multimeterblock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

TEST(BlockStatsTest, MinMaxMeanAndSampleStdOfOneChannel) {
    // Two channels; the second holds 2, 4, 4, 4, 5, 5, 7, 9 (mean 5, sample variance 32 / 7).
    const std::vector<double> frames = {-1, 2, -1, 4, -1, 4, -1, 4, -1, 5, -1, 5, -1, 7, 100, 9};
    const TChannelStats s = ChannelStats(frames.data(), 2, 8, 1);
    EXPECT_EQ(s.Count, 8u);
    EXPECT_DOUBLE_EQ(s.Mean, 5.0);
    EXPECT_EQ(s.Min, 2.0);
    EXPECT_EQ(s.Max, 9.0);
    EXPECT_DOUBLE_EQ(s.Std, std::sqrt(32.0 / 7.0));

    const TChannelStats first = ChannelStats(frames.data(), 2, 8, 0);
    EXPECT_EQ(first.Min, -1.0);
    EXPECT_EQ(first.Max, 100.0);

    const TChannelStats one = ChannelStats(frames.data(), 2, 1, 1);
    EXPECT_EQ(one.Mean, 2.0);
    EXPECT_EQ(one.Std, 0.0);
    const TChannelStats none = ChannelStats(frames.data(), 2, 0, 1);
    EXPECT_EQ(none.Count, 0u);
    EXPECT_EQ(none.Mean, 0.0);
}

TEST(BlockStatsTest, MeanIsTheWindowsMeanToTheBitAndStdSurvivesALargeOffset) {
    std::mt19937_64 random(7);
    std::normal_distribution<double> noise(0.0, 1e-6);
    const std::uint32_t channels = 3;
    const std::uint32_t n = 10007;
    std::vector<double> frames(channels * n);
    for (std::uint32_t t = 0; t < n; ++t)
        for (std::uint32_t c = 0; c < channels; ++c)
            frames[t * channels + c] = 79.999 * (c == 2 ? 1.0 : 0.5) + noise(random);

    std::vector<double> gathered(n);
    const std::vector<double> window(n, 1.0);
    GatherChannel(frames.data(), channels, n, 2, gathered.data());
    const double windowMean = WeightedMean(gathered.data(), window.data(), n, n);
    const TChannelStats s = ChannelStats(frames.data(), channels, n, 2);
    EXPECT_EQ(s.Mean, windowMean);

    double squares = 0.0;
    for (double x : gathered)
        squares += (x - windowMean) * (x - windowMean);
    const double twoPass = std::sqrt(squares / (n - 1));
    EXPECT_NEAR(s.Std, twoPass, twoPass * 1e-6);
    EXPECT_NEAR(s.Std, 1e-6, 0.05e-6);
}

} // namespace
