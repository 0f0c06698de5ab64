#include "platform/windowsversion.h"

#include <gtest/gtest.h>

namespace {

using platform::PlatformId;
using platform::VersionReport;

TEST(WindowsVersionCode, TableOfReports) {
    const struct {
        PlatformId platform;
        std::uint32_t major, minor, code;
    } cases[] = {
        {PlatformId::Win32s, 3, 1, 1},     {PlatformId::Win32s, 0, 0, 1},
        {PlatformId::Windows9x, 4, 0, 2},  {PlatformId::Windows9x, 4, 10, 3},
        {PlatformId::Windows9x, 4, 90, 3}, {PlatformId::Windows9x, 5, 0, 3},
        {PlatformId::WindowsNT, 3, 51, 4}, {PlatformId::WindowsNT, 4, 0, 4},
        {PlatformId::WindowsNT, 4, 9, 4},  {PlatformId::WindowsNT, 5, 0, 5},
        {PlatformId::WindowsNT, 5, 1, 6},  {PlatformId::WindowsNT, 5, 2, 7},
        {PlatformId::WindowsNT, 5, 3, 0},  {PlatformId::WindowsNT, 6, 0, 8},
        {PlatformId::WindowsNT, 6, 1, 9},  {PlatformId::WindowsNT, 6, 2, 10},
        {PlatformId::WindowsNT, 6, 3, 10}, {PlatformId::WindowsNT, 7, 0, 0},
        {PlatformId::WindowsNT, 10, 0, 0}, {PlatformId::Other, 6, 1, 0},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(platform::VersionCodeFromReport({c.platform, c.major, c.minor}), c.code)
            << static_cast<int>(c.platform) << " " << c.major << "." << c.minor;
    }
}

TEST(WindowsVersionCode, SecondTryAfterAFailedQuery) {
    const struct {
        int failures;
        std::uint32_t code;
        int calls;
    } cases[] = {{0, 9, 1}, {1, 9, 2}, {2, 0, 2}, {5, 0, 2}};
    for (const auto &c : cases) {
        int calls = 0;
        const auto code = platform::GetWindowsVersionCode([&]() -> std::optional<VersionReport> {
            ++calls;
            if (calls <= c.failures)
                return std::nullopt;
            return VersionReport{PlatformId::WindowsNT, 6, 1};
        });
        EXPECT_EQ(code, c.code) << c.failures;
        EXPECT_EQ(calls, c.calls) << c.failures;
    }
}

TEST(WindowsVersionCode, OffWindowsTheReportIsOtherPlatform) {
#ifndef _WIN32
    EXPECT_EQ(platform::GetWindowsVersionCode(), 0u);
#endif
}

} // namespace
