#include "platform/colors.h"
#include "platform/version.h"

#include <gtest/gtest.h>

namespace {

TEST(WindowsColours, ByteOrderIsBlueGreenRed) {
    const struct {
        std::uint32_t value;
        int r, g, b;
    } cases[] = {{255, 255, 0, 0},         {32768, 0, 128, 0},     {65280, 0, 255, 0},
                 {0xA4FFFF, 255, 255, 164}, {0xFF0000, 0, 0, 255}, {0x12345678, 0x78, 0x56, 0x34}};
    for (const auto &c : cases) {
        const QColor color = platform::ColorFromWin(c.value);
        EXPECT_EQ(color.red(), c.r) << c.value;
        EXPECT_EQ(color.green(), c.g) << c.value;
        EXPECT_EQ(color.blue(), c.b) << c.value;
        EXPECT_EQ(platform::ColorToWin(color), c.value & 0xFFFFFFu);
    }
}

TEST(ProgramVersion, FirstThreeNumbersOfTheProject) {
    EXPECT_EQ(platform::ProgramVersion(), QStringLiteral("1.0.0"));
}

} // namespace
