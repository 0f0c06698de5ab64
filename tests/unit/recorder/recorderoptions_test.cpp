// What the recorder's command line means (the refusals are tested on the
// program itself, with their exit code).

#include "recorder/recorderoptions.h"

#include <gtest/gtest.h>

namespace {

using recorder::ParseArguments;
using recorder::TOptions;

TOptions Parse(const std::vector<std::string> &args) {
    const recorder::TParseResult r = ParseArguments(args);
    EXPECT_TRUE(r.Ok) << r.Message;
    return r.Options;
}

TEST(RecorderOptionsTest, DefaultsAreAllChannelsOnPlusMinus80AtFiveVoltsInHalfSecondBlocks) {
    const TOptions o = Parse({});
    EXPECT_EQ(o.ServerAddress, 0x7F000001u);
    EXPECT_EQ(o.ServerPort, 11111);
    EXPECT_EQ(o.CrateSerial, "");
    EXPECT_EQ(o.Slot, -1);
    EXPECT_EQ(o.Enabled, (std::array<bool, 8>{true, true, true, true, true, true, true, true}));
    EXPECT_EQ(o.Range, (std::array<int, 8>{}));
    EXPECT_EQ(o.Reference, 1);
    EXPECT_EQ(o.BlockSeconds, 0.5);
    EXPECT_EQ(o.Blocks, 0u);
    EXPECT_EQ(o.Duration, 0.0);
    EXPECT_FALSE(o.Stats || o.Sync || o.Quiet || o.List || o.Help);
    EXPECT_EQ(o.Output, "");
    EXPECT_EQ(o.GiveUpAfter, 0.0);
}

TEST(RecorderOptionsTest, RangesGoToTheListedChannelsInTheOrderListed) {
    struct Case {
        std::vector<std::string> args;
        std::array<bool, 8> enabled;
        std::array<int, 8> range;
    };
    const Case cases[] = {
        {{"--channels", "1,3-5", "--ranges", "±10"},
         {true, false, true, true, true, false, false, false},
         {3, 0, 3, 3, 3, 0, 0, 0}},
        {{"--channels", "7,2", "--ranges", "0...10,+-40"},
         {false, true, false, false, false, false, true, false},
         {0, 1, 0, 0, 0, 0, 7, 0}},
        {{"--ranges=±80,±40,±20,±10,0...80,0...40,0...20,0...10"},
         {true, true, true, true, true, true, true, true},
         {0, 1, 2, 3, 4, 5, 6, 7}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args.back());
        const TOptions o = Parse(c.args);
        EXPECT_EQ(o.Enabled, c.enabled);
        EXPECT_EQ(o.Range, c.range);
    }
}

TEST(RecorderOptionsTest, ValuesOfTheOtherOptions) {
    const TOptions o =
        Parse({"--server", "127.0.0.2:4000", "--crate", "2T000002", "--slot=7", "--reference",
               "2.5", "--block", "0.25", "--duration", "3600", "--stats", "--sync", "--quiet",
               "--output", "a.csv", "--give-up-after", "90"});
    EXPECT_EQ(o.ServerAddress, 0x7F000002u);
    EXPECT_EQ(o.ServerPort, 4000);
    EXPECT_EQ(o.CrateSerial, "2T000002");
    EXPECT_EQ(o.Slot, 7);
    EXPECT_EQ(o.Reference, 0);
    EXPECT_EQ(o.BlockSeconds, 0.25);
    EXPECT_EQ(o.Duration, 3600.0);
    EXPECT_TRUE(o.Stats && o.Sync && o.Quiet);
    EXPECT_EQ(o.Output, "a.csv");
    EXPECT_EQ(o.GiveUpAfter, 90.0);
    EXPECT_EQ(Parse({"--server", "localhost:5"}).ServerPort, 5);
    EXPECT_EQ(Parse({"--reference", "5"}).Reference, 1);
    EXPECT_EQ(Parse({"--blocks", "12"}).Blocks, 12u);
    EXPECT_TRUE(Parse({"--list", "--server", "127.0.0.1:1"}).List);
    EXPECT_TRUE(Parse({"--channels", "1", "--help"}).Help);
}

TEST(RecorderOptionsTest, RangeNamesAndTheirAsciiSpelling) {
    for (int r = 0; r < 8; ++r) {
        EXPECT_EQ(recorder::RangeIndexFromName(recorder::RangeAsciiName(r)), r);
    }
    EXPECT_EQ(recorder::RangeAsciiName(0), "+-80");
    EXPECT_EQ(recorder::RangeAsciiName(7), "0...10");
    EXPECT_EQ(recorder::RangeIndexFromName("±20"), 2);
    EXPECT_EQ(recorder::RangeIndexFromName("80"), -1);
    EXPECT_EQ(recorder::RangeIndexFromName(""), -1);
}

} // namespace
