// The recorder's command line and the settings file it may read: any arguments, any file.
// Parsing accepts or refuses with a message, never crashes; what it accepts is inside the
// ranges the recording relies on.
//
// Input: the arguments separated by NUL bytes; after two NUL bytes in a row, the bytes of a
// settings file, which "--settings FILE" then names.
#include "fuzzcheck.h"

#include "recorder/recorderoptions.h"

#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

const std::string &SettingsPath() {
    static const std::string path =
        (access("/dev/shm", W_OK) == 0 ? std::string("/dev/shm") : std::string("/tmp")) +
        "/kova-fuzz-record-" + std::to_string(getpid()) + ".ini";
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    const std::size_t split = input.find(std::string_view("\0\0", 2));
    const std::string_view argText = input.substr(0, split);
    std::vector<std::string> args;
    for (std::size_t from = 0; from <= argText.size();) {
        const std::size_t at = argText.find('\0', from);
        const std::size_t end = at == std::string_view::npos ? argText.size() : at;
        args.emplace_back(argText.substr(from, end - from));
        from = end + 1;
    }
    if (split != std::string_view::npos) {
        const std::string_view file = input.substr(split + 2);
        std::ofstream out(SettingsPath(), std::ios::binary | std::ios::trunc);
        out.write(file.data(), static_cast<std::streamsize>(file.size()));
        FUZZ_CHECK(out.good());
        out.close();
        args.push_back("--settings");
        args.push_back(SettingsPath());
    }
    for (const std::string &a : args) {
        const int range = recorder::RangeIndexFromName(a);
        FUZZ_CHECK(range >= -1 && range < 8);
        if (range >= 0)
            FUZZ_CHECK(recorder::RangeIndexFromName(recorder::RangeAsciiName(range)) == range);
    }

    const recorder::TParseResult r = recorder::ParseArguments(args);
    if (!r.Ok) {
        FUZZ_CHECK(!r.Message.empty());
        return 0;
    }
    const recorder::TOptions &o = r.Options;
    if (o.Help || o.List)
        return 0;
    FUZZ_CHECK(o.Slot == -1 || (o.Slot >= 1 && o.Slot <= 16));
    FUZZ_CHECK(o.CrateSerial.size() <= 15);
    bool any = false;
    for (std::size_t i = 0; i < 8; ++i) {
        FUZZ_CHECK(o.Range[i] >= 0 && o.Range[i] < 8);
        any = any || o.Enabled[i];
    }
    FUZZ_CHECK(any);
    FUZZ_CHECK(o.Reference == 0 || o.Reference == 1);
    FUZZ_CHECK(std::isfinite(o.BlockSeconds) && o.BlockSeconds > 0.0);
    FUZZ_CHECK(std::isfinite(o.Duration) && o.Duration >= 0.0);
    FUZZ_CHECK(std::isfinite(o.GiveUpAfter) && o.GiveUpAfter >= 0.0);
    FUZZ_CHECK(o.Blocks == 0 || o.Duration == 0.0);
    return 0;
}
