// The crate server's JSON configuration: any text. It is accepted or refused with a
// ConfigError, never anything else; an accepted one serves: its lookups find what it lists
// and every module's stream makes well-formed words.
#include "fuzzcheck.h"

#include "crateserver/model.h"
#include "device/kova8format.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    crated::ServerConfig config;
    try {
        config = crated::ParseConfigText(text);
    } catch (const crated::ConfigError &) {
        return 0;
    }
    FUZZ_CHECK(config.Crates.size() <= 16);
    for (const auto &crate : config.Crates) {
        FUZZ_CHECK(config.FindCrate(crate.Serial) == &crate);
        FUZZ_CHECK(crate.Modules.size() <= 16);
        for (const auto &module : crate.Modules) {
            FUZZ_CHECK(module.Slot >= 1 && module.Slot <= 16);
            FUZZ_CHECK(config.FindModule(crate.Serial, module.Slot) == &module);
            FUZZ_CHECK(module.SampleRateHz > 0.0);
            // Every channel, the last range, a little way into the signals' time.
            std::vector<std::uint32_t> channels;
            for (std::uint32_t c = 1; c <= 8; ++c)
                channels.push_back(kova8::MakeLChannel(c, (c + module.Slot) % 8, 0));
            crated::SampleStream stream(module, channels, 123456789, 3);
            std::vector<std::uint32_t> words(stream.FrameWords() * 4);
            stream.Generate(words.data(), 4);
            for (std::size_t i = 0; i < words.size(); i += 2)
                FUZZ_CHECK(kova8::SampleValid(words[i], words[i + 1]));
        }
    }
    return 0;
}
