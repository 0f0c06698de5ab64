#include "recorder/csvrow.h"

#include <charconv>
#include <ctime>

namespace recorder {

std::string CsvHeader(const std::array<bool, 8> &enabled, bool stats) {
    std::string header = "time_utc,elapsed_s,block,samples";
    for (std::size_t i = 0; i < enabled.size(); ++i) {
        if (!enabled[i])
            continue;
        const std::string ch = ",ch" + std::to_string(i + 1) + "_";
        header += ch + "mean_mV";
        if (stats)
            header += ch + "min_mV" + ch + "max_mV" + ch + "std_mV";
    }
    return header + "\r\n";
}

std::string UtcText(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const auto ms = floor<milliseconds>(time.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
    const int millis = static_cast<int>(ms - static_cast<long long>(seconds) * 1000);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char text[40];
    const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &parts);
    std::string out(text, n);
    out += '.';
    out += static_cast<char>('0' + millis / 100);
    out += static_cast<char>('0' + millis / 10 % 10);
    out += static_cast<char>('0' + millis % 10);
    out += 'Z';
    return out;
}

void TCsvRow::Begin(std::chrono::system_clock::time_point firstSample, double elapsedSeconds,
                    std::uint64_t block, std::uint32_t samples) {
    Length = 0;
    Put(UtcText(firstSample));
    Put(",");
    PutFixed(elapsedSeconds, kSecondsDecimals);
    Put(",");
    PutInteger(block);
    Put(",");
    PutInteger(samples);
}

void TCsvRow::Add(const TChannelStats &channel, bool stats) {
    Put(",");
    PutFixed(channel.Mean, kMillivoltDecimals);
    if (!stats)
        return;
    Put(",");
    PutFixed(channel.Min, kMillivoltDecimals);
    Put(",");
    PutFixed(channel.Max, kMillivoltDecimals);
    Put(",");
    PutFixed(channel.Std, kMillivoltDecimals);
}

std::string_view TCsvRow::Finish() {
    Put("\r\n");
    return {Buffer.data(), Length};
}

void TCsvRow::Put(std::string_view text) {
    const std::size_t n = std::min(text.size(), Buffer.size() - Length);
    text.copy(Buffer.data() + Length, n);
    Length += n;
}

void TCsvRow::PutFixed(double value, int decimals) {
    // -0.0000000 says nothing that 0.0000000 does not.
    char *from = Buffer.data() + Length;
    const auto [end, ec] = std::to_chars(from, Buffer.data() + Buffer.size(), value,
                                         std::chars_format::fixed, decimals);
    if (ec != std::errc())
        return;
    std::size_t n = static_cast<std::size_t>(end - from);
    if (n > 1 && from[0] == '-' &&
        std::string_view(from + 1, n - 1).find_first_not_of("0.") == std::string_view::npos) {
        std::copy(from + 1, end, from);
        --n;
    }
    Length += n;
}

void TCsvRow::PutInteger(std::uint64_t value) {
    char *from = Buffer.data() + Length;
    const auto [end, ec] = std::to_chars(from, Buffer.data() + Buffer.size(), value);
    if (ec == std::errc())
        Length += static_cast<std::size_t>(end - from);
}

} // namespace recorder
