#include "forms/devicetexts.h"

#include <gtest/gtest.h>

namespace {

TEST(DeviceTexts, ListItemsNumberCratesAndNameModuleVariants) {
    EXPECT_EQ(CrateListItem(0, QStringLiteral("KC000123")), QStringLiteral("1: KC000123"));
    EXPECT_EQ(CrateListItem(15, QStringLiteral("X")), QStringLiteral("16: X"));
    EXPECT_EQ(ModuleListItem(4, 0), QStringLiteral("Слот 4: KOVA8M-3"));
    EXPECT_EQ(ModuleListItem(4, 2), QStringLiteral("Слот 4: KOVA8M-2"));
    EXPECT_EQ(ModuleListItem(16, 255), QStringLiteral("Слот 16: KOVA8M-255"));
}

TEST(DeviceTexts, StatusHintsForEveryDisplay) {
    EXPECT_EQ(CrateStatusHint(StatusDisplay::Pending, true),
              QStringLiteral("Статус KOVA крейта -> ???"));
    EXPECT_EQ(CrateStatusHint(StatusDisplay::Result, true),
              QStringLiteral("Статус KOVA крейта -> OK"));
    EXPECT_EQ(CrateStatusHint(StatusDisplay::Result, false),
              QStringLiteral("Статус KOVA крейта -> BAD"));
    const QString name = QStringLiteral("KOVA8");
    // The pending hint has no blank before the arrow.
    EXPECT_EQ(ModuleStatusHint(StatusDisplay::Pending, name, true),
              QStringLiteral("Статус модуля 'KOVA8'-> ???"));
    EXPECT_EQ(ModuleStatusHint(StatusDisplay::Result, name, true),
              QStringLiteral("Статус модуля 'KOVA8' -> OK"));
    EXPECT_EQ(ModuleStatusHint(StatusDisplay::Result, QStringLiteral("???"), false),
              QStringLiteral("Статус модуля '??" "?' -> BAD"));
}

TEST(DeviceTexts, CaptionShowsTheProgramVersionOnlyForAResult) {
    const QString fallback = QStringLiteral("KOVA8_duvu - ?.?.?");
    EXPECT_EQ(DeviceCaption(StatusDisplay::Pending, fallback), fallback);
    EXPECT_EQ(DeviceCaption(StatusDisplay::Result, fallback), QStringLiteral("KOVA8_duvu - 1.0.0"));
}

TEST(DeviceTexts, SerialTextStopsAtTheNulOrFifteenCharacters) {
    const char terminated[16] = "AB12";
    EXPECT_EQ(SerialText(terminated, 16), QStringLiteral("AB12"));
    const char full[16] = {'0', '1', '2', '3', '4', '5', '6', '7',
                           '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'}; // no NUL at all
    EXPECT_EQ(SerialText(full, 16), QStringLiteral("0123456789ABCDE"));
    const char empty[16] = {};
    EXPECT_TRUE(SerialText(empty, 16).isEmpty());
    // The device's bytes are Windows-1251: 0xCA is the Cyrillic К.
    const char cyrillic[16] = "8\xCA\x30\x30\x30\x31"; // "8К0001"
    EXPECT_EQ(SerialText(cyrillic, 16), QStringLiteral("8К0001"));
}

} // namespace
