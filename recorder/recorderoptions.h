#pragma once
// The recorder's command line: what to record, where to, and until when. Parsing
// checks everything that can be checked without the device, so a bad argument
// is refused before anything is opened.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace recorder {

struct TOptions {
    bool Help = false;
    bool List = false;

    std::uint32_t ServerAddress = 0x7F000001u; // 127.0.0.1
    std::uint16_t ServerPort = 11111;
    std::string CrateSerial; // empty: any crate
    int Slot = -1;           // -1: any slot

    // Channel index 0..7 enabled, and its range index 0..7.
    std::array<bool, 8> Enabled{true, true, true, true, true, true, true, true};
    std::array<int, 8> Range{};
    int Reference = 1; // 0 = 2.5 V, 1 = 5.0 V
    double BlockSeconds = 0.5;
    std::uint64_t Blocks = 0; // 0: no count
    double Duration = 0.0;    // 0: no duration

    bool Stats = false;
    std::string Output; // empty: standard output
    bool Sync = false;
    bool Quiet = false;
    double GiveUpAfter = 0.0; // 0: never
    std::string SettingsFile;
};

struct TParseResult {
    bool Ok = false;
    TOptions Options;
    std::string Message; // why not Ok, and how to say it right
};

// args without the program name. A settings file named by --settings is read
// here, by the window's rules; options given on the command line win over it.
TParseResult ParseArguments(const std::vector<std::string> &args);

// --help.
std::string UsageText();

// Range index of a short name ("±80", "0...10") or its ASCII spelling
// ("+-80"); -1 when there is no such range.
int RangeIndexFromName(std::string_view name);

// A range's short name in ASCII, as a file name or a terminal without UTF-8 takes it.
std::string RangeAsciiName(int rangeIndex);

} // namespace recorder
