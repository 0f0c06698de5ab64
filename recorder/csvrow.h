#pragma once
// CSV text of the recording: the header and one row per block, RFC 4180, with
// '.' as the decimal separator whatever the locale, built in a fixed buffer
// without allocation.

#include "measurement/blockstats.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace recorder {

// Decimals of the millivolt columns: enough to tell apart two neighbouring
// codes of the finest range (10 mV over 2^24 codes, 0.6 nV).
inline constexpr int kMillivoltDecimals = 7;
// Decimals of elapsed_s: microseconds.
inline constexpr int kSecondsDecimals = 6;

// "time_utc,elapsed_s,block,samples,ch1_mean_mV,…" with CRLF.
std::string CsvHeader(const std::array<bool, 8> &enabled, bool stats);

// ISO 8601 UTC with milliseconds: "2026-12-10T12:00:00.123Z".
std::string UtcText(std::chrono::system_clock::time_point time);

class TCsvRow {
public:
    void Begin(std::chrono::system_clock::time_point firstSample, double elapsedSeconds,
               std::uint64_t block, std::uint32_t samples);
    void Add(const TChannelStats &channel, bool stats);
    // Ends the row with CRLF; the row's text.
    std::string_view Finish();

private:
    void Put(std::string_view text);
    void PutFixed(double value, int decimals);
    void PutInteger(std::uint64_t value);

    // 4 fields of at most 40 characters, 8 channels of 4 fields of at most 330
    // characters each (the widest double in fixed notation).
    std::array<char, 16384> Buffer{};
    std::size_t Length = 0;
};

} // namespace recorder
