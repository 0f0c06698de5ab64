// The factory coefficient tables after a discovery against a live kova-crated
// whose modules carry explicit EEPROM codes.

#include "settings/inifile.h"
#include "settings/settingskeys.h"
#include "tests/support/windowagainstserver.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

// Codes of record k: distinct per block, so a read of the wrong block shows.
int OffsetCode(int block, int k) {
    return 8388608 + (block == 0 ? -1 : 1) * (1000 + 37 * k);
}
int ScaleCode(int block, int k) {
    return 5848298 + (block == 0 ? 500 : -500) + 11 * k;
}

std::string CodeList(int block, int (*code)(int, int)) {
    std::string out = "[";
    for (int k = 0; k < 64; ++k) {
        if (k)
            out += ',';
        out += std::to_string(code(block, k));
    }
    return out + "]";
}

std::string Blocks() {
    std::string out = "{";
    const char *names[2] = {"\"2.5\"", "\"5.0\""};
    for (int block = 0; block < 2; ++block) {
        out += std::string(block ? "," : "") + names[block] +
               ": { \"offset_codes\": " + CodeList(block, OffsetCode) +
               ", \"scale_codes\": " + CodeList(block, ScaleCode) + " }";
    }
    return out + "}";
}

std::string World(int variant) {
    return R"({ "pacing": false, "crates": [ { "serial": "2T000002", "modules": [
        { "slot": 7, "serial": "8K000457", "variant": )" +
           std::to_string(variant) + R"(, "eeprom": )" + Blocks() + " } ] } ] }";
}

using CoefsE2E = TWindowAgainstServer<::testing::TestWithParam<int>>;

// The settings ask for the 2.5 V reference: variant 2 reads that block,
// variant 0, which has the 5.0 V reference only, reads the 5.0 V block.
TEST_P(CoefsE2E, FactoryAndWorkingTablesHoldTheModulesCodes) {
    const int variant = GetParam();
    {
        TIniFile ini(settings::SettingsFilePath());
        ASSERT_TRUE(ini.WriteInteger(settings::kModuleSection, settings::kReferenceVoltageKey, 0));
    }
    server = std::make_unique<kovatest::TCrateServerProcess>(World(variant), KOVA_SERVER_PORT);
    form = std::make_unique<TMainForm>();
    form->show();
    ASSERT_TRUE(StartedUp());
    ASSERT_TRUE(RunEnded());
    ASSERT_EQ(form->ModuleState, 2);
    EXPECT_EQ(dialogs.Count(), 0u);

    const int reference = variant == 0 ? 1 : 0;
    ASSERT_EQ(form->RefVoltageForClbCoeffsLMDComboBox->currentIndex(), reference);
    if (variant == 0) {
        EXPECT_FALSE(form->RefVoltageForClbCoeffsLMDComboBox->isEnabled());
    }
    for (int k = 0; k < 64; ++k) {
        const int code = k / 8;
        const int channel = k % 8;
        const TCorrectionCoefsEntry &e =
            form->FactoryCoefs.Entries[reference][RangeIndexFromModuleCode(code)][channel];
        EXPECT_EQ(e.OffsetCode, OffsetCode(reference, k)) << k;
        EXPECT_EQ(e.ScaleCode, ScaleCode(reference, k)) << k;
        EXPECT_EQ(e.Offset, OffsetFromCode(OffsetCode(reference, k), code)) << k;
        EXPECT_EQ(e.Scale, ScaleFromCode(ScaleCode(reference, k))) << k;
        const TCorrectionCoefsEntry &other =
            form->FactoryCoefs.Entries[1 - reference][RangeIndexFromModuleCode(code)][channel];
        EXPECT_EQ(other.OffsetCode, 0) << k;
        EXPECT_EQ(other.Offset, 0.0) << k;
    }
    EXPECT_EQ(std::memcmp(&form->WorkingCoefs, &form->FactoryCoefs, sizeof(TCorrectionCoefsTable)),
              0);
}

INSTANTIATE_TEST_SUITE_P(Variants, CoefsE2E, ::testing::Values(0, 2));

} // namespace
