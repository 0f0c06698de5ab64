#include "device/fakekovadevice.h"
#include "device/kova8format.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class FakeDevice : public ::testing::Test {
protected:
    FakeDevice() {
        Dev.ScriptOneModule();
        TFakeCrate empty;
        empty.Serial = "2T000000";
        TFakeModule foreign;
        foreign.Slot = 1;
        foreign.Id = 0x1234;
        empty.Modules.push_back(foreign);
        Dev.Crates.insert(Dev.Crates.begin(), empty);
    }

    int32_t Open(const char *crate = "2T000001", int32_t slot = 3) {
        Dev.KOVA8_Init(&D);
        return Dev.KOVA8_Open(&D, KOVA_SERVER_ADDRESS, KOVA_SERVER_PORT, crate, slot, "KOVA8.bio");
    }

    int32_t Configure(std::initializer_list<std::pair<int, int>> channels) {
        D.RecordSize = 1220;
        D.ReferenceVoltage = 1;
        D.LChannelCount = 0;
        for (auto [ch, range] : channels)
            D.LChannels[D.LChannelCount++] = Dev.KOVA8_CreateLChannel2(
                static_cast<uint32_t>(ch), static_cast<uint32_t>(range), 0);
        return Dev.KOVA8_SetADC(&D);
    }

    TFakeKovaDevice Dev;
    Kova8Descriptor D{};
};

TEST_F(FakeDevice, DiscoversCratesAndModulesLikeTheLibraries) {
    KovaCrateConnection c;
    Dev.KOVA_Init(&c);
    EXPECT_EQ(c.ServerAddress, KOVA_SERVER_ADDRESS);
    ASSERT_EQ(Dev.KOVA_Open(&c), 0);
    uint8_t serials[16][16] = {};
    ASSERT_EQ(Dev.KOVA_GetCrates(&c, &serials[0][0]), 0);
    EXPECT_STREQ(reinterpret_cast<char *>(serials[0]), "2T000000");
    EXPECT_STREQ(reinterpret_cast<char *>(serials[1]), "2T000001");
    EXPECT_EQ(serials[2][0], 0);
    Dev.KOVA_Close(&c);

    std::strcpy(c.CrateSerial, "2T000001");
    ASSERT_EQ(Dev.KOVA_Open(&c), 0);
    uint16_t ids[16] = {};
    ASSERT_EQ(Dev.KOVA_GetCrateModules(&c, ids), 0);
    EXPECT_EQ(ids[2], KOVA8_MODULE_ID);
    Dev.KOVA_Close(&c);

    Dev.RefuseCrateList = true;
    std::strcpy(c.CrateSerial, "");
    ASSERT_EQ(Dev.KOVA_Open(&c), 0);
    EXPECT_NE(Dev.KOVA_GetCrates(&c, &serials[0][0]), 0);
    EXPECT_EQ(Dev.CallCount("KOVA_GetCrates"), 2);
}

TEST_F(FakeDevice, OpenFillsIdentityAndRefusesForeignOrRefusingModules) {
    ASSERT_EQ(Open(), 0);
    EXPECT_EQ(Dev.KOVA8_IsOpened(&D), 0);
    EXPECT_STREQ(D.SerialNumber, "8K000123");
    EXPECT_STREQ(D.ModuleName, "KOVA8");
    EXPECT_EQ(Dev.LastOpenSlot, 3);
    EXPECT_EQ(Dev.LastOpenFirmware, "KOVA8.bio");
    Dev.KOVA8_Close(&D);
    EXPECT_NE(Dev.KOVA8_IsOpened(&D), 0);
    EXPECT_NE(Open("2T000000", 1), 0) << "foreign module";
    Dev.Crates[1].Modules[0].RefuseOpen = true;
    EXPECT_NE(Open(), 0);
}

TEST_F(FakeDevice, StreamsConfiguredChannelsThatProcessDataConverts) {
    Dev.Crates[1].Modules[0].InputMv = {0, 2.5, 0, -40.0, 0, 0, 0, 0};
    ASSERT_EQ(Open(), 0);
    ASSERT_EQ(Configure({{2, 0}, {4, 1}}), 0);
    EXPECT_EQ(D.ChannelRate, 1000.0);
    ASSERT_EQ(Dev.KOVA8_Start(&D), 0);
    uint32_t words[8];
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(Dev.KOVA8_Recv(&D, words + 4 * i, nullptr, 4, 5000), 4);
    double v[4];
    int32_t count = 8;
    ASSERT_EQ(Dev.KOVA8_ProcessData(&D, words, v, &count, 1), 0);
    ASSERT_EQ(count, 4);
    EXPECT_NEAR(v[0], 0.0025, 1e-9);
    EXPECT_NEAR(v[1], -0.020, 1e-9) << "clipped at the ±20 mV range";
    EXPECT_NEAR(v[2], 0.0025, 1e-9);
    EXPECT_EQ(Dev.KOVA8_Stop(&D), 0);
    EXPECT_LT(Dev.KOVA8_Recv(&D, words, nullptr, 4, 5000), 0) << "not running";
}

TEST_F(FakeDevice, ScriptedFaultsShowWhereTheMeasurementLooks) {
    TFakeModule &m = Dev.Crates[1].Modules[0];
    ASSERT_EQ(Open(), 0);
    ASSERT_EQ(Configure({{1, 0}}), 0);
    uint32_t words[4];

    m.StallAfterWords = 3;
    ASSERT_EQ(Dev.KOVA8_Start(&D), 0);
    EXPECT_EQ(Dev.KOVA8_Recv(&D, words, nullptr, 4, 5000), 3) << "short receive";
    EXPECT_EQ(Dev.KOVA8_Recv(&D, words, nullptr, 4, 5000), 0);
    Dev.KOVA8_Stop(&D);
    m.StallAfterWords = -1;

    m.DropAfterWords = 2;
    ASSERT_EQ(Dev.KOVA8_Start(&D), 0);
    EXPECT_EQ(Dev.KOVA8_Recv(&D, words, nullptr, 2, 5000), 2);
    EXPECT_LT(Dev.KOVA8_Recv(&D, words, nullptr, 2, 5000), 0);
    Dev.KOVA8_Stop(&D);
    m.DropAfterWords = -1;

    m.CorruptAfterWords = 2;
    ASSERT_EQ(Dev.KOVA8_Start(&D), 0);
    ASSERT_EQ(Dev.KOVA8_Recv(&D, words, nullptr, 4, 5000), 4);
    double v[2];
    int32_t count = 4;
    EXPECT_NE(Dev.KOVA8_ProcessData(&D, words, v, &count, 1), 0);
    Dev.KOVA8_Stop(&D);

    m.RefuseStop = true;
    EXPECT_NE(Dev.KOVA8_Stop(&D), 0);
    m.RefuseStart = true;
    EXPECT_NE(Dev.KOVA8_Start(&D), 0);
    m.RefuseSetAdc = true;
    EXPECT_NE(Configure({{1, 0}}), 0);
}

TEST_F(FakeDevice, EepromServesSerialDerivedOrScriptedBytes) {
    ASSERT_EQ(Open(), 0);
    uint8_t block[385] = {};
    ASSERT_EQ(Dev.KOVA8_ReadEeprom(&D, 600, block, 384), 0);
    EXPECT_EQ(Dev.LastEepromAddress, 600);
    const auto image = kova8::DefaultEeprom("8K000123");
    EXPECT_EQ(std::memcmp(block, image.data() + 600, 384), 0);
    EXPECT_EQ(block[384], 0);

    TFakeModule &m = Dev.Crates[1].Modules[0];
    m.UseDefaultEeprom = false;
    m.Eeprom[100] = 0x42;
    ASSERT_EQ(Dev.KOVA8_ReadEeprom(&D, 100, block, 384), 0);
    EXPECT_EQ(block[0], 0x42);
    EXPECT_NE(Dev.KOVA8_ReadEeprom(&D, 700, block, 384), 0) << "beyond the EEPROM";
    m.EepromFail = true;
    EXPECT_NE(Dev.KOVA8_ReadEeprom(&D, 100, block, 384), 0);
}

} // namespace
