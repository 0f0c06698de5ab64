#pragma once
// The platform's version report reduced to one code, which decides whether the
// window switches the caption tracing of its group boxes off.

#include <cstdint>
#include <functional>
#include <optional>

namespace platform {

enum class PlatformId { Win32s, Windows9x, WindowsNT, Other };

struct VersionReport {
    PlatformId platform = PlatformId::Other;
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
};

// nullopt when the query fails.
using VersionQuery = std::function<std::optional<VersionReport>()>;

std::uint32_t VersionCodeFromReport(const VersionReport &report);

// The running platform's report; off Windows it is "other platform".
std::optional<VersionReport> QueryPlatformVersion();

// Asks the query, a second time when the first fails; two failures give 0.
std::uint32_t GetWindowsVersionCode(const VersionQuery &query);
std::uint32_t GetWindowsVersionCode();

} // namespace platform
