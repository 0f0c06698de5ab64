// kova8-record against kova-crated on a free port: the values it writes, the
// stream's continuity, device faults, signals, a full disk and bad arguments.

#include "device/kova8format.h"
#include "settings/inifile.h"
#include "settings/settingsstore.h"
#include "tests/e2e/recorder/recorderprocess.h"
#include "tests/support/crateserverprocess.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using recordertest::CsvRows;
using recordertest::ReadFile;
using recordertest::RunRecorder;
using recordertest::TRecorderProcess;
using recordertest::WaitForRows;
using Rows = std::vector<std::vector<std::string>>;

// One crate "2T000009" with one KOVA8 in slot 4 (variant 2) holding the given
// channels, faults and pacing.
std::string Config(const std::string &channels, double rateHz, bool pacing,
                   const std::string &faults = {}, int variant = 2) {
    return R"({ "pacing": )" + std::string(pacing ? "true" : "false") +
           R"(, "crates": [ { "serial": "2T000009", "modules": [ { "slot": 4, "serial": "8K000900", "variant": )" +
           std::to_string(variant) + R"(, "sample_rate_hz": )" + std::to_string(rateHz) +
           R"(, "channels": [ )" + channels + " ]" +
           (faults.empty() ? std::string() : R"(, "faults": { )" + faults + " }") + " } ] } ] }";
}

std::string Server(const kovatest::TCrateServerProcess &server) {
    return "127.0.0.1:" + std::to_string(server.Port());
}

std::string Fixed7(double mv) {
    char text[64];
    std::snprintf(text, sizeof text, "%.7f", mv);
    return text;
}

double Number(const std::string &text) {
    return std::stod(text);
}

// The header is the first row; every row has its columns and consecutive block numbers.
void ExpectWholeRows(const Rows &rows, std::size_t columns) {
    ASSERT_FALSE(rows.empty());
    for (std::size_t r = 0; r < rows.size(); ++r) {
        SCOPED_TRACE("row " + std::to_string(r));
        ASSERT_EQ(rows[r].size(), columns);
        if (r > 0) {
            EXPECT_EQ(rows[r][2], std::to_string(r - 1));
        }
    }
}

struct RecorderTest : testing::Test {
    QTemporaryDir Dir;
    std::string Path(const std::string &name) const {
        return Dir.filePath(QString::fromStdString(name)).toStdString();
    }
};

TEST_F(RecorderTest, DcInputsGiveTheirMeansToTheLastDigitAndClipAtTheRangeLimits) {
    struct Channel {
        double dc;
        const char *range; // as given to --ranges
        int code;          // module range code
    };
    const Channel channels[] = {
        {1.5, "±80", 3},           {-7.25, "+-10", 0}, {95.0, "±80", 3}, {-20.0, "0...10", 4},
        {12.3456789, "0...20", 5}, {-50.0, "+-40", 2}, {3.3, "±20", 1},  {15.0, "0...10", 4},
    };
    std::string inputs;
    std::string ranges;
    for (const Channel &c : channels) {
        // Separators appended on their own: a literal joined in front of a
        // string trips GCC 12's false -Wrestrict report at -O3.
        if (!inputs.empty())
            inputs += ", ";
        inputs += "{ \"dc_mV\": " + std::to_string(c.dc) + " }";
        if (!ranges.empty())
            ranges += ',';
        ranges += c.range;
    }
    kovatest::TCrateServerProcess server(Config(inputs, 1000, false));
    const auto run = RunRecorder({"--server", Server(server), "--ranges", ranges, "--block", "0.1",
                                  "--blocks", "3", "--stats"});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_EQ(run.Err, "");
    const Rows rows = CsvRows(run.Out);
    ExpectWholeRows(rows, 4 + 8 * 4);
    ASSERT_EQ(rows.size(), 4u);
    for (std::size_t r = 1; r < rows.size(); ++r) {
        EXPECT_EQ(rows[r][3], "100");
        for (std::size_t i = 0; i < 8; ++i) {
            SCOPED_TRACE("channel " + std::to_string(i + 1));
            const double expected = kova8::MvFromCode(
                channels[i].code,
                kova8::CodeFromMv(channels[i].code, std::stod(std::to_string(channels[i].dc))));
            const std::size_t at = 4 + 4 * i;
            EXPECT_EQ(rows[r][at], Fixed7(expected));
            EXPECT_EQ(rows[r][at + 1], Fixed7(expected));
            EXPECT_EQ(rows[r][at + 2], Fixed7(expected));
            EXPECT_EQ(rows[r][at + 3], "0.0000000");
        }
    }
    // The limits themselves: beyond ±80 the top code, below a unipolar range 0,
    // below -40 the bottom code.
    EXPECT_EQ(rows[1][4 + 4 * 2], "79.9999905");
    EXPECT_EQ(rows[1][4 + 4 * 3], "0.0000000");
    EXPECT_EQ(rows[1][4 + 4 * 5], "-40.0000000");
    EXPECT_EQ(rows[1][4 + 4 * 7], "9.9999994");
}

TEST_F(RecorderTest, SineMeanOverWholePeriodsIsZeroWithinItsQuantisation) {
    // 50 Hz at 1 kHz, 0.2 s blocks: ten whole periods a block.
    kovatest::TCrateServerProcess server(
        Config(R"({ "sine_mV": 5.0, "sine_hz": 50 })", 1000, false));
    const auto run = RunRecorder({"--server", Server(server), "--channels", "1", "--ranges", "+-20",
                                  "--block", "0.2", "--blocks", "5", "--stats"});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    const Rows rows = CsvRows(run.Out);
    ExpectWholeRows(rows, 8);
    const double step = 20.0 / 8388608.0;
    for (std::size_t r = 1; r < rows.size(); ++r) {
        EXPECT_LE(std::abs(Number(rows[r][4])), step / 2 + 1e-7) << rows[r][4];
        EXPECT_NEAR(Number(rows[r][5]), -5.0, step);
        EXPECT_NEAR(Number(rows[r][6]), 5.0, step);
        // The sample standard deviation of 200 samples of a whole-period sine.
        EXPECT_NEAR(Number(rows[r][7]), 5.0 / std::numbers::sqrt2 * std::sqrt(200.0 / 199.0), 1e-3);
    }
}

TEST_F(RecorderTest, GaussianNoiseComesBackWithItsStandardDeviation) {
    // 100 uV noise, 10 000 samples a block: the sample standard deviation has a
    // relative standard error of 1 / sqrt(2 (N - 1)) = 0.71 %, the mean one of
    // 0.1 mV / 100 = 1 uV; both are checked at five of them.
    kovatest::TCrateServerProcess server(
        Config(R"({ "noise_uV": 100 }, { "dc_mV": 2.5, "noise_uV": 100 })", 10000, false));
    const auto run = RunRecorder({"--server", Server(server), "--channels", "1-2", "--ranges",
                                  "±10", "--block", "1", "--blocks", "4", "--stats"});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    const Rows rows = CsvRows(run.Out);
    ExpectWholeRows(rows, 12);
    const double n = 10000;
    for (std::size_t r = 1; r < rows.size(); ++r) {
        EXPECT_EQ(rows[r][3], "10000");
        for (int c = 0; c < 2; ++c) {
            const std::size_t at = 4 + 4 * static_cast<std::size_t>(c);
            EXPECT_NEAR(Number(rows[r][at]), c == 0 ? 0.0 : 2.5, 5 * 0.1 / std::sqrt(n));
            EXPECT_NEAR(Number(rows[r][at + 3]), 0.1, 5 * 0.1 / std::sqrt(2 * (n - 1)));
            EXPECT_LT(Number(rows[r][at + 1]), Number(rows[r][at]) - 0.3);
            EXPECT_GT(Number(rows[r][at + 2]), Number(rows[r][at]) + 0.3);
        }
    }
}

TEST_F(RecorderTest, BlocksFollowEachOtherWithoutALostOrRepeatedSample) {
    // A 3 Hz sine at 150 Hz: every block's mean depends on exactly which
    // samples it holds, so one lost or repeated sample shows. 0.05 s give
    // N = floor(7.5 + 0.5) = 8, and the times step by 8 / 150 s.
    const double rate = 150.0;
    const double amplitude = 10.0;
    const double hz = 3.0;
    kovatest::TCrateServerProcess server(
        Config(R"({ "sine_mV": 10.0, "sine_hz": 3 })", rate, true));
    const auto run = RunRecorder({"--server", Server(server), "--channels", "1", "--ranges", "+-20",
                                  "--block", "0.05", "--blocks", "40"});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    const Rows rows = CsvRows(run.Out);
    ExpectWholeRows(rows, 5);
    ASSERT_EQ(rows.size(), 41u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"time_utc", "elapsed_s", "block", "samples",
                                                 "ch1_mean_mV"}));
    for (std::size_t k = 0; k < 40; ++k) {
        SCOPED_TRACE("block " + std::to_string(k));
        const std::vector<std::string> &row = rows[k + 1];
        EXPECT_EQ(row[3], "8");
        EXPECT_NEAR(Number(row[1]), static_cast<double>(8 * k) / rate, 0.6e-6);
        double sum = 0.0;
        for (std::uint64_t s = 8 * k; s < 8 * k + 8; ++s) {
            const double t = static_cast<double>(s) / rate;
            const double mv = amplitude * std::sin(2.0 * std::numbers::pi * hz * t);
            sum += kova8::MvFromCode(1, kova8::CodeFromMv(1, mv));
        }
        EXPECT_NEAR(Number(row[4]), sum / 8.0, 1e-6);
        ASSERT_EQ(row[0].size(), 24u); // 2026-12-10T12:00:00.123Z
        EXPECT_EQ(row[0].back(), 'Z');
    }
    // The UTC column is the first sample's time plus the sample count: 40 blocks
    // of 8 / 150 s after the first, to the millisecond.
    auto utcMs = [](const std::string &text) {
        std::tm parts{};
        strptime(text.c_str(), "%Y-%m-%dT%H:%M:%S", &parts);
        return static_cast<double>(timegm(&parts)) * 1000.0 + std::stod(text.substr(20, 3));
    };
    EXPECT_NEAR(utcMs(rows[40][0]) - utcMs(rows[1][0]), 39 * 8 / rate * 1000.0, 1.01);
}

struct FaultCase {
    const char *name;
    const char *fault;
    const char *message;
};

void PrintTo(const FaultCase &c, std::ostream *out) {
    *out << c.fault;
}

class RecorderFaultTest : public RecorderTest, public testing::WithParamInterface<FaultCase> {};

TEST_P(RecorderFaultTest, AFaultIsReportedTheModuleReopenedAndTheRecordingGoesOn) {
    // One channel at 1 kHz, 0.1 s blocks of 200 words: the fault strikes in the
    // fourth block of every run, so each run gives three rows.
    const FaultCase &c = GetParam();
    kovatest::TCrateServerProcess server(
        Config(R"({ "dc_mV": 1.0 })", 1000, true, std::string("\"") + c.fault + "\": 700"));
    const auto run = RunRecorder({"--server", Server(server), "--channels", "1", "--block", "0.1",
                                  "--blocks", "6", "--quiet"},
                                 60s);
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_NE(run.Err.find(c.message), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find("модуль снова открыт, запись продолжается с блока 3"), std::string::npos)
        << run.Err;
    const Rows rows = CsvRows(run.Out);
    ExpectWholeRows(rows, 5);
    ASSERT_EQ(rows.size(), 7u);
    for (std::size_t r = 1; r < rows.size(); ++r)
        EXPECT_EQ(rows[r][4], Fixed7(kova8::MvFromCode(3, kova8::CodeFromMv(3, 1.0))));
    const double e[] = {Number(rows[1][1]), Number(rows[2][1]), Number(rows[3][1]),
                        Number(rows[4][1]), Number(rows[5][1]), Number(rows[6][1])};
    EXPECT_DOUBLE_EQ(e[1] - e[0], 0.1);
    EXPECT_DOUBLE_EQ(e[2] - e[1], 0.1);
    // The gap: at least the second before the reopen, and no row made up for it.
    EXPECT_GT(e[3] - e[2], 0.1 + 0.9);
    EXPECT_NEAR(e[4] - e[3], 0.1, 1e-6);
    EXPECT_NEAR(e[5] - e[4], 0.1, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, RecorderFaultTest,
    testing::Values(FaultCase{"stall", "stall_after_words", "поток данных модуля остановился"},
                    FaultCase{"drop", "drop_after_words", "связь с модулем прервана"},
                    FaultCase{"corrupt", "corrupt_after_words",
                              "с модуля приняты искажённые данные"}),
    [](const testing::TestParamInfo<FaultCase> &param) { return std::string(param.param.name); });

TEST_F(RecorderTest, AServerKilledAndStartedAgainLeavesAGapAndTheRowsGoOn) {
    const std::string config = Config(R"({ "dc_mV": -3.0 })", 1000, true);
    auto server = std::make_unique<kovatest::TCrateServerProcess>(config);
    const std::uint16_t port = server->Port();
    const std::string csv = Path("killed.csv");
    TRecorderProcess recorder(
        {"--server", Server(*server), "--channels", "1", "--block", "0.1", "--output", csv});
    ASSERT_TRUE(WaitForRows(csv, 3, 20s)) << recorder.Err();
    server->Kill();
    const auto gone = std::chrono::steady_clock::now();
    while (recorder.Err().find("связь с модулем прервана") == std::string::npos &&
           std::chrono::steady_clock::now() - gone < 10s)
        std::this_thread::sleep_for(20ms);
    ASSERT_NE(recorder.Err().find("связь с модулем прервана"), std::string::npos) << recorder.Err();
    std::this_thread::sleep_for(1500ms); // a few reopens fail meanwhile
    const std::size_t before = CsvRows(ReadFile(csv)).size() - 1;
    server = std::make_unique<kovatest::TCrateServerProcess>(config, port);
    ASSERT_TRUE(WaitForRows(csv, before + 3, 20s)) << recorder.Err();
    recorder.Signal(SIGINT);
    ASSERT_EQ(recorder.Wait(10s), 0) << recorder.Err();
    EXPECT_NE(recorder.Err().find("модуль снова открыт, запись продолжается с блока " +
                                  std::to_string(before)),
              std::string::npos)
        << recorder.Err();
    const Rows rows = CsvRows(ReadFile(csv));
    ExpectWholeRows(rows, 5);
    EXPECT_GT(Number(rows[before + 1][1]) - Number(rows[before][1]), 0.1 + 1.4);
}

TEST_F(RecorderTest, AModuleBackWithAnotherSampleRateEndsTheRecording) {
    auto server =
        std::make_unique<kovatest::TCrateServerProcess>(Config(R"({ "dc_mV": 1.0 })", 1000, true));
    const std::uint16_t port = server->Port();
    const std::string csv = Path("rate.csv");
    TRecorderProcess recorder(
        {"--server", Server(*server), "--channels", "1", "--block", "0.1", "--output", csv});
    ASSERT_TRUE(WaitForRows(csv, 2, 20s)) << recorder.Err();
    server->Kill();
    server = std::make_unique<kovatest::TCrateServerProcess>(
        Config(R"({ "dc_mV": 1.0 })", 2000, true), port);
    EXPECT_EQ(recorder.Wait(15s), 1) << recorder.Err();
    EXPECT_NE(recorder.Err().find("частота отсчётов модуля сменилась с 1000.000 на 2000.000 Гц"),
              std::string::npos)
        << recorder.Err();
    ExpectWholeRows(CsvRows(ReadFile(csv)), 5);
}

TEST_F(RecorderTest, GivesUpWhenTheModuleDoesNotComeBackInTime) {
    kovatest::TCrateServerProcess server(Config(R"({ "dc_mV": 1.0 })", 1000, true));
    const std::string csv = Path("given-up.csv");
    TRecorderProcess recorder({"--server", Server(server), "--channels", "1", "--block", "0.1",
                               "--give-up-after", "2", "--output", csv});
    ASSERT_TRUE(WaitForRows(csv, 2, 20s)) << recorder.Err();
    server.Kill();
    EXPECT_EQ(recorder.Wait(15s), 1) << recorder.Err();
    EXPECT_NE(recorder.Err().find("открываю его снова каждую секунду не дольше 2 с"),
              std::string::npos)
        << recorder.Err();
    EXPECT_NE(recorder.Err().find("модуль не открылся за 2 с; запись окончена"), std::string::npos)
        << recorder.Err();
    ExpectWholeRows(CsvRows(ReadFile(csv)), 5);
}

TEST_F(RecorderTest, DurationEndsBeforeTheFirstBlockThatWouldStartAtIt) {
    kovatest::TCrateServerProcess server(Config(R"({ "dc_mV": 1.0 })", 1000, false));
    const auto run = RunRecorder(
        {"--server", Server(server), "--channels", "8", "--block", "0.1", "--duration", "0.35"});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    const Rows rows = CsvRows(run.Out);
    ExpectWholeRows(rows, 5);
    EXPECT_EQ(rows.size(), 5u); // blocks starting at 0, 0.1, 0.2 and 0.3 s
    EXPECT_EQ(rows[0][4], "ch8_mean_mV");
    EXPECT_EQ(rows[1][4], "0.0000000"); // channel 8 has no input
}

TEST_F(RecorderTest, SigintAndSigtermLeaveAWholeFileAndTheModuleClosed) {
    for (int signo : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signo);
        kovatest::TCrateServerProcess server(Config(R"({ "dc_mV": 2.0 })", 1000, true), 0,
                                             {"--log"});
        const std::string csv = Path("signal" + std::to_string(signo) + ".csv");
        TRecorderProcess recorder({"--server", Server(server), "--channels", "1,2", "--block",
                                   "0.2", "--stats", "--sync", "--output", csv});
        ASSERT_TRUE(WaitForRows(csv, 2, 20s)) << recorder.Err();
        recorder.Signal(signo);
        EXPECT_EQ(recorder.Wait(10s), 0) << recorder.Err();
        const std::string text = ReadFile(csv);
        ASSERT_GE(text.size(), 2u);
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
        ExpectWholeRows(CsvRows(text), 12);
        EXPECT_TRUE(server.WaitForOutput("close 2T000009/4", 5s)) << server.Output();
    }
}

TEST_F(RecorderTest, AFileSizeLimitEndsTheRecordingWithOnlyWholeRows) {
    kovatest::TCrateServerProcess server(
        Config(R"({ "dc_mV": 2.0, "noise_uV": 50 })", 1000, false));
    const std::string csv = Path("limited.csv");
    const long long limit = 3000;
    TRecorderProcess recorder(
        {"--server", Server(server), "--stats", "--block", "0.01", "--output", csv}, limit);
    const int code = recorder.Wait(30s);
    EXPECT_NE(code, 0);
    EXPECT_NE(code, -1);
    EXPECT_NE(recorder.Err().find("не могу записать в " + csv), std::string::npos)
        << recorder.Err();
    const std::string text = ReadFile(csv);
    EXPECT_LE(static_cast<long long>(text.size()), limit);
    EXPECT_GT(text.size(), 1000u);
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    ExpectWholeRows(CsvRows(text), 4 + 8 * 4);
}

TEST_F(RecorderTest, AppendsToItsOwnFileAndRefusesOneWithOtherColumns) {
    kovatest::TCrateServerProcess server(Config(R"({ "dc_mV": 2.0 })", 1000, false));
    const std::string csv = Path("twice.csv");
    for (int i = 0; i < 2; ++i) {
        const auto run = RunRecorder({"--server", Server(server), "--channels", "1", "--blocks",
                                      "2", "--block", "0.01", "--output", csv});
        ASSERT_EQ(run.ExitCode, 0) << run.Err;
    }
    const Rows rows = CsvRows(ReadFile(csv));
    ASSERT_EQ(rows.size(), 5u); // one header, two runs of two rows
    EXPECT_EQ(rows[3][2], "0");
    const auto other = RunRecorder(
        {"--server", Server(server), "--channels", "1,2", "--blocks", "1", "--output", csv});
    EXPECT_EQ(other.ExitCode, 2);
    EXPECT_NE(other.Err.find("уже содержит другие столбцы"), std::string::npos) << other.Err;
    EXPECT_EQ(CsvRows(ReadFile(csv)).size(), 5u);
}

TEST_F(RecorderTest, SettingsFileOfTheWindowChoosesChannelsRangesReferenceAndTime) {
    const std::string ini = Path("Kova8_Duvu.ini");
    {
        TIniFile file(QString::fromStdString(ini));
        ASSERT_TRUE(settings::WriteDefaultModuleSettings(file));
        settings::ModuleSettings module;
        module.allChannels = false;
        module.channelEnabled = {false, true, false, true, false, false, false, false};
        module.commonRange = -1;
        module.channelRange = {0, 3, 0, 7, 0, 0, 0, 0}; // ±10 on 2, 0...10 on 4
        module.referenceVoltage = 0;
        ASSERT_TRUE(settings::WriteModuleSettings(file, module));
        ASSERT_TRUE(file.WriteString(settings::kModuleSection, settings::kMaxAcquisitionTimeKey,
                                     QStringLiteral("0.02")));
    }
    kovatest::TCrateServerProcess server(
        Config(R"({}, { "dc_mV": -15.0 }, {}, { "dc_mV": 4.0 })", 1000, false));
    const auto run = RunRecorder({"--server", Server(server), "--settings", ini, "--blocks", "2"});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    const Rows rows = CsvRows(run.Out);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"time_utc", "elapsed_s", "block", "samples",
                                                 "ch2_mean_mV", "ch4_mean_mV"}));
    EXPECT_EQ(rows[1][3], "20");
    EXPECT_EQ(rows[1][4], "-10.0000000"); // clipped on ±10
    EXPECT_EQ(rows[1][5], Fixed7(kova8::MvFromCode(4, kova8::CodeFromMv(4, 4.0))));

    // The 2.5 V reference of the file is refused by a variant 0 module.
    kovatest::TCrateServerProcess fixed(Config(R"({ "dc_mV": 1.0 })", 1000, false, {}, 0));
    const auto refused =
        RunRecorder({"--server", Server(fixed), "--settings", ini, "--blocks", "1"});
    EXPECT_EQ(refused.ExitCode, 2);
    EXPECT_NE(refused.Err.find("--reference 5.0"), std::string::npos) << refused.Err;
    EXPECT_EQ(refused.Out, "");
}

TEST_F(RecorderTest, ListShowsTheCratesAndTheirKova8Modules) {
    kovatest::TCrateServerProcess server; // the built-in configuration
    const auto run = RunRecorder({"--list", "--server", Server(server)});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_EQ(run.Out, "крейт,слот,модуль,вариант,прошивка\n"
                       "2T000001,,,,\n"
                       "2T000002,3,8K000123,0,1.07\n"
                       "2T000002,7,8K000457,2,1.07\n");
}

TEST_F(RecorderTest, BadArgumentsExitWithTwoAndSayWhatIsWrongBeforeAnythingIsOpened) {
    kovatest::TCrateServerProcess server;
    const std::string csv = Path("never.csv");
    const std::string at = Server(server);
    struct Case {
        std::vector<std::string> args;
        const char *message;
    };
    const Case cases[] = {
        {{"--bogus"}, "неизвестный параметр «--bogus»"},
        {{"extra"}, "лишний аргумент «extra»"},
        {{"--channels", "0"}, "--channels: «0» — не канал"},
        {{"--channels", "1,3-9"}, "--channels: «3-9» — не канал"},
        {{"--channels", "5-2"}, "--channels: «5-2»"},
        {{"--channels", "1,2,1-3"}, "канал 1 указан дважды"},
        {{"--ranges", "±90"}, "--ranges: «±90» — нет такого диапазона"},
        {{"--channels", "1-3", "--ranges", "±10,±20"}, "задано диапазонов 2, каналов 3"},
        {{"--reference", "3.3"}, "опорное напряжение 2.5 или 5.0"},
        {{"--block", "0"}, "--block: «0»"},
        {{"--block", "0,5"}, "--block: «0,5»"},
        {{"--blocks", "-1"}, "--blocks: «-1»"},
        {{"--blocks", "3", "--duration", "5"}, "--blocks и --duration вместе"},
        {{"--duration", "nan"}, "--duration: «nan»"},
        {{"--server", "10.0.0.1:11111"}, "не этот компьютер"},
        {{"--server", "127.0.0.1:0"}, "не порт"},
        {{"--server", "127.0.0.1"}, "нет порта"},
        {{"--slot", "17"}, "--slot: «17» — слот от 1 до 16"},
        {{"--crate", "1234567890ABCDEF"}, "--crate: «1234567890ABCDEF»"},
        {{"--give-up-after", "0"}, "--give-up-after: «0»"},
        {{"--list", "--channels", "1"}, "--list сочетается только с --server"},
        {{"--stats=1"}, "--stats не принимает значения"},
        {{"--output"}, "параметру --output нужно значение"},
        {{"--settings", "/nonexistent/Kova8_Duvu.ini"}, "--settings: файл"},
        // Checked against the server, still before the output is opened.
        {{"--server", at, "--crate", "2T000404"},
         "крейт «2T000404» не найден; есть: 2T000001, 2T000002"},
        {{"--server", at, "--crate", "2T000002", "--slot", "4"}, "модули KOVA8 в слотах: 3, 7"},
        {{"--server", at, "--crate", "2T000001"}, "в крейте «2T000001» нет модулей KOVA8"},
        {{"--server", at, "--slot", "3", "--reference", "2.5"}, "работает только с опорным"},
        {{"--server", at, "--block", "0.0001"}, "--block 0.000100: Слишком малое время"},
    };
    for (const Case &c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--output", csv});
        if (c.args.back() == "--output")
            args = c.args;
        SCOPED_TRACE(args.front() + " " + (args.size() > 1 ? args[1] : ""));
        const auto run = RunRecorder(args);
        EXPECT_EQ(run.ExitCode, 2) << run.Err;
        EXPECT_NE(run.Err.find(c.message), std::string::npos) << run.Err;
        EXPECT_EQ(run.Out, "");
        EXPECT_FALSE(std::filesystem::exists(csv));
    }
}

// Standard error on a terminal: the progress line, and nothing with --quiet.
std::string StderrOnATerminal(const std::vector<std::string> &args) {
    int master = -1;
    int slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        return "<no pty>";
    const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    const pid_t child = recordertest::SpawnRecorder(args, devNull, slave);
    close(slave);
    close(devNull);
    std::string text;
    char buffer[4096];
    for (;;) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 20000) <= 0)
            break;
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0)
            break; // EIO once the child has closed its side
        text.append(buffer, static_cast<std::size_t>(n));
    }
    close(master);
    int status = 0;
    waitpid(child, &status, 0);
    return text;
}

TEST_F(RecorderTest, ProgressGoesToATerminalOnlyAndNotWithQuiet) {
    kovatest::TCrateServerProcess server(Config(R"({ "dc_mV": 1.25 })", 1000, true));
    const std::vector<std::string> args = {
        "--server", Server(server), "--channels", "1",        "--ranges",
        "+-10",     "--block",      "0.1",        "--blocks", "3"};
    const std::string shown = StderrOnATerminal(args);
    EXPECT_NE(shown.find("блоков 3, 00:00:00, мВ: " +
                         Fixed7(kova8::MvFromCode(0, kova8::CodeFromMv(0, 1.25)))),
              std::string::npos)
        << shown;
    std::vector<std::string> quiet = args;
    quiet.push_back("--quiet");
    EXPECT_EQ(StderrOnATerminal(quiet), "");
}

TEST_F(RecorderTest, HelpPrintsTheUsage) {
    const auto run = RunRecorder({"--help"});
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_NE(run.Out.find("kova8-record --list [--server 127.0.0.1:PORT]"), std::string::npos);
    EXPECT_NE(run.Out.find("--give-up-after"), std::string::npos);
}

} // namespace
