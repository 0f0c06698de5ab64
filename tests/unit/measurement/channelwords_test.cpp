// The run's ADC configuration in the descriptor, from the enabled channels and their ranges.

#include "measurement/channelwords.h"

#include "device/fakekovadevice.h"
#include "device/kova8format.h"

#include <gtest/gtest.h>

namespace {

struct ChannelWordsTest : testing::Test {
    TFakeKovaDevice Device;
    Kova8Descriptor Descriptor{};
    std::array<bool, 8> Enabled{};
    std::array<int, 8> Ranges{};
};

TEST_F(ChannelWordsTest, EnabledChannelsInOrderWithTheirRangeCodes) {
    Enabled[0] = true;
    Enabled[2] = true;
    Enabled[7] = true;
    Ranges = {3, 5, 4, 0, 0, 0, 0, 7}; // ±10 on channel 1, 0...80 on 3, 0...10 on 8
    Descriptor.LChannelCount = 5;
    const TChannelWords w = ConfigureChannels(Device, Descriptor, 0, Enabled, Ranges);
    ASSERT_EQ(w.result, TChannelWords::Result::Ok);
    EXPECT_EQ(w.ActiveChannels, 3u);
    EXPECT_EQ(w.LogicalIndex, (std::array<std::int16_t, 8>{0, -1, 1, -1, -1, -1, -1, 2}));
    EXPECT_EQ(Descriptor.LChannelCount, 3u);
    EXPECT_EQ(Descriptor.LChannels[0], kova8::MakeLChannel(1, 0, 0));
    EXPECT_EQ(Descriptor.LChannels[1], kova8::MakeLChannel(3, 7, 0));
    EXPECT_EQ(Descriptor.LChannels[2], kova8::MakeLChannel(8, 4, 0));
    EXPECT_EQ(Descriptor.RecordSize, KOVA8_DESCRIPTOR_SIZE);
    EXPECT_EQ(Descriptor.AcquisitionMode, 2u);
    EXPECT_EQ(Descriptor.Switch1, 0u);
    EXPECT_EQ(Descriptor.Switch2, 1u);
    EXPECT_EQ(Descriptor.ReferenceVoltage, 0u);
    EXPECT_EQ(kova8::CheckAdcConfig(Descriptor, 2), kova8::kAdcOk);
}

TEST_F(ChannelWordsTest, RefusedRunsLeaveNoChannelCount) {
    struct Case {
        const char *name;
        std::array<bool, 8> enabled;
        std::array<int, 8> ranges;
        TChannelWords::Result result;
        int failed;
    };
    const Case cases[] = {
        {"nothing enabled", {}, {}, TChannelWords::Result::NoChannels, -1},
        {"no range selected", {true, true}, {0, -1}, TChannelWords::Result::NoRange, 1},
        {"range beyond the table",
         {false, false, true},
         {0, 0, 8},
         TChannelWords::Result::NoRange,
         2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Descriptor.LChannelCount = 4;
        const TChannelWords w = ConfigureChannels(Device, Descriptor, 1, c.enabled, c.ranges);
        EXPECT_EQ(w.result, c.result);
        EXPECT_EQ(w.FailedChannel, c.failed);
        EXPECT_EQ(Descriptor.LChannelCount, 0u);
        EXPECT_EQ(Descriptor.ReferenceVoltage, 1u);
    }
}

} // namespace
