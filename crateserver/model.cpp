#include "crateserver/model.h"

#include "device/kova8format.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <sstream>

namespace crated {

using nlohmann::json;

namespace {

[[noreturn]] void Fail(const std::string &where, const std::string &what) {
    throw ConfigError(where + ": " + what);
}

void CheckKeys(const json &object, const std::string &where,
               std::initializer_list<const char *> allowed) {
    if (!object.is_object())
        Fail(where, "must be an object");
    for (const auto &item : object.items()) {
        bool known = false;
        for (const char *key : allowed)
            known = known || item.key() == key;
        if (!known)
            Fail(where, "unknown key \"" + item.key() + "\"");
    }
}

bool Bool(const json &object, const char *key, const std::string &where, bool fallback) {
    if (!object.contains(key))
        return fallback;
    if (!object[key].is_boolean())
        Fail(where + "." + key, "must be true or false");
    return object[key].get<bool>();
}

double Number(const json &object, const char *key, const std::string &where, double fallback,
              double low, double high) {
    if (!object.contains(key))
        return fallback;
    const json &v = object[key];
    if (!v.is_number())
        Fail(where + "." + key, "must be a number");
    const double d = v.get<double>();
    if (!(d >= low && d <= high))
        Fail(where + "." + key, "out of range");
    return d;
}

long long Integer(const json &object, const char *key, const std::string &where, long long fallback,
                  long long low, long long high) {
    if (!object.contains(key))
        return fallback;
    const json &v = object[key];
    if (!v.is_number_integer())
        Fail(where + "." + key, "must be an integer");
    const long long i = v.get<long long>();
    if (i < low || i > high)
        Fail(where + "." + key, "out of range");
    return i;
}

std::string Text(const json &object, const char *key, const std::string &where,
                 const std::string &fallback, std::size_t maxLength) {
    if (!object.contains(key))
        return fallback;
    if (!object[key].is_string())
        Fail(where + "." + key, "must be a string");
    const std::string s = object[key].get<std::string>();
    if (s.empty() || s.size() > maxLength)
        Fail(where + "." + key, "must have 1 to " + std::to_string(maxLength) + " characters");
    return s;
}

std::uint16_t ModuleId(const json &module, const std::string &where) {
    if (!module.contains("id"))
        return 0xD4D4;
    const json &v = module["id"];
    if (v.is_number_integer()) {
        const long long i = v.get<long long>();
        if (i < 0 || i > 0xFFFF)
            Fail(where + ".id", "out of range");
        return static_cast<std::uint16_t>(i);
    }
    if (v.is_string()) {
        const std::string s = v.get<std::string>();
        std::size_t used = 0;
        unsigned long i = 0;
        try {
            i = std::stoul(s, &used, 0);
        } catch (const std::exception &) {
            used = 0;
        }
        if (used == 0 || used != s.size() || i > 0xFFFF)
            Fail(where + ".id", "\"" + s + "\" is not a module identifier");
        return static_cast<std::uint16_t>(i);
    }
    Fail(where + ".id", "must be a number or a string such as \"0xD4D4\"");
}

void ParseBlock(const json &eeprom, const char *key, std::uint16_t base, const std::string &where,
                std::array<std::uint8_t, 1024> &image) {
    if (!eeprom.contains(key))
        return;
    const std::string at = where + ".\"" + key + "\"";
    const json &block = eeprom[key];
    CheckKeys(block, at, {"offset_codes", "scale_codes"});
    for (const char *list : {"offset_codes", "scale_codes"}) {
        if (!block.contains(list) || !block[list].is_array() || block[list].size() != 64)
            Fail(at + "." + list, "must list 64 codes");
        for (const auto &code : block[list])
            if (!code.is_number_integer() || code.get<long long>() < 0 ||
                code.get<long long>() > 0xFFFFFF)
                Fail(at + "." + list, "codes must be integers 0 to 16777215");
    }
    for (int k = 0; k < 64; ++k)
        kova8::PutRecord(image.data() + base, k, block["offset_codes"][k].get<std::uint32_t>(),
                         block["scale_codes"][k].get<std::uint32_t>());
}

ModuleConfig ParseModule(const json &m, const std::string &where, const std::string &crateSerial) {
    CheckKeys(m, where,
              {"slot", "id", "serial", "variant", "name", "firmware_version", "sample_rate_hz",
               "channels", "eeprom", "faults", "seed"});
    ModuleConfig mc;
    if (!m.contains("slot"))
        Fail(where, "needs a \"slot\" (1 to 16)");
    mc.Slot = static_cast<int>(Integer(m, "slot", where, 0, 1, 16));
    mc.Id = ModuleId(m, where);
    char fallback[16];
    std::snprintf(fallback, sizeof fallback, "8K%06u",
                  kova8::Fnv1a(crateSerial + "/" + std::to_string(mc.Slot)) % 1000000u);
    mc.Serial = Text(m, "serial", where, fallback, 23);
    mc.Variant = static_cast<std::uint8_t>(Integer(m, "variant", where, 0, 0, 255));
    mc.Name = Text(m, "name", where, "KOVA8", 14);
    mc.FirmwareVersion = Text(m, "firmware_version", where, "1.07", 31);
    mc.SampleRateHz = Number(m, "sample_rate_hz", where, 1000.0, 1.0, 1.0e6);
    mc.Seed = static_cast<std::uint32_t>(
        Integer(m, "seed", where, kova8::Fnv1a(mc.Serial), 0, 0xFFFFFFFFll));
    if (m.contains("channels")) {
        const json &channels = m["channels"];
        if (!channels.is_array() || channels.size() > 8)
            Fail(where + ".channels", "must be a list of at most 8 channels");
        for (std::size_t i = 0; i < channels.size(); ++i) {
            const std::string at = where + ".channels[" + std::to_string(i) + "]";
            const json &c = channels[i];
            CheckKeys(c, at, {"dc_mV", "noise_uV", "sine_mV", "sine_hz"});
            ChannelSignal &s = mc.Channels[i];
            s.DcMv = Number(c, "dc_mV", at, 0.0, -1.0e6, 1.0e6);
            s.NoiseUv = Number(c, "noise_uV", at, 0.0, 0.0, 1.0e9);
            s.SineMv = Number(c, "sine_mV", at, 0.0, -1.0e6, 1.0e6);
            s.SineHz = Number(c, "sine_hz", at, 0.0, 0.0, 1.0e6);
        }
    }
    mc.Eeprom = kova8::DefaultEeprom(mc.Serial);
    if (m.contains("eeprom")) {
        const json &e = m["eeprom"];
        CheckKeys(e, where + ".eeprom", {"5.0", "2.5"});
        ParseBlock(e, "5.0", kova8::kBlock5V, where + ".eeprom", mc.Eeprom);
        ParseBlock(e, "2.5", kova8::kBlock2V5, where + ".eeprom", mc.Eeprom);
    }
    if (m.contains("faults")) {
        const json &f = m["faults"];
        const std::string at = where + ".faults";
        CheckKeys(f, at,
                  {"refuse_open", "refuse_set_adc", "refuse_start", "refuse_stop",
                   "stall_after_words", "drop_after_words", "corrupt_after_words", "eeprom_fail"});
        ModuleFaults &mf = mc.Faults;
        mf.RefuseOpen = Bool(f, "refuse_open", at, false);
        mf.RefuseSetAdc = Bool(f, "refuse_set_adc", at, false);
        mf.RefuseStart = Bool(f, "refuse_start", at, false);
        mf.RefuseStop = Bool(f, "refuse_stop", at, false);
        mf.EepromFail = Bool(f, "eeprom_fail", at, false);
        constexpr long long kMax = 1ll << 50;
        mf.StallAfterWords = Integer(f, "stall_after_words", at, -1, 0, kMax);
        mf.DropAfterWords = Integer(f, "drop_after_words", at, -1, 0, kMax);
        mf.CorruptAfterWords = Integer(f, "corrupt_after_words", at, -1, 0, kMax);
    }
    return mc;
}

} // namespace

const CrateConfig *ServerConfig::FindCrate(const std::string &serial) const {
    for (const auto &c : Crates)
        if (c.Serial == serial)
            return &c;
    return nullptr;
}

const ModuleConfig *ServerConfig::FindModule(const std::string &crate, int slot) const {
    const CrateConfig *c = FindCrate(crate);
    if (!c)
        return nullptr;
    for (const auto &m : c->Modules)
        if (m.Slot == slot)
            return &m;
    return nullptr;
}

ServerConfig ParseConfig(const json &root) {
    CheckKeys(root, "configuration", {"crates", "refuse_crate_list", "firmware_load_ms", "pacing"});
    ServerConfig sc;
    sc.RefuseCrateList = Bool(root, "refuse_crate_list", "configuration", false);
    // Well inside the library's 30 s open time-out: a longer load would make
    // every open fail, which is better said at start.
    sc.FirmwareLoadMs =
        static_cast<unsigned>(Integer(root, "firmware_load_ms", "configuration", 0, 0, 20000));
    sc.Pacing = Bool(root, "pacing", "configuration", true);
    if (root.contains("crates")) {
        const json &crates = root["crates"];
        if (!crates.is_array() || crates.size() > 16)
            Fail("crates", "must be a list of at most 16 crates");
        for (std::size_t i = 0; i < crates.size(); ++i) {
            const std::string where = "crates[" + std::to_string(i) + "]";
            const json &c = crates[i];
            CheckKeys(c, where, {"serial", "refuse_open", "refuse_module_query", "modules"});
            CrateConfig cc;
            if (!c.contains("serial"))
                Fail(where, "needs a \"serial\"");
            cc.Serial = Text(c, "serial", where, "", 15);
            if (sc.FindCrate(cc.Serial))
                Fail(where + ".serial", "\"" + cc.Serial + "\" is listed twice");
            cc.RefuseOpen = Bool(c, "refuse_open", where, false);
            cc.RefuseModuleQuery = Bool(c, "refuse_module_query", where, false);
            if (c.contains("modules")) {
                const json &modules = c["modules"];
                if (!modules.is_array() || modules.size() > 16)
                    Fail(where + ".modules", "must be a list of at most 16 modules");
                for (std::size_t j = 0; j < modules.size(); ++j) {
                    const std::string at = where + ".modules[" + std::to_string(j) + "]";
                    ModuleConfig mc = ParseModule(modules[j], at, cc.Serial);
                    for (const auto &other : cc.Modules)
                        if (other.Slot == mc.Slot)
                            Fail(at + ".slot", "slot " + std::to_string(mc.Slot) + " is taken");
                    cc.Modules.push_back(std::move(mc));
                }
            }
            sc.Crates.push_back(std::move(cc));
        }
    }
    return sc;
}

ServerConfig ParseConfigText(const std::string &text) {
    json root;
    try {
        root = json::parse(text);
    } catch (const json::exception &e) {
        // Not only syntax: a number too large for a double is out_of_range, and any escape
        // of the library's exceptions would end the server instead of refusing the file.
        throw ConfigError(std::string("not valid JSON: ") + e.what());
    }
    return ParseConfig(root);
}

ServerConfig LoadConfigFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw ConfigError(path + ": cannot be read");
    std::ostringstream text;
    text << in.rdbuf();
    try {
        return ParseConfigText(text.str());
    } catch (const ConfigError &e) {
        throw ConfigError(path + ": " + e.what());
    }
}

ServerConfig DefaultConfig() {
    return ParseConfigText(R"({
  "crates": [
    { "serial": "2T000001", "modules": [ { "slot": 2, "id": 4660 } ] },
    { "serial": "2T000002", "modules": [
      { "slot": 3, "serial": "8K000123", "variant": 0, "sample_rate_hz": 1000,
        "channels": [
          { "dc_mV": 1.5, "noise_uV": 3, "sine_mV": 0.02, "sine_hz": 0.1 },
          { "dc_mV": -3.25, "noise_uV": 3, "sine_mV": 0.05, "sine_hz": 0.05 },
          { "dc_mV": 7.5, "noise_uV": 5, "sine_mV": 0.1, "sine_hz": 0.2 },
          { "dc_mV": 0.125, "noise_uV": 2 },
          { "dc_mV": 15.0, "noise_uV": 5, "sine_mV": 0.2, "sine_hz": 0.03 },
          { "dc_mV": -27.5, "noise_uV": 8 },
          { "dc_mV": 36.0, "noise_uV": 10, "sine_mV": 0.5, "sine_hz": 0.07 },
          { "dc_mV": 65.0, "noise_uV": 10 } ] },
      { "slot": 7, "serial": "8K000457", "variant": 2, "sample_rate_hz": 1000,
        "channels": [
          { "dc_mV": 5.0, "noise_uV": 2 },
          { "dc_mV": 9.0, "noise_uV": 2, "sine_mV": 0.5, "sine_hz": 0.1 },
          { "dc_mV": -9.0, "noise_uV": 2 },
          { "dc_mV": 19.5, "noise_uV": 4 },
          { "dc_mV": 0.0, "noise_uV": 1 },
          { "dc_mV": 39.0, "noise_uV": 6, "sine_mV": 1.0, "sine_hz": 0.02 },
          { "dc_mV": -79.0, "noise_uV": 10 },
          { "dc_mV": 100.0 } ] } ] }
  ]
})");
}

SampleStream::SampleStream(const ModuleConfig &module, const std::vector<std::uint32_t> &channels,
                           std::uint64_t firstSample, std::uint32_t run)
    : Rate(module.SampleRateHz), Sample(firstSample),
      Noise((static_cast<std::uint64_t>(module.Seed) << 32) | run) {
    for (std::uint32_t word : channels) {
        Lane lane;
        lane.Channel = kova8::LChannelIndex(word);
        lane.Range = kova8::LChannelRange(word);
        lane.Signal = module.Channels[static_cast<std::size_t>(lane.Channel)];
        lane.Header = kova8::SampleHeader(lane.Channel, lane.Range);
        lane.Constant =
            lane.Signal.NoiseUv == 0.0 && (lane.Signal.SineMv == 0.0 || lane.Signal.SineHz == 0.0);
        lane.ConstantCode =
            kova8::SampleCodeWord(lane.Header, kova8::CodeFromMv(lane.Range, lane.Signal.DcMv));
        AllConstant = AllConstant && lane.Constant;
        Channels.push_back(lane);
    }
}

void SampleStream::Generate(std::uint32_t *out, std::size_t frames) {
    for (std::size_t f = 0; f < frames; ++f, ++Sample) {
        const double t = static_cast<double>(Sample) / Rate;
        for (const Lane &lane : Channels) {
            *out++ = lane.Header;
            if (lane.Constant) {
                *out++ = lane.ConstantCode;
                continue;
            }
            const ChannelSignal &s = lane.Signal;
            double mv = s.DcMv;
            if (s.SineMv != 0.0 && s.SineHz != 0.0)
                mv += s.SineMv * std::sin(2.0 * std::numbers::pi * s.SineHz * t);
            if (s.NoiseUv != 0.0)
                mv += s.NoiseUv * 1.0e-3 * Normal(Noise);
            *out++ = kova8::SampleCodeWord(lane.Header, kova8::CodeFromMv(lane.Range, mv));
        }
    }
}

} // namespace crated
