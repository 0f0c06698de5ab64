#include "measurement/rangetable.h"

#include <gtest/gtest.h>

namespace {

struct RangeCase {
    const char16_t *caption;
    const char16_t *shortName;
    double lower;
    double upper;
    int code;
};

// The table as the user and the module library read it.
const RangeCase kExpected[kRangeCount] = {
    {u"  от -80 до +80 мВ", u"±80", -80, 80, 3},  {u"  от -40 до +40 мВ", u"±40", -40, 40, 2},
    {u"  от -20 до +20 мВ", u"±20", -20, 20, 1},  {u"  от -10 до +10 мВ", u"±10", -10, 10, 0},
    {u"от +0.02 до +80 мВ", u"0...80", 0, 80, 7}, {u"от +0.01 до +40 мВ", u"0...40", 0, 40, 6},
    {u"от +0.01 до +20 мВ", u"0...20", 0, 20, 5}, {u"от +0.01 до +10 мВ", u"0...10", 0, 10, 4},
};

TEST(RangeTable, EveryRowAsListedAndCodedForTheModule) {
    for (int i = 0; i < kRangeCount; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(RangeCaption(i), QString::fromUtf16(kExpected[i].caption));
        EXPECT_EQ(RangeShortName(i), QString::fromUtf16(kExpected[i].shortName));
        EXPECT_EQ(RangeLowerLimit(i), kExpected[i].lower);
        EXPECT_EQ(RangeUpperLimit(i), kExpected[i].upper);
        EXPECT_EQ(ModuleRangeCode(i), kExpected[i].code);
    }
}

TEST(RangeTable, CodeMappingIsItsOwnInverseAndRejectsStrangers) {
    for (int i = 0; i < kRangeCount; ++i) {
        EXPECT_EQ(RangeIndexFromModuleCode(ModuleRangeCode(i)), i);
        EXPECT_EQ(ModuleRangeCode(ModuleRangeCode(i)), i);
    }
    EXPECT_EQ(RangeIndexFromModuleCode(-1), -1);
    EXPECT_EQ(RangeIndexFromModuleCode(8), -1);
}

TEST(RangeTable, ShortNamesEncodeThePlusMinusSignAsWindows1251Does) {
    // The settings and the display go through Windows-1251, where ± is 0xB1.
    EXPECT_EQ(RangeShortName(0).at(0).unicode(), 0x00B1);
}

TEST(ListTexts, ItemsCarryTheirLeadingBlanks) {
    EXPECT_EQ(RangeListItem(RangeCaption(0)), QStringLiteral("   от -80 до +80 мВ"));
    EXPECT_EQ(RangeListItem(RangeCaption(4)), QStringLiteral(" от +0.02 до +80 мВ"));
    EXPECT_EQ(ReferenceVoltageItem(0), QStringLiteral(" 2.5 B"));
    EXPECT_EQ(ReferenceVoltageItem(1), QStringLiteral(" 5.0 B"));
    // A Latin B, not the Cyrillic В that looks the same.
    EXPECT_EQ(ReferenceVoltageItem(1).back().unicode(), u'B');
    EXPECT_EQ(ChannelTitle(0), QStringLiteral("Канал 1"));
    EXPECT_EQ(ChannelTitle(7), QStringLiteral("Канал 8"));
}

} // namespace
