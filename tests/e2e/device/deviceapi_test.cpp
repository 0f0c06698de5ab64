// The crate and module libraries against a live kova-crated.
#include "device/kova8api.h"
#include "device/kova8format.h"
#include "device/kovaapi.h"
#include "tests/support/crateserverprocess.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

using kovatest::BinDir;
using kovatest::TCrateServerProcess;

namespace {

using Clock = std::chrono::steady_clock;

// Two crates: a foreign module and a variant-0 KOVA8 in the first, a variant-2 KOVA8 in the
// second; faults go into the first KOVA8's "faults" object.
std::string World(const std::string &faults = "{}", const std::string &extra = "") {
    return R"({ "pacing": false, )" + extra + R"( "crates": [
      { "serial": "2T000001", "modules": [
          { "slot": 2, "id": 4660 },
          { "slot": 3, "id": "0xD4D4", "serial": "8K000123", "variant": 0,
            "firmware_version": "1.07", "sample_rate_hz": 1000,
            "channels": [ { "dc_mV": 1.5 }, { "dc_mV": -7.25 }, { "dc_mV": 100 },
                          { "dc_mV": -5 } ],
            "faults": )" +
           faults + R"( } ] },
      { "serial": "2T000002", "modules": [
          { "slot": 7, "serial": "8K000457", "variant": 2, "sample_rate_hz": 500 } ] } ] })";
}

std::string Firmware() {
    return BinDir() + "/KOVA8.bio";
}

class DeviceApi : public ::testing::Test {
protected:
    void StartServer(const std::string &json) {
        Server = std::make_unique<TCrateServerProcess>(json);
    }

    KovaCrateConnection Crate(const char *serial = "") {
        KovaCrateConnection c;
        EXPECT_EQ(KOVA_Init(&c), 0);
        c.ServerPort = Server->Port();
        std::strncpy(c.CrateSerial, serial, 15);
        return c;
    }

    int32_t Open(Kova8Descriptor &d, const char *crate = "2T000001", int32_t slot = 3,
                 const std::string &firmware = Firmware()) {
        KOVA8_Init(&d);
        return KOVA8_Open(&d, KOVA_SERVER_ADDRESS, Server->Port(), crate, slot, firmware.c_str());
    }

    // Configures the given (channel 1-8, range code) pairs on an open module.
    static int32_t Configure(Kova8Descriptor &d, std::vector<std::pair<int, int>> channels,
                             uint32_t reference = 1) {
        d.RecordSize = 1220;
        d.AcquisitionMode = 2;
        d.Switch1 = 0;
        d.Switch2 = 1;
        d.ReferenceVoltage = reference;
        d.Reserved92 = 0;
        d.LChannelCount = static_cast<uint32_t>(channels.size());
        // More than 8 only raise the count: the record holds 8 words.
        for (std::size_t i = 0; i < channels.size() && i < 8; ++i)
            d.LChannels[i] = KOVA8_CreateLChannel2(static_cast<uint32_t>(channels[i].first),
                                                   static_cast<uint32_t>(channels[i].second), 0);
        return KOVA8_SetADC(&d);
    }

    // One-frame receives, as the measurement does, until words arrive or something fails.
    static int32_t ReceiveFrames(Kova8Descriptor &d, std::vector<uint32_t> &words,
                                 uint32_t frameWords, uint32_t timeoutMs = 5000) {
        uint32_t got = 0;
        while (got < words.size()) {
            const int32_t r = KOVA8_Recv(&d, words.data() + got, nullptr, frameWords, timeoutMs);
            if (r <= 0)
                return got > 0 ? static_cast<int32_t>(got) : r;
            got += static_cast<uint32_t>(r);
        }
        return static_cast<int32_t>(got);
    }

    std::unique_ptr<TCrateServerProcess> Server;
};

TEST_F(DeviceApi, ListsCratesAndModuleIdentifiersThroughTheRecordsAddressAndPort) {
    StartServer(World());
    KovaCrateConnection c = Crate();
    EXPECT_EQ(c.ServerAddress, 0x7F000001u);
    ASSERT_EQ(KOVA_Open(&c), 0);
    uint8_t serials[16][16] = {};
    ASSERT_EQ(KOVA_GetCrates(&c, &serials[0][0]), 0);
    EXPECT_STREQ(reinterpret_cast<char *>(serials[0]), "2T000001");
    EXPECT_STREQ(reinterpret_cast<char *>(serials[1]), "2T000002");
    EXPECT_EQ(serials[2][0], 0);
    EXPECT_EQ(KOVA_Close(&c), 0);

    KovaCrateConnection one = Crate("2T000001");
    ASSERT_EQ(KOVA_Open(&one), 0);
    uint16_t ids[16];
    std::fill(std::begin(ids), std::end(ids), 0xFFFF);
    ASSERT_EQ(KOVA_GetCrateModules(&one, ids), 0);
    EXPECT_EQ(ids[1], 4660);
    EXPECT_EQ(ids[2], 0xD4D4);
    EXPECT_EQ(ids[0], 0);
    EXPECT_EQ(ids[15], 0);
    KOVA_Close(&one);

    // The default port is the record's unless the caller points it elsewhere.
    KovaCrateConnection stray = Crate();
    stray.ServerPort = kovatest::FreePort();
    EXPECT_NE(KOVA_Open(&stray), 0);
}

TEST_F(DeviceApi, CrateRefusalsFailTheirOperation) {
    StartServer(R"({ "refuse_crate_list": true, "crates": [
        { "serial": "2T000001", "refuse_open": true },
        { "serial": "2T000002", "refuse_module_query": true } ] })");
    KovaCrateConnection list = Crate();
    ASSERT_EQ(KOVA_Open(&list), 0);
    uint8_t serials[256] = {};
    EXPECT_NE(KOVA_GetCrates(&list, serials), 0);
    EXPECT_NE(KOVA_GetCrateModules(&list, reinterpret_cast<uint16_t *>(serials)), 0);
    KOVA_Close(&list);

    KovaCrateConnection refused = Crate("2T000001");
    EXPECT_NE(KOVA_Open(&refused), 0);
    KovaCrateConnection unknown = Crate("2T999999");
    EXPECT_NE(KOVA_Open(&unknown), 0);

    KovaCrateConnection query = Crate("2T000002");
    ASSERT_EQ(KOVA_Open(&query), 0);
    uint16_t ids[16];
    EXPECT_NE(KOVA_GetCrateModules(&query, ids), 0);
    KOVA_Close(&query);
    EXPECT_NE(KOVA_Close(&query), 0) << "a closed record is not closed twice";
}

TEST_F(DeviceApi, OpenFillsIdentityAndOneLinkHoldsAModuleAtATime) {
    StartServer(World());
    Kova8Descriptor d;
    EXPECT_NE(KOVA8_IsOpened((KOVA8_Init(&d), &d)), 0);
    ASSERT_EQ(Open(d), 0);
    EXPECT_EQ(KOVA8_IsOpened(&d), 0);
    EXPECT_STREQ(d.ModuleName, "KOVA8");
    EXPECT_EQ(d.Variant, 0);
    EXPECT_STREQ(d.SerialNumber, "8K000123");
    EXPECT_STREQ(d.FirmwareVersion, "1.07");

    Kova8Descriptor second;
    EXPECT_NE(Open(second), 0) << "the module is open on another link";
    EXPECT_NE(KOVA8_IsOpened(&second), 0);
    EXPECT_NE(
        KOVA8_Open(&d, KOVA_SERVER_ADDRESS, Server->Port(), "2T000001", 3, Firmware().c_str()), 0)
        << "an open descriptor is not opened over";

    EXPECT_EQ(KOVA8_Close(&d), 0);
    EXPECT_NE(KOVA8_IsOpened(&d), 0);
    ASSERT_EQ(Open(second), 0);
    EXPECT_EQ(second.Variant, 0);

    Kova8Descriptor other;
    ASSERT_EQ(Open(other, "2T000002", 7), 0);
    EXPECT_EQ(other.Variant, 2);
    EXPECT_STREQ(other.SerialNumber, "8K000457");
    KOVA8_Close(&other);
    KOVA8_Close(&second);
}

TEST_F(DeviceApi, ModuleIsFreeAgainWhenItsLinkIsGone) {
    StartServer(World());
    // A holder process opens the module, reports through a pipe and dies without closing.
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        Kova8Descriptor d;
        KOVA8_Init(&d);
        const char rc = KOVA8_Open(&d, KOVA_SERVER_ADDRESS, Server->Port(), "2T000001", 3,
                                   Firmware().c_str()) == 0
                            ? 'y'
                            : 'n';
        if (write(ready[1], &rc, 1) != 1)
            _exit(1);
        pause();
        _exit(0);
    }
    close(ready[1]);
    pollfd p{ready[0], POLLIN, 0};
    char rc = 0;
    ASSERT_EQ(poll(&p, 1, 10000), 1);
    ASSERT_EQ(read(ready[0], &rc, 1), 1);
    close(ready[0]);
    ASSERT_EQ(rc, 'y');
    Kova8Descriptor d;
    EXPECT_NE(Open(d), 0) << "held by the other process";
    kill(holder, SIGKILL);
    int status;
    waitpid(holder, &status, 0);
    bool opened = false;
    const auto end = Clock::now() + std::chrono::seconds(10);
    while (!opened && Clock::now() < end) {
        opened = Open(d) == 0;
        if (!opened)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(opened);
    KOVA8_Close(&d);
}

// The server's memory of a process, in kB; 0 when it cannot be read.
long ResidentKb(pid_t pid) {
    std::FILE *f = std::fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "r");
    if (!f)
        return 0;
    char line[256];
    long kb = 0;
    while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "VmRSS: %ld kB", &kb) == 1)
            break;
    std::fclose(f);
    return kb;
}

// A client that starts an unpaced stream and never reads: the server neither
// piles the stream up in memory nor keeps the module for that link for ever.
TEST_F(DeviceApi, ClientThatStopsReadingIsCutOffWithBoundedMemory) {
    StartServer(World());
    Kova8Descriptor reader;
    ASSERT_EQ(Open(reader), 0);
    ASSERT_EQ(Configure(reader, {{1, 0}, {2, 1}, {3, 2}, {4, 3}, {5, 4}, {6, 5}, {7, 6}, {8, 7}}),
              0);
    const long before = ResidentKb(Server->Pid());
    ASSERT_EQ(KOVA8_Start(&reader), 0);

    Kova8Descriptor other;
    long peak = 0;
    bool freed = false;
    const auto end = Clock::now() + std::chrono::seconds(30);
    while (!freed && Clock::now() < end) {
        peak = std::max(peak, ResidentKb(Server->Pid()));
        freed = Open(other) == 0;
        if (!freed)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(freed) << "the stalled link still holds the module";
    EXPECT_LT(peak - before, 64 * 1024) << "kB the server grew by while the reader stalled";
    KOVA8_Close(&other);
    KOVA8_Close(&reader);
}

TEST_F(DeviceApi, OpenFailsForEveryUnusableTargetOrImage) {
    StartServer(World(R"({ "refuse_open": false })"));
    const std::string dir = ::testing::TempDir();
    const std::string corrupt = dir + "/corrupt.bio";
    const std::string empty = dir + "/empty.bio";
    {
        std::ifstream in(Firmware(), std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
        ASSERT_GT(bytes.size(), 100u);
        bytes[100] = static_cast<char>(bytes[100] ^ 0x01);
        std::ofstream(corrupt, std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        std::ofstream(empty, std::ios::binary);
    }
    struct Case {
        const char *what;
        const char *crate;
        int32_t slot;
        std::string firmware;
    } cases[] = {
        {"missing firmware", "2T000001", 3, dir + "/none.bio"},
        {"corrupt firmware", "2T000001", 3, corrupt},
        {"empty firmware", "2T000001", 3, empty},
        {"firmware is a folder", "2T000001", 3, dir},
        {"foreign module", "2T000001", 2, Firmware()},
        {"empty slot", "2T000001", 4, Firmware()},
        {"slot 0", "2T000001", 0, Firmware()},
        {"slot 17", "2T000001", 17, Firmware()},
        {"unknown crate", "2T000009", 3, Firmware()},
        {"serial of 16 characters", "2T00000100000000", 3, Firmware()},
    };
    for (const auto &c : cases) {
        Kova8Descriptor d;
        EXPECT_NE(Open(d, c.crate, c.slot, c.firmware), 0) << c.what;
        EXPECT_NE(KOVA8_IsOpened(&d), 0) << c.what;
    }
    Kova8Descriptor d;
    EXPECT_EQ(Open(d), 0) << "a failed open leaves the module free";
    KOVA8_Close(&d);
}

TEST_F(DeviceApi, RefusedOpenFails) {
    StartServer(World(R"({ "refuse_open": true })"));
    Kova8Descriptor d;
    EXPECT_NE(Open(d), 0);
    EXPECT_EQ(Open(d, "2T000002", 7), 0);
    KOVA8_Close(&d);
}

TEST_F(DeviceApi, SetAdcRejectsWhatItCannotRunAndFillsTheRate) {
    StartServer(World());
    Kova8Descriptor d;
    ASSERT_EQ(Open(d), 0);
    struct Case {
        const char *what;
        std::vector<std::pair<int, int>> channels;
        uint32_t reference;
    } cases[] = {
        {"no channels", {}, 1},
        {"nine channels",
         {{1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}, {7, 0}, {8, 0}, {1, 1}},
         1},
        {"channel 9", {{9, 0}}, 1},
        {"range code 8", {{1, 8}}, 1},
        {"same channel twice", {{2, 0}, {2, 3}}, 1},
        {"2.5 V on a variant-0 module", {{1, 0}}, 0},
        {"reference 2", {{1, 0}}, 2},
    };
    for (const auto &c : cases) {
        d.ChannelRate = -1;
        EXPECT_NE(Configure(d, c.channels, c.reference), 0) << c.what;
        EXPECT_EQ(d.ChannelRate, -1) << c.what;
    }
    ASSERT_EQ(Configure(d, {{1, 3}}), 0);
    d.RecordSize = 1000;
    EXPECT_NE(KOVA8_SetADC(&d), 0) << "record size other than 1220";
    d.LChannels[0] = 0xA0000008u;
    d.RecordSize = 1220;
    EXPECT_NE(KOVA8_SetADC(&d), 0) << "a word CreateLChannel2 never makes";

    d.ChannelRate = 0;
    ASSERT_EQ(Configure(d, {{1, 3}, {3, 0}}), 0);
    EXPECT_EQ(d.ChannelRate, 1000.0);
    KOVA8_Close(&d);

    Kova8Descriptor v2;
    ASSERT_EQ(Open(v2, "2T000002", 7), 0);
    EXPECT_EQ(Configure(v2, {{8, 7}}, 0), 0) << "a variant with selectable reference";
    EXPECT_EQ(v2.ChannelRate, 500.0);
    KOVA8_Close(&v2);
}

TEST_F(DeviceApi, StreamsQuantisedInputsThatClipAtTheRangeLimits) {
    StartServer(World());
    Kova8Descriptor d;
    ASSERT_EQ(Open(d), 0);
    // Channel 1: 1.5 mV on ±10; 2: -7.25 mV on ±80; 3: 100 mV on ±10 (clips high);
    // 4: -5 mV on 0...10 (clips low); 5: nothing configured reads 0 mV on ±20.
    ASSERT_EQ(Configure(d, {{1, 0}, {2, 3}, {3, 0}, {4, 4}, {5, 1}}), 0);
    ASSERT_EQ(KOVA8_Start(&d), 0);
    const uint32_t frameWords = 10;
    std::vector<uint32_t> words(frameWords * 200);
    ASSERT_EQ(ReceiveFrames(d, words, frameWords), static_cast<int32_t>(words.size()));
    ASSERT_EQ(KOVA8_Stop(&d), 0);

    std::vector<double> volts(words.size() / 2 + 4, -999.0);
    int32_t count = static_cast<int32_t>(words.size());
    ASSERT_EQ(KOVA8_ProcessData(&d, words.data(), volts.data(), &count, 1), 0);
    ASSERT_EQ(count, static_cast<int32_t>(words.size() / 2));
    EXPECT_EQ(volts[static_cast<std::size_t>(count)], -999.0) << "nothing written past count";
    const double expected[] = {1.5e-3, -7.25e-3, 10e-3 * (1 - 1.0 / 8388608), 0.0, 0.0};
    for (int f = 0; f < 200; f += 37)
        for (int ch = 0; ch < 5; ++ch)
            EXPECT_NEAR(volts[static_cast<std::size_t>(5 * f + ch)], expected[ch], 1e-8)
                << "frame " << f << " channel " << ch;

    // Another start goes on streaming: the module runs again after a stop.
    ASSERT_EQ(KOVA8_Start(&d), 0);
    EXPECT_EQ(KOVA8_Recv(&d, words.data(), nullptr, frameWords, 5000),
              static_cast<int32_t>(frameWords));
    EXPECT_EQ(KOVA8_Stop(&d), 0);
    EXPECT_LT(KOVA8_Recv(&d, words.data(), nullptr, frameWords, 100), 0) << "not running";
    KOVA8_Close(&d);
}

TEST_F(DeviceApi, PacedStreamDeliversNoMoreThanTheSampleRateAllows) {
    StartServer(R"({ "crates": [ { "serial": "2T000001", "modules": [
        { "slot": 3, "sample_rate_hz": 10 } ] } ] })");
    Kova8Descriptor d;
    ASSERT_EQ(Open(d), 0);
    ASSERT_EQ(Configure(d, {{1, 0}}), 0);
    ASSERT_EQ(KOVA8_Start(&d), 0);
    std::vector<uint32_t> words(200);
    // 300 ms at 10 Hz make about 3 frames; an unpaced server would fill the request at once.
    const int32_t r = KOVA8_Recv(&d, words.data(), nullptr, 200, 300);
    EXPECT_GE(r, 0);
    EXPECT_LE(r, 2 * 6);
    EXPECT_EQ(r % 2, 0);
    EXPECT_EQ(KOVA8_Stop(&d), 0);
    KOVA8_Close(&d);
}

TEST_F(DeviceApi, StreamFaultsShowAsShortReceiveBrokenLinkAndMalformedWords) {
    struct Case {
        const char *faults;
        int32_t firstRecv; // words of the first 100-word receive
        bool brokenAfter;
        bool processFails;
    } cases[] = {
        {R"({ "stall_after_words": 30 })", 30, false, false},
        {R"({ "drop_after_words": 30 })", 30, true, false},
        {R"({ "corrupt_after_words": 30 })", 100, false, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.faults);
        StartServer(World(c.faults));
        Kova8Descriptor d;
        ASSERT_EQ(Open(d), 0);
        ASSERT_EQ(Configure(d, {{1, 0}, {2, 0}}), 0);
        ASSERT_EQ(KOVA8_Start(&d), 0);
        std::vector<uint32_t> words(100);
        ASSERT_EQ(KOVA8_Recv(&d, words.data(), nullptr, 100, 1000), c.firstRecv);
        std::vector<double> values(50);
        int32_t count = c.firstRecv;
        EXPECT_EQ(KOVA8_ProcessData(&d, words.data(), values.data(), &count, 1) != 0,
                  c.processFails);
        const int32_t next = KOVA8_Recv(&d, words.data(), nullptr, 4, 200);
        if (c.brokenAfter) {
            EXPECT_LT(next, 0);
            EXPECT_NE(KOVA8_Stop(&d), 0);
        } else {
            EXPECT_EQ(next, c.processFails ? 4 : 0);
            EXPECT_EQ(KOVA8_Stop(&d), 0);
        }
        KOVA8_Close(&d);
        Server.reset();
    }
}

TEST_F(DeviceApi, RefusedStartStopAndEepromFail) {
    StartServer(World(R"({ "refuse_start": true, "refuse_stop": true, "eeprom_fail": true,
                           "refuse_set_adc": false })"));
    Kova8Descriptor d;
    ASSERT_EQ(Open(d), 0);
    ASSERT_EQ(Configure(d, {{1, 0}}), 0);
    EXPECT_NE(KOVA8_Start(&d), 0);
    EXPECT_NE(KOVA8_Stop(&d), 0);
    uint8_t buffer[384];
    EXPECT_NE(KOVA8_ReadEeprom(&d, 100, buffer, 384), 0);
    KOVA8_Close(&d);

    Server.reset();
    StartServer(World(R"({ "refuse_set_adc": true })"));
    ASSERT_EQ(Open(d), 0);
    EXPECT_NE(Configure(d, {{1, 0}}), 0);
    EXPECT_NE(KOVA8_Start(&d), 0) << "nothing configured";
    KOVA8_Close(&d);
}

TEST_F(DeviceApi, EepromHoldsConfiguredBlocksAndSerialDerivedDefaults) {
    std::string offsets, scales;
    for (int k = 0; k < 64; ++k) {
        const char *comma = k ? "," : "";
        offsets += comma;
        offsets += std::to_string(8388608 + k);
        scales += comma;
        scales += std::to_string(5848298 - k);
    }
    StartServer(R"({ "crates": [ { "serial": "2T000001", "modules": [
        { "slot": 3, "serial": "8K000123", "variant": 1, "eeprom": { "2.5": {
          "offset_codes": [)" +
                offsets + R"(], "scale_codes": [)" + scales + R"(] } } } ] } ] })");
    Kova8Descriptor d;
    ASSERT_EQ(Open(d), 0);
    uint8_t block[385] = {};
    ASSERT_EQ(KOVA8_ReadEeprom(&d, 600, block, 384), 0);
    for (int k : {0, 1, 39, 63}) {
        EXPECT_EQ(kova8::GetCode24(block + 6 * k), 8388608u + static_cast<unsigned>(k));
        EXPECT_EQ(kova8::GetCode24(block + 6 * k + 3), 5848298u - static_cast<unsigned>(k));
    }
    EXPECT_EQ(block[384], 0) << "nothing past the length";

    const auto defaults = kova8::DefaultEeprom("8K000123");
    ASSERT_EQ(KOVA8_ReadEeprom(&d, 100, block, 384), 0);
    EXPECT_EQ(std::memcmp(block, defaults.data() + 100, 384), 0);
    for (int k = 0; k < 64; ++k) {
        EXPECT_NEAR(static_cast<double>(kova8::GetCode24(block + 6 * k)), 8388608.0, 1000.0);
        EXPECT_NEAR(static_cast<double>(kova8::GetCode24(block + 6 * k + 3)), 5848298.0, 10000.0);
    }
    EXPECT_NE(KOVA8_ReadEeprom(&d, 1000, block, 384), 0) << "beyond the EEPROM";
    KOVA8_Close(&d);
    EXPECT_NE(KOVA8_ReadEeprom(&d, 100, block, 384), 0) << "closed";
}

TEST_F(DeviceApi, ServerKilledMidStreamBreaksReceiveWellWithinTheTimeout) {
    StartServer(World("{}"));
    Kova8Descriptor d;
    ASSERT_EQ(Open(d), 0);
    ASSERT_EQ(Configure(d, {{1, 0}}), 0);
    ASSERT_EQ(KOVA8_Start(&d), 0);
    std::vector<uint32_t> words(2);
    ASSERT_EQ(KOVA8_Recv(&d, words.data(), nullptr, 2, 5000), 2);
    Server->Kill();
    // The buffer may still hold words sent before the kill; drain it, then the break shows.
    const auto start = Clock::now();
    int32_t r = 2;
    std::vector<uint32_t> sink(1 << 16);
    while (r > 0)
        r = KOVA8_Recv(&d, sink.data(), nullptr, static_cast<uint32_t>(sink.size()), 30000);
    EXPECT_LT(r, 0);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
    EXPECT_NE(KOVA8_Stop(&d), 0);
    EXPECT_EQ(KOVA8_Close(&d), 0);
    EXPECT_NE(KOVA8_IsOpened(&d), 0);
}

TEST_F(DeviceApi, DescriptorMovesBetweenThreadsAndRecvHonoursTimeMarks) {
    StartServer(World());
    Kova8Descriptor d;
    std::thread([&] { ASSERT_EQ(Open(d), 0); }).join();
    ASSERT_EQ(Configure(d, {{1, 0}, {2, 0}}), 0);
    std::vector<uint32_t> words(8), marks(8, 0xFFFFFFFF);
    std::thread([&] {
        ASSERT_EQ(KOVA8_Start(&d), 0);
        ASSERT_EQ(KOVA8_Recv(&d, words.data(), marks.data(), 8, 5000), 8);
    }).join();
    EXPECT_EQ(KOVA8_Stop(&d), 0);
    for (uint32_t i = 0; i < 8; ++i)
        EXPECT_EQ(marks[i], i);
    EXPECT_EQ(KOVA8_Recv(&d, nullptr, nullptr, 0, 0), -1) << "stopped";
    KOVA8_Close(&d);
}

} // namespace

namespace {

TEST_F(DeviceApi, ReloadedFaultsApplyFromTheNextStartOfAnOpenModule) {
    StartServer(World());
    Kova8Descriptor d;
    ASSERT_EQ(Open(d), 0);
    ASSERT_EQ(Configure(d, {{1, 0}}), 0);
    ASSERT_EQ(KOVA8_Start(&d), 0);
    Server->WriteConfig(World(R"({ "refuse_start": true })"));
    Server->Signal(SIGHUP);
    ASSERT_TRUE(Server->WaitForOutput("configuration re-read"));
    std::vector<uint32_t> words(2);
    EXPECT_EQ(KOVA8_Recv(&d, words.data(), nullptr, 2, 5000), 2) << "the run goes on";
    EXPECT_EQ(KOVA8_Stop(&d), 0);
    EXPECT_NE(KOVA8_Start(&d), 0);
    KOVA8_Close(&d);
}

TEST_F(DeviceApi, SlowFirmwareLoadStillOpensAndTheLinkThenServes) {
    StartServer(World("{}", R"("firmware_load_ms": 400,)"));
    Kova8Descriptor d;
    ASSERT_EQ(Open(d), 0);
    EXPECT_STREQ(d.SerialNumber, "8K000123");
    EXPECT_EQ(Configure(d, {{1, 0}}), 0);
    KOVA8_Close(&d);
}

} // namespace
