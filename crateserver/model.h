// The simulated equipment: crates, their slots, module identity, EEPROM, input signals, sample
// rate and injected faults. The network front serves it; tests may drive it directly.
#pragma once

#include <nlohmann/json_fwd.hpp>

#include <array>
#include <cstdint>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace crated {

// A configuration that cannot be served; the text says what and where.
class ConfigError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ChannelSignal {
    double DcMv = 0.0;
    double NoiseUv = 0.0; // standard deviation of the Gaussian noise, microvolts
    double SineMv = 0.0;  // amplitude
    double SineHz = 0.0;
};

struct ModuleFaults {
    bool RefuseOpen = false;
    bool RefuseSetAdc = false;
    bool RefuseStart = false;
    bool RefuseStop = false;
    bool EepromFail = false;
    // Words into a run; -1 = never.
    long long StallAfterWords = -1;   // the stream stops there, the link stays
    long long DropAfterWords = -1;    // the server closes the link there
    long long CorruptAfterWords = -1; // malformed words from there on
};

struct ModuleConfig {
    int Slot = 1; // 1-16
    std::uint16_t Id = 0xD4D4;
    std::string Serial;
    std::uint8_t Variant = 0;
    std::string Name = "KOVA8";
    std::string FirmwareVersion = "1.07";
    double SampleRateHz = 1000.0;
    std::array<ChannelSignal, 8> Channels{};
    std::array<std::uint8_t, 1024> Eeprom{};
    std::uint32_t Seed = 1;
    ModuleFaults Faults;

    bool IsKova8() const { return Id == 0xD4D4; }
};

struct CrateConfig {
    std::string Serial;
    bool RefuseOpen = false;
    bool RefuseModuleQuery = false;
    std::vector<ModuleConfig> Modules;
};

struct ServerConfig {
    std::vector<CrateConfig> Crates;
    bool RefuseCrateList = false;
    unsigned FirmwareLoadMs = 0;
    bool Pacing = true;

    const CrateConfig *FindCrate(const std::string &serial) const;
    const ModuleConfig *FindModule(const std::string &crate, int slot) const;
};

ServerConfig ParseConfig(const nlohmann::json &json);
ServerConfig ParseConfigText(const std::string &text);
ServerConfig LoadConfigFile(const std::string &path);
// One crate with a foreign module, one with two KOVA8 (variant 0 and variant 2) whose inputs
// move a little but stay put on average.
ServerConfig DefaultConfig();

// Samples of one run of one module, word pairs in logical-channel order, frame after frame.
class SampleStream {
public:
    // channels: logical channel words; firstSample: frames the module produced before this run
    // (the signals' time goes on across runs); run: run number, which reseeds the noise.
    SampleStream(const ModuleConfig &module, const std::vector<std::uint32_t> &channels,
                 std::uint64_t firstSample, std::uint32_t run);

    std::size_t FrameWords() const { return 2 * Channels.size(); }
    std::uint64_t Samples() const { return Sample; }
    // Writes frames whole frames (FrameWords() each) to out.
    void Generate(std::uint32_t *out, std::size_t frames);
    // True when every frame is the same (no noise, no sine): frames already made can be sent
    // again, and Skip moves time on without making them.
    bool Constant() const { return AllConstant; }
    void Skip(std::size_t frames) { Sample += frames; }

private:
    struct Lane {
        int Channel = 0;
        int Range = 0;
        ChannelSignal Signal;
        bool Constant = false;
        std::uint32_t Header = 0;
        std::uint32_t ConstantCode = 0;
    };
    std::vector<Lane> Channels;
    double Rate;
    std::uint64_t Sample;
    bool AllConstant = true;
    std::mt19937_64 Noise;
    std::normal_distribution<double> Normal{0.0, 1.0};
};

// Which modules are open, by crate serial and slot; a module is open on one link at a time.
class OpenRegistry {
public:
    bool TryOpen(const std::string &crate, int slot) { return Open.emplace(crate, slot).second; }
    void Close(const std::string &crate, int slot) { Open.erase({crate, slot}); }
    bool IsOpen(const std::string &crate, int slot) const { return Open.count({crate, slot}) != 0; }

private:
    std::set<std::pair<std::string, int>> Open;
};

} // namespace crated
