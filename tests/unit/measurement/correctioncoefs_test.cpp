// Coefficient codes, their conversion and the EEPROM block layout.

#include "measurement/correctioncoefs.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

TEST(CoefsConversion, OffsetAndScaleToTheLastBit) {
    const struct {
        std::int32_t code;
        int rangeCode;
        double offset;
    } offsets[] = {
        {8388608, 0, 0.0},
        {8388608, 3, 0.0},
        {8388608, 7, 0.0},
        {8388609, 0, 1.662186264184129e-06},
        {8388609, 4, 1.662186264184129e-06},
        {16777215, 3, 111.54741864831067},
        {16777215, 7, 111.54741864831067},
        {0, 3, -111.54743194580078},
        {0, 0, -13.943428993225098},
        {0, 4, -13.943428993225098},
    };
    for (const auto &c : offsets) {
        EXPECT_EQ(OffsetFromCode(c.code, c.rangeCode), c.offset)
            << "code " << c.code << " range code " << c.rangeCode;
    }
    EXPECT_EQ(ScaleFromCode(5848298), 1.0);
    EXPECT_EQ(ScaleFromCode(0), 0.0);
}

TEST(CoefsConversion, BlockAddressPerReference) {
    EXPECT_EQ(CoefsBlockAddress(0), 600);
    EXPECT_EQ(CoefsBlockAddress(1), 100);
}

// A block whose record (b, c) holds offset code 1000 * b + c and scale code
// 0x800000 + 16 * b + c, written little-endian in 24 bits.
std::vector<std::uint8_t> NumberedBlock() {
    std::vector<std::uint8_t> block(kCoefsBlockBufferSize, 0);
    for (int b = 0; b < 8; ++b) {
        for (int c = 0; c < 8; ++c) {
            const std::uint32_t offset = 1000u * static_cast<std::uint32_t>(b) +
                                         static_cast<std::uint32_t>(c);
            const std::uint32_t scale = 0x800000u + 16u * static_cast<std::uint32_t>(b) +
                                        static_cast<std::uint32_t>(c);
            std::uint8_t *p = block.data() + 6 * (8 * b + c);
            for (int i = 0; i < 3; ++i) {
                p[i] = static_cast<std::uint8_t>(offset >> (8 * i));
                p[3 + i] = static_cast<std::uint8_t>(scale >> (8 * i));
            }
        }
    }
    return block;
}

TEST(CoefsBlock, RecordsLandAtTheRangeIndexOfTheirCode) {
    TCorrectionCoefsTable table;
    std::memset(&table, 0xAB, sizeof table);
    ClearCoefsTable(table);
    DecodeCoefsBlock(NumberedBlock(), 1, table);

    const int rangeOfCode[8] = {3, 2, 1, 0, 7, 6, 5, 4};
    for (int b = 0; b < 8; ++b) {
        for (int c = 0; c < 8; ++c) {
            const TCorrectionCoefsEntry &e = table.Entries[1][rangeOfCode[b]][c];
            EXPECT_EQ(e.OffsetCode, 1000 * b + c) << b << "," << c;
            EXPECT_EQ(e.ScaleCode, 0x800000 + 16 * b + c) << b << "," << c;
            EXPECT_EQ(e.Offset, OffsetFromCode(e.OffsetCode, b));
            EXPECT_EQ(e.Scale, ScaleFromCode(e.ScaleCode));
        }
    }
    // Record (code 0, channel 0) is range "±10"; (code 4, channel 7) is "0...10".
    EXPECT_EQ(table.Entries[1][3][0].OffsetCode, 0);
    EXPECT_EQ(table.Entries[1][7][7].OffsetCode, 4007);

    // The other reference's half and the trailing word stay zero.
    const auto *other = reinterpret_cast<const unsigned char *>(&table.Entries[0]);
    for (std::size_t i = 0; i < sizeof table.Entries[0]; ++i) {
        ASSERT_EQ(other[i], 0u) << "byte " << i;
    }
    EXPECT_EQ(table.Reserved, 0);
}

TEST(CoefsBlock, AllZeroBufferGivesZeroCodesAndNegativeFullScaleOffsets) {
    TCorrectionCoefsTable table;
    ClearCoefsTable(table);
    const std::vector<std::uint8_t> block(kCoefsBlockBufferSize, 0);
    DecodeCoefsBlock(block, 0, table);
    EXPECT_EQ(table.Entries[0][3][5].OffsetCode, 0);
    EXPECT_EQ(table.Entries[0][3][5].Offset, -13.943428993225098);
    EXPECT_EQ(table.Entries[0][0][0].Offset, -111.54743194580078);
    EXPECT_EQ(table.Entries[0][4][7].Scale, 0.0);
}

TEST(CoefsBlock, ShortBufferIsIgnored) {
    TCorrectionCoefsTable table;
    ClearCoefsTable(table);
    const std::vector<std::uint8_t> block(kCoefsBlockLength - 1, 0xFF);
    DecodeCoefsBlock(block, 0, table);
    EXPECT_EQ(table.Entries[0][0][0].OffsetCode, 0);
}

TEST(CoefsTable, CopiedWhole) {
    TCorrectionCoefsTable a;
    ClearCoefsTable(a);
    a.Entries[1][7][7] = {1, 2, 3.0, 4.0};
    a.Entries[0][0][0] = {5, 6, 7.0, 8.0};
    TCorrectionCoefsTable b;
    std::memset(&b, 0xCD, sizeof b);
    b = a;
    EXPECT_EQ(std::memcmp(&a, &b, offsetof(TCorrectionCoefsTable, Reserved) + 2), 0);
}

} // namespace
