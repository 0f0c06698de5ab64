#include "device/kova8firmware.h"
#include "device/kovaproto.h"

#include <gtest/gtest.h>

extern "C" unsigned KovaCSizeOfDescriptor(void);
extern "C" unsigned KovaCSizeOfCrateConnection(void);
extern "C" unsigned KovaCOffsetOfRate(void);

namespace {

using namespace kovaproto;

TEST(Records, CAndCppAgreeOnTheLayout) {
    EXPECT_EQ(KovaCSizeOfDescriptor(), 1220u);
    EXPECT_EQ(KovaCSizeOfCrateConnection(), 36u);
    EXPECT_EQ(KovaCOffsetOfRate(), 96u);
}

TEST(Codec, FieldsRoundTripLittleEndianWithTheLengthFilledIn) {
    auto m =
        Writer(kSetAdc, 7).U8(0xAB).U16(0x1234).U32(0xDEADBEEF).F64(-2.5).Text("2T1", 6).Finish();
    ASSERT_EQ(m.size(), kHeaderSize + 1 + 2 + 4 + 8 + 6);
    const Header h = DecodeHeader(m.data());
    EXPECT_EQ(h.Length, m.size() - kHeaderSize);
    EXPECT_EQ(h.Type, kSetAdc);
    EXPECT_EQ(h.Status, 7);
    EXPECT_EQ(m[kHeaderSize + 1], 0x34) << "little-endian";
    Reader r(m.data() + kHeaderSize, h.Length);
    EXPECT_EQ(r.U8(), 0xAB);
    EXPECT_EQ(r.U16(), 0x1234);
    EXPECT_EQ(r.U32(), 0xDEADBEEFu);
    EXPECT_EQ(r.F64(), -2.5);
    EXPECT_EQ(r.Text(6), "2T1");
    EXPECT_TRUE(r.Ok());
    EXPECT_TRUE(r.AtEnd());
}

TEST(Codec, ReaderNeverRunsPastThePayload) {
    const std::uint8_t bytes[5] = {1, 2, 3, 4, 5};
    Reader r(bytes, 5);
    EXPECT_EQ(r.U32(), 0x04030201u);
    EXPECT_EQ(r.U16(), 0) << "only one byte left";
    EXPECT_FALSE(r.Ok());
    EXPECT_EQ(r.U8(), 0) << "a failed reader stays failed";
    EXPECT_EQ(r.Bytes(1), nullptr);

    Reader huge(bytes, 5);
    EXPECT_EQ(huge.Bytes(static_cast<std::size_t>(-1)), nullptr) << "no overflow in the bound";
    EXPECT_FALSE(huge.Ok());
}

TEST(Codec, TextFieldsKeepTheirNulAndStopAtTheFirstOne) {
    auto m = Writer(kOpenCrate).Text("0123456789ABCDEFGH", 16).Finish();
    EXPECT_EQ(m.size(), kHeaderSize + 16);
    EXPECT_EQ(m.back(), 0) << "cut to 15 characters";
    const std::uint8_t raw[8] = {'A', 'B', 0, 'C', 'D', 'E', 'F', 'G'};
    Reader r(raw, 8);
    EXPECT_EQ(r.Text(8), "AB");
    const std::uint8_t full[4] = {'W', 'X', 'Y', 'Z'};
    Reader f(full, 4);
    EXPECT_EQ(f.Text(4), "WXYZ") << "an unterminated field ends at its size";
}

TEST(Codec, StructuredPayloadsRejectShortOrTrailingBytes) {
    ModuleInfo info{"KOVA8", 2, "8K000457", "1.07"};
    auto m = EncodeModuleInfo(info);
    Reader ok(m.data() + kHeaderSize, m.size() - kHeaderSize);
    auto back = DecodeModuleInfo(ok);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->Serial, "8K000457");
    EXPECT_EQ(back->Variant, 2);
    Reader shortr(m.data() + kHeaderSize, m.size() - kHeaderSize - 1);
    EXPECT_FALSE(DecodeModuleInfo(shortr));
    m.push_back(0);
    Reader trailing(m.data() + kHeaderSize, m.size() - kHeaderSize);
    EXPECT_FALSE(DecodeModuleInfo(trailing));

    AdcConfig c;
    c.Count = 3;
    c.Channels[2] = 0xA0000302u;
    auto a = EncodeAdcConfig(c);
    EXPECT_LE(a.size() - kHeaderSize, RequestLimit(kSetAdc));
    Reader ar(a.data() + kHeaderSize, a.size() - kHeaderSize);
    auto ac = DecodeAdcConfig(ar);
    ASSERT_TRUE(ac);
    EXPECT_EQ(ac->Channels[2], 0xA0000302u);
    Reader as(a.data() + kHeaderSize, 20);
    EXPECT_FALSE(DecodeAdcConfig(as));
}

TEST(Codec, RequestLimitsBoundEveryTypeAndUnknownTypesAreRejected) {
    EXPECT_EQ(RequestLimit(kStart), 0u);
    EXPECT_EQ(RequestLimit(kOpenCrate), 16u);
    EXPECT_GE(RequestLimit(kOpenModule), kMaxFirmwareSize + 20);
    EXPECT_LT(RequestLimit(kOpenModule), 1u << 20);
    EXPECT_FALSE(KnownRequest(kData)) << "data flows only from the server";
    EXPECT_FALSE(KnownRequest(kStart | kReplyFlag));
    EXPECT_FALSE(KnownRequest(0));
}

TEST(Firmware, OnlyTheIntactImageIsValid) {
    const auto image = kova8fw::StandardImage();
    EXPECT_TRUE(kova8fw::Valid(image.data(), image.size()));
    EXPECT_EQ(image, kova8fw::StandardImage()) << "the build writes the same file every time";

    for (std::size_t at :
         {std::size_t{0}, std::size_t{9}, std::size_t{13}, std::size_t{500}, image.size() - 1}) {
        auto bad = image;
        bad[at] ^= 0x10;
        EXPECT_FALSE(kova8fw::Valid(bad.data(), bad.size())) << "byte " << at;
    }
    EXPECT_FALSE(kova8fw::Valid(image.data(), image.size() - 1));
    EXPECT_FALSE(kova8fw::Valid(image.data(), 3));
    auto longer = image;
    longer.push_back(0);
    EXPECT_FALSE(kova8fw::Valid(longer.data(), longer.size()));
    const auto empty = kova8fw::Build({});
    EXPECT_TRUE(kova8fw::Valid(empty.data(), empty.size()));
}

} // namespace
