#include "platform/windowsversion.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace platform {

std::uint32_t VersionCodeFromReport(const VersionReport &report) {
    switch (report.platform) {
    case PlatformId::Win32s:
        return 1;
    case PlatformId::Windows9x:
        if (report.major == 4 && report.minor == 0)
            return 2;
        if (report.major > 4 || (report.major == 4 && report.minor > 0))
            return 3;
        return 0;
    case PlatformId::WindowsNT:
        if (report.major <= 4)
            return 4;
        if (report.major == 5) {
            switch (report.minor) {
            case 0:
                return 5;
            case 1:
                return 6;
            case 2:
                return 7;
            default:
                return 0;
            }
        }
        if (report.major == 6) {
            switch (report.minor) {
            case 0:
                return 8;
            case 1:
                return 9;
            default:
                return 10;
            }
        }
        return 0;
    case PlatformId::Other:
        return 0;
    }
    return 0;
}

std::optional<VersionReport> QueryPlatformVersion() {
#ifdef _WIN32
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof(info);
#pragma warning(suppress : 4996)
    if (!GetVersionExA(&info))
        return std::nullopt;
    VersionReport report;
    switch (info.dwPlatformId) {
    case VER_PLATFORM_WIN32s:
        report.platform = PlatformId::Win32s;
        break;
    case VER_PLATFORM_WIN32_WINDOWS:
        report.platform = PlatformId::Windows9x;
        break;
    case VER_PLATFORM_WIN32_NT:
        report.platform = PlatformId::WindowsNT;
        break;
    default:
        report.platform = PlatformId::Other;
        break;
    }
    report.major = info.dwMajorVersion;
    report.minor = info.dwMinorVersion;
    return report;
#else
    return VersionReport{};
#endif
}

std::uint32_t GetWindowsVersionCode(const VersionQuery &query) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (const auto report = query())
            return VersionCodeFromReport(*report);
    }
    return 0;
}

std::uint32_t GetWindowsVersionCode() { return GetWindowsVersionCode(QueryPlatformVersion); }

} // namespace platform
