#include "device/kova8format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using namespace kova8;

TEST(LChannel, WordsCarryChannelAndRangeAndRejectArgumentsOutOfRange) {
    struct Case {
        std::uint32_t channel, range, flags;
        bool valid;
    } cases[] = {{1, 0, 0, true},  {8, 7, 0, true},  {0, 0, 0, false},
                 {9, 0, 0, false}, {1, 8, 0, false}, {1, 0, 1, false}};
    for (const auto &c : cases) {
        const std::uint32_t w = MakeLChannel(c.channel, c.range, c.flags);
        EXPECT_EQ(LChannelValid(w), c.valid) << c.channel << "/" << c.range << "/" << c.flags;
        if (c.valid) {
            EXPECT_EQ(LChannelIndex(w), static_cast<int>(c.channel - 1));
            EXPECT_EQ(LChannelRange(w), static_cast<int>(c.range));
        }
    }
    EXPECT_FALSE(LChannelValid(0xA0000008u)) << "channel index bit 3";
    EXPECT_FALSE(LChannelValid(0xA0010000u));
}

TEST(Quantiser, CodesSpanTheRangeAndClipBeyondIt) {
    struct Case {
        int range;
        double mv;
        std::uint32_t code;
    } cases[] = {
        {0, 0.0, 0x800000}, {0, 10.0, 0xFFFFFF}, {0, 50.0, 0xFFFFFF}, {0, -10.0, 0},
        {0, -11.0, 0},      {3, 40.0, 0xC00000}, {4, 0.0, 0},         {4, -1.0, 0},
        {4, 5.0, 0x800000}, {7, 80.0, 0xFFFFFF}, {7, 1e9, 0xFFFFFF},  {1, -1e9, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(CodeFromMv(c.range, c.mv), c.code) << c.range << " " << c.mv;
    EXPECT_EQ(CodeFromMv(0, std::nan("")), 0u);
    EXPECT_NEAR(MvFromCode(2, CodeFromMv(2, 12.345)), 12.345, 0.5 * 40.0 / 8388608)
        << "within half a step";
    EXPECT_DOUBLE_EQ(MvFromCode(5, 0x800000), 10.0);
}

std::vector<std::uint32_t> Pairs(std::initializer_list<std::pair<int, double>> samples, int range) {
    std::vector<std::uint32_t> w;
    for (auto [ch, mv] : samples) {
        const std::uint32_t h = SampleHeader(ch, range);
        w.push_back(h);
        w.push_back(SampleCodeWord(h, CodeFromMv(range, mv)));
    }
    return w;
}

TEST(Decode, ConvertsPairsToVoltsOrMillivoltsWithinTheCount) {
    auto w = Pairs({{0, 5.0}, {7, -2.5}, {3, 0.0}}, 0);
    double out[4] = {-1, -1, -1, -1};
    int written = 0;
    ASSERT_EQ(DecodeSamples(w.data(), 6, out, true, &written), 3);
    EXPECT_EQ(written, 3);
    EXPECT_DOUBLE_EQ(out[0], 0.005);
    EXPECT_DOUBLE_EQ(out[1], -0.0025);
    EXPECT_DOUBLE_EQ(out[2], 0.0);
    EXPECT_EQ(out[3], -1) << "nothing past the count";
    ASSERT_EQ(DecodeSamples(w.data(), 4, out, false, &written), 2);
    EXPECT_DOUBLE_EQ(out[0], 5.0);
}

TEST(Decode, MalformedWordsOddOrNegativeCountsFail) {
    auto good = Pairs({{1, 1.0}, {2, 2.0}}, 1);
    double out[2] = {-1, -1};
    int written = -1;
    EXPECT_EQ(DecodeSamples(good.data(), 3, out, true, &written), -1);
    EXPECT_EQ(written, 0);
    EXPECT_EQ(DecodeSamples(good.data(), -2, out, true, &written), -1);
    EXPECT_EQ(out[0], -1) << "an odd or negative count converts nothing";

    struct Case {
        const char *what;
        std::size_t word;
        std::uint32_t value;
    } cases[] = {
        {"header tag", 2, 0x00000001u},
        {"check byte", 3, good[3] ^ 0x01000000u},
        {"code changed under its check byte", 3, good[3] ^ 0x00000100u},
        {"header range bit 7", 2, good[2] | 0x80u},
        {"header channel bit 3", 2, good[2] | 0x08u},
        {"all ones", 2, 0xFFFFFFFFu},
    };
    for (const auto &c : cases) {
        auto bad = good;
        bad[c.word] = c.value;
        EXPECT_EQ(DecodeSamples(bad.data(), 4, out, true, &written), -1) << c.what;
        EXPECT_EQ(written, 1) << c.what << ": the first pair was converted";
    }
}

TEST(AdcConfig, CheckNamesWhatCannotRun) {
    Kova8Descriptor d{};
    d.RecordSize = 1220;
    d.ReferenceVoltage = 1;
    d.LChannelCount = 2;
    d.LChannels[0] = MakeLChannel(1, 3, 0);
    d.LChannels[1] = MakeLChannel(8, 4, 0);
    EXPECT_EQ(CheckAdcConfig(d, 0), kAdcOk);
    auto with = [&](auto change) {
        Kova8Descriptor c = d;
        change(c);
        return CheckAdcConfig(c, 0);
    };
    EXPECT_EQ(with([](auto &c) { c.RecordSize = 1224; }), kAdcBadRecordSize);
    EXPECT_EQ(with([](auto &c) { c.LChannelCount = 0; }), kAdcBadChannelCount);
    EXPECT_EQ(with([](auto &c) { c.LChannelCount = 9; }), kAdcBadChannelCount);
    EXPECT_EQ(with([](auto &c) { c.LChannels[1] = 0; }), kAdcBadChannelWord);
    EXPECT_EQ(with([](auto &c) { c.LChannels[1] = MakeLChannel(1, 0, 0); }), kAdcDuplicateChannel);
    EXPECT_EQ(with([](auto &c) { c.ReferenceVoltage = 0; }), kAdcBadReference);
    d.ReferenceVoltage = 0;
    EXPECT_EQ(CheckAdcConfig(d, 2), kAdcOk) << "variants other than 0 take 2.5 V";
}

TEST(Eeprom, DefaultCodesFollowTheSerialAndTheRecordOrder) {
    const auto a = DefaultEeprom("8K000123");
    EXPECT_EQ(a, DefaultEeprom("8K000123"));
    EXPECT_NE(a, DefaultEeprom("8K000124"));
    for (std::uint16_t base : {kBlock5V, kBlock2V5})
        for (int k = 0; k < 64; ++k) {
            EXPECT_NEAR(GetCode24(a.data() + base + 6 * k), 8388608.0, 1000.0);
            EXPECT_NEAR(GetCode24(a.data() + base + 6 * k + 3), 5848298.0, 10000.0);
        }
    EXPECT_EQ(a[99], 0);
    EXPECT_EQ(a[484], 0) << "the 5.0 V block ends at 484";
    std::array<std::uint8_t, 384> block{};
    PutRecord(block.data(), 8 * 4 + 7, 0x123456, 0xABCDEF);
    EXPECT_EQ(block[6 * 39], 0x56);
    EXPECT_EQ(GetCode24(block.data() + 6 * 39 + 3), 0xABCDEFu);
}

} // namespace
