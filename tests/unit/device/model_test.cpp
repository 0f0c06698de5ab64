#include "crateserver/model.h"
#include "device/kova8format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace {

using namespace crated;

TEST(Config, ReadsModulesWithDefaultsAndBothIdSpellings) {
    const ServerConfig c = ParseConfigText(R"({ "pacing": false, "firmware_load_ms": 20,
      "crates": [ { "serial": "2T000001", "modules": [
        { "slot": 2, "id": 4660 }, { "slot": 3, "id": "0xD4D4", "variant": 2,
          "channels": [ { "dc_mV": 1.5, "noise_uV": 4 } ], "faults": { "stall_after_words": 0 } },
        { "slot": 16 } ] } ] })");
    EXPECT_FALSE(c.Pacing);
    EXPECT_EQ(c.FirmwareLoadMs, 20u);
    const ModuleConfig *foreign = c.FindModule("2T000001", 2);
    ASSERT_TRUE(foreign);
    EXPECT_FALSE(foreign->IsKova8());
    const ModuleConfig *m = c.FindModule("2T000001", 3);
    ASSERT_TRUE(m);
    EXPECT_TRUE(m->IsKova8());
    EXPECT_EQ(m->Variant, 2);
    EXPECT_EQ(m->Channels[0].NoiseUv, 4.0);
    EXPECT_EQ(m->Channels[7].DcMv, 0.0) << "unlisted channels read 0 mV";
    EXPECT_EQ(m->Faults.StallAfterWords, 0);
    EXPECT_EQ(m->Faults.DropAfterWords, -1);
    const ModuleConfig *plain = c.FindModule("2T000001", 16);
    ASSERT_TRUE(plain);
    EXPECT_TRUE(plain->IsKova8()) << "id defaults to 0xD4D4";
    EXPECT_EQ(plain->Name, "KOVA8");
    EXPECT_EQ(plain->FirmwareVersion, "1.07");
    EXPECT_EQ(plain->SampleRateHz, 1000.0);
    EXPECT_FALSE(plain->Serial.empty());
    EXPECT_NE(plain->Serial, m->Serial);
    EXPECT_EQ(plain->Eeprom, kova8::DefaultEeprom(plain->Serial));
    EXPECT_FALSE(c.FindModule("2T000001", 4));
    EXPECT_FALSE(c.FindModule("2T000009", 3));
}

TEST(Config, RejectsWhatCannotBeServedAndSaysWhere) {
    struct Case {
        const char *json;
        const char *says;
    } cases[] = {
        {R"([])", "object"},
        // Too large for a double: the JSON library throws out_of_range, not a parse error.
        {R"({ "firmware_load_ms": 8E2002 })", "not valid JSON"},
        {R"({ "pacing": 1 })", "pacing"},
        // A load past the library's open time-out would fail every open.
        {R"({ "firmware_load_ms": 20001 })", "firmware_load_ms"},
        {R"({ "crates": [ {} ] })", "serial"},
        {R"({ "crates": [ { "serial": "0123456789ABCDEF" } ] })", "serial"},
        {R"({ "crates": [ { "serial": "A" }, { "serial": "A" } ] })", "twice"},
        {R"({ "crates": [ { "serial": "A", "modules": [ { "slot": 1 }, { "slot": 1 } ] } ] })",
         "taken"},
        {R"({ "crates": [ { "serial": "A", "modules": [ { "slot": 0 } ] } ] })", "slot"},
        {R"({ "crates": [ { "serial": "A", "modules": [ { "slot": 1, "id": 70000 } ] } ] })", "id"},
        {R"({ "crates": [ { "serial": "A", "modules": [ { "slot": 1, "id": "D4D4x" } ] } ] })",
         "id"},
        {R"({ "crates": [ { "serial": "A", "modules": [ { "slot": 1,
             "faults": { "refuse_strat": true } } ] } ] })",
         "refuse_strat"},
        {R"({ "crates": [ { "serial": "A", "modules": [ { "slot": 1,
             "faults": { "drop_after_words": -5 } } ] } ] })",
         "drop_after_words"},
        {R"({ "crates": [ { "serial": "A", "modules": [ { "slot": 1,
             "sample_rate_hz": 0 } ] } ] })",
         "sample_rate_hz"},
        {R"({ "crates": [ { "serial": "A", "modules": [ { "slot": 1,
             "channels": [ {}, {}, {}, {}, {}, {}, {}, {}, {} ] } ] } ] })",
         "channels"},
        {R"({ "crates": [ { "serial": "A", "modules": [ { "slot": 1,
             "eeprom": { "5.0": { "offset_codes": [1], "scale_codes": [1] } } } ] } ] })",
         "64 codes"},
        {R"({ "crates": [ { "serial": "A", "modules": [ { "slot": 1,
             "eeprom": { "3.3": {} } } ] } ] })",
         "3.3"},
    };
    for (const auto &c : cases) {
        try {
            ParseConfigText(c.json);
            ADD_FAILURE() << "accepted: " << c.json;
        } catch (const ConfigError &e) {
            EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos)
                << e.what() << " for " << c.json;
        }
    }
}

TEST(Config, EepromBlocksLandAtTheirAddressesInRecordOrder) {
    std::string offsets, scales;
    for (int k = 0; k < 64; ++k) {
        const char *comma = k ? "," : "";
        offsets += comma;
        offsets += std::to_string(1000 + k);
        scales += comma;
        scales += std::to_string(2000 + k);
    }
    const ServerConfig c = ParseConfigText(
        R"({ "crates": [ { "serial": "A", "modules": [ { "slot": 1, "serial": "8K1", "eeprom": {
           "5.0": { "offset_codes": [)" +
        offsets + R"(], "scale_codes": [)" + scales + R"(] } }
        } ] } ] })");
    const auto &e = c.FindModule("A", 1)->Eeprom;
    EXPECT_EQ(kova8::GetCode24(e.data() + 100), 1000u);
    EXPECT_EQ(kova8::GetCode24(e.data() + 100 + 6 * 63 + 3), 2063u);
    const auto defaults = kova8::DefaultEeprom("8K1");
    EXPECT_TRUE(std::equal(e.begin() + 600, e.begin() + 984, defaults.begin() + 600))
        << "the block not given keeps its derived codes";
}

TEST(Config, DefaultServesAForeignModuleAndTwoKova8Variants) {
    const ServerConfig c = DefaultConfig();
    ASSERT_EQ(c.Crates.size(), 2u);
    int kova8 = 0, foreign = 0;
    std::set<int> variants;
    for (const auto &crate : c.Crates)
        for (const auto &m : crate.Modules) {
            if (m.IsKova8()) {
                ++kova8;
                variants.insert(m.Variant);
            } else {
                ++foreign;
            }
        }
    EXPECT_EQ(kova8, 2);
    EXPECT_EQ(foreign, 1);
    EXPECT_TRUE(variants.count(0));
    EXPECT_EQ(variants.size(), 2u);
    EXPECT_TRUE(c.Pacing);
}

ModuleConfig Noisy() {
    ModuleConfig m;
    m.Serial = "8K000001";
    m.Seed = 42;
    m.Channels[0] = {1.0, 50.0, 0.5, 10.0};
    m.Channels[1] = {-90.0, 0.0, 0.0, 0.0};
    return m;
}

TEST(Stream, IsReproducibleFromItsSeedAndRunAndClipsAtTheLimits) {
    const ModuleConfig m = Noisy();
    const std::vector<std::uint32_t> channels = {kova8::MakeLChannel(1, 0, 0),
                                                 kova8::MakeLChannel(2, 3, 0)};
    SampleStream a(m, channels, 0, 0), b(m, channels, 0, 0), other(m, channels, 0, 1);
    std::vector<std::uint32_t> wa(4 * 100), wb(4 * 100), wo(4 * 100);
    a.Generate(wa.data(), 100);
    b.Generate(wb.data(), 100);
    other.Generate(wo.data(), 100);
    EXPECT_EQ(wa, wb);
    EXPECT_NE(wa, wo) << "each run draws new noise";
    EXPECT_EQ(a.Samples(), 100u);

    std::vector<double> mv(200);
    int written = 0;
    ASSERT_EQ(kova8::DecodeSamples(wa.data(), 400, mv.data(), false, &written), 200);
    double sum = 0;
    for (int f = 0; f < 100; ++f) {
        sum += mv[2 * f];
        EXPECT_DOUBLE_EQ(mv[2 * f + 1], -80.0) << "-90 mV clips at the ±80 range's limit";
    }
    EXPECT_NEAR(sum / 100, 1.0, 0.05) << "noise and a whole number of sine periods average out";
}

TEST(Registry, AModuleIsOpenOnceUntilClosed) {
    OpenRegistry r;
    EXPECT_TRUE(r.TryOpen("A", 3));
    EXPECT_FALSE(r.TryOpen("A", 3));
    EXPECT_TRUE(r.TryOpen("A", 4));
    EXPECT_TRUE(r.TryOpen("B", 3));
    r.Close("A", 3);
    EXPECT_TRUE(r.TryOpen("A", 3));
}

} // namespace
