#include "recorder/recording.h"

#include "measurement/blockstats.h"
#include "measurement/channelwords.h"
#include "measurement/multimeterblock.h"
#include "recorder/csvoutput.h"
#include "recorder/csvrow.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

namespace recorder {

namespace {

using SteadyClock = std::chrono::steady_clock;
using SystemClock = std::chrono::system_clock;

constexpr const char *kFirmwareFile = "KOVA8.bio";
constexpr std::size_t kSerialBytes = 16;
// A real-time stream trickles in a frame at a time; taking what has come and
// pausing this long in between wakes the recorder 50 times a second instead of
// once a frame, and a stop request is still seen at once.
constexpr auto kReceivePause = std::chrono::milliseconds(20);
// No sample for this long is a stalled stream.
constexpr double kStallSeconds = 3.0;

double SecondsSince(SteadyClock::time_point from) {
    return std::chrono::duration<double>(SteadyClock::now() - from).count();
}

std::string Seconds(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

struct TModuleAddress {
    std::string Crate;
    int Slot = -1;
};

// The crate serials the server lists, in its order; false when it cannot be reached.
bool ListCrates(TKovaDevice &device, const TOptions &o, std::vector<std::string> &serials) {
    KovaCrateConnection crate{};
    device.KOVA_Init(&crate);
    crate.ServerAddress = o.ServerAddress;
    crate.ServerPort = o.ServerPort;
    crate.ChannelSelector = 0;
    if (device.KOVA_Open(&crate) != 0)
        return false;
    std::uint8_t table[16 * kSerialBytes] = {};
    const bool listed = device.KOVA_GetCrates(&crate, table) == 0;
    device.KOVA_Close(&crate);
    if (!listed)
        return false;
    for (std::size_t i = 0; i < 16; ++i) {
        const char *serial = reinterpret_cast<const char *>(table) + i * kSerialBytes;
        const std::size_t n = strnlen(serial, kSerialBytes - 1);
        if (n == 0)
            break;
        serials.emplace_back(serial, n);
    }
    return true;
}

// Slots 1..16 that hold a KOVA8; false when the crate cannot be asked.
bool Kova8Slots(TKovaDevice &device, const TOptions &o, const std::string &serial,
                std::vector<int> &occupied) {
    KovaCrateConnection crate{};
    device.KOVA_Init(&crate);
    crate.ServerAddress = o.ServerAddress;
    crate.ServerPort = o.ServerPort;
    crate.ChannelSelector = 0;
    std::memcpy(crate.CrateSerial, serial.data(), std::min(serial.size(), kSerialBytes - 1));
    if (device.KOVA_Open(&crate) != 0)
        return false;
    std::uint16_t ids[16] = {};
    const bool queried = device.KOVA_GetCrateModules(&crate, ids) == 0;
    device.KOVA_Close(&crate);
    if (!queried)
        return false;
    for (int k = 0; k < 16; ++k)
        if (ids[k] == KOVA8_MODULE_ID)
            occupied.push_back(k + 1);
    return true;
}

std::string ServerText(const TOptions &o) {
    return std::to_string(o.ServerAddress >> 24) + "." +
           std::to_string((o.ServerAddress >> 16) & 255) + "." +
           std::to_string((o.ServerAddress >> 8) & 255) + "." +
           std::to_string(o.ServerAddress & 255) + ":" + std::to_string(o.ServerPort);
}

bool OpenModule(TKovaDevice &device, const TOptions &o, const TModuleAddress &at,
                Kova8Descriptor &descriptor) {
    device.KOVA8_Init(&descriptor);
    return device.KOVA8_Open(&descriptor, o.ServerAddress, o.ServerPort, at.Crate.c_str(), at.Slot,
                             FirmwarePath().c_str()) == 0;
}

class TRecording {
public:
    TRecording(TKovaDevice &device, const TOptions &options, const std::atomic<bool> &stop,
               TReporter &reporter)
        : Device(device), O(options), Stop(stop), Reporter(reporter) {}
    ~TRecording() { CloseModule(); }

    int Run();

private:
    enum class Fault { None, Stopped, Stall, Link, Corrupt };

    int Locate();
    // Channels, reference and rate; false with the exit code set. A reopen
    // that fails says nothing: it is tried again a second later.
    bool Configure(int &exitCode, bool report = true);
    bool StartStream();
    Fault TakeBlock();
    bool Reopen();
    void CloseModule();
    bool WaitOrStop(double seconds);
    std::string FaultText(Fault fault) const;

    TKovaDevice &Device;
    const TOptions &O;
    const std::atomic<bool> &Stop;
    TReporter &Reporter;

    TModuleAddress Address;
    Kova8Descriptor Descriptor{};
    bool Open = false;
    bool RateChanged = false;
    double Rate = 0.0;
    std::uint32_t Channels = 0;
    std::uint32_t N = 0;
    std::array<std::int16_t, 8> LogicalIndex{};
    std::vector<std::uint32_t> Raw;
    std::vector<double> Values;

    // Time of the current stream: its first sample and its samples so far.
    SteadyClock::time_point RecordingStart;
    SystemClock::time_point SegmentUtc;
    double SegmentElapsed = 0.0;
    std::uint64_t SegmentSamples = 0;
};

int TRecording::Locate() {
    std::vector<std::string> crates;
    if (!ListCrates(Device, O, crates)) {
        Reporter.Error("не могу получить список крейтов у сервера " + ServerText(O) +
                       ": сервер не запущен или не отвечает");
        return kExitFailure;
    }
    if (!O.CrateSerial.empty() &&
        std::find(crates.begin(), crates.end(), O.CrateSerial) == crates.end()) {
        std::string known;
        for (const std::string &c : crates)
            known += (known.empty() ? "" : ", ") + c;
        Reporter.Error("крейт «" + O.CrateSerial +
                       "» не найден; есть: " + (known.empty() ? std::string("ни одного") : known) +
                       " (kova8-record --list)");
        return kExitUsage;
    }
    std::string slotsOfCrate;
    for (const std::string &crate : crates) {
        if (!O.CrateSerial.empty() && crate != O.CrateSerial)
            continue;
        std::vector<int> occupied;
        if (!Kova8Slots(Device, O, crate, occupied)) {
            Reporter.Error("не могу опросить слоты крейта «" + crate + "»");
            return kExitFailure;
        }
        for (int slot : occupied) {
            slotsOfCrate += (slotsOfCrate.empty() ? "" : ", ") + std::to_string(slot);
            if (O.Slot < 0 || slot == O.Slot) {
                Address = {crate, slot};
                return kExitOk;
            }
        }
    }
    if (O.Slot >= 0) {
        Reporter.Error("в слоте " + std::to_string(O.Slot) +
                       (O.CrateSerial.empty() ? "" : " крейта «" + O.CrateSerial + "»") +
                       " нет модуля KOVA8; модули KOVA8 в слотах: " +
                       (slotsOfCrate.empty() ? std::string("нет") : slotsOfCrate) +
                       " (kova8-record --list)");
        return kExitUsage;
    }
    Reporter.Error(O.CrateSerial.empty() ? "не найдено ни одного модуля KOVA8"
                                         : "в крейте «" + O.CrateSerial + "» нет модулей KOVA8");
    return O.CrateSerial.empty() ? kExitFailure : kExitUsage;
}

bool TRecording::Configure(int &exitCode, bool report) {
    exitCode = kExitFailure;
    auto fail = [&](const std::string &text, int code) {
        if (report)
            Reporter.Error(text);
        exitCode = code;
        return false;
    };
    if (O.Reference == 0 && Descriptor.Variant == 0)
        return fail("модуль " + std::string(Descriptor.SerialNumber) +
                        " (вариант 0) работает только с опорным напряжением 5.0 В: "
                        "--reference 5.0",
                    kExitUsage);
    const TChannelWords words = ConfigureChannels(
        Device, Descriptor, static_cast<std::uint32_t>(O.Reference), O.Enabled, O.Range);
    if (words.result != TChannelWords::Result::Ok)
        return fail("не выбрано ни одного канала: --channels 1-8", kExitUsage);
    if (Device.KOVA8_SetADC(&Descriptor) != 0)
        return fail("модуль не принял параметры АЦП", kExitFailure);
    const double rate = Descriptor.ChannelRate;
    if (Rate != 0.0 && rate != Rate) {
        // The blocks would change their length: the recording cannot go on as it was.
        RateChanged = true;
        Reporter.Error("частота отсчётов модуля сменилась с " + Fixed(Rate, 3) + " на " +
                       Fixed(rate, 3) + " Гц; запись окончена");
        return false;
    }
    if (Rate == 0.0) {
        const TBlockSizing sizing = SizeBlock(O.BlockSeconds, rate, words.ActiveChannels);
        if (sizing.result != TBlockSizing::Result::Ok) {
            Reporter.Error("--block " + Fixed(O.BlockSeconds, 6) + ": " +
                           BlockSizingMessage(sizing.result).toStdString() + " (частота отсчётов " +
                           Fixed(rate, 3) + " Гц)");
            exitCode = kExitUsage;
            return false;
        }
        Rate = rate;
        Channels = words.ActiveChannels;
        N = sizing.SamplesPerChannel;
        LogicalIndex = words.LogicalIndex;
        // Once for the whole recording: nothing is allocated per block.
        Raw.assign(2 * std::size_t{sizing.TotalSamples}, 0);
        Values.assign(sizing.TotalSamples, 0.0);
    }
    return true;
}

bool TRecording::StartStream() {
    if (Device.KOVA8_Start(&Descriptor) != 0)
        return false;
    // The first sample is taken as the module starts; its time anchors the stream.
    const SteadyClock::time_point now = SteadyClock::now();
    SegmentUtc = SystemClock::now();
    if (SegmentSamples == 0 && SegmentElapsed == 0.0) {
        RecordingStart = now;
    } else {
        // After a gap: the clock's time since the first stream, never before the
        // end of the last block written.
        const double previousEnd = SegmentElapsed + static_cast<double>(SegmentSamples) / Rate;
        SegmentElapsed =
            std::max(std::chrono::duration<double>(now - RecordingStart).count(), previousEnd);
    }
    SegmentSamples = 0;
    return true;
}

TRecording::Fault TRecording::TakeBlock() {
    const std::uint32_t required = static_cast<std::uint32_t>(Raw.size());
    const double stallSeconds = std::max(kStallSeconds, 3.0 / Rate);
    std::uint32_t received = 0;
    SteadyClock::time_point lastData = SteadyClock::now();
    while (received < required) {
        if (Stop)
            return Fault::Stopped;
        // What has arrived, without waiting.
        const std::uint32_t want = required - received;
        const std::int32_t r =
            Device.KOVA8_Recv(&Descriptor, Raw.data() + received, nullptr, want, 0);
        if (r < 0)
            return Stop ? Fault::Stopped : Fault::Link;
        if (r > 0) {
            received += static_cast<std::uint32_t>(r);
            lastData = SteadyClock::now();
        } else if (SecondsSince(lastData) > stallSeconds) {
            return Fault::Stall;
        }
        if (static_cast<std::uint32_t>(r) < want)
            std::this_thread::sleep_for(kReceivePause);
    }
    std::int32_t count = static_cast<std::int32_t>(required);
    if (Device.KOVA8_ProcessData(&Descriptor, Raw.data(), Values.data(), &count, 0) != 0 ||
        count != static_cast<std::int32_t>(Values.size()))
        return Fault::Corrupt;
    return Fault::None;
}

std::string TRecording::FaultText(Fault fault) const {
    switch (fault) {
    case Fault::Stall:
        return "поток данных модуля остановился: нет отсчётов " + Seconds(kStallSeconds) + " с";
    case Fault::Link:
        return "связь с модулем прервана";
    case Fault::Corrupt:
        return "с модуля приняты искажённые данные";
    case Fault::None:
    case Fault::Stopped:
        break;
    }
    return {};
}

void TRecording::CloseModule() {
    if (!Open)
        return;
    Device.KOVA8_Stop(&Descriptor);
    Device.KOVA8_Close(&Descriptor);
    Open = false;
}

bool TRecording::WaitOrStop(double seconds) {
    const SteadyClock::time_point from = SteadyClock::now();
    while (SecondsSince(from) < seconds) {
        if (Stop)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return !Stop;
}

bool TRecording::Reopen() {
    CloseModule();
    if (!OpenModule(Device, O, Address, Descriptor))
        return false;
    Open = true;
    int exitCode = 0;
    if (!Configure(exitCode, false) || !StartStream()) {
        CloseModule();
        return false;
    }
    return true;
}

int TRecording::Run() {
    if (const int located = Locate(); located != kExitOk)
        return located;
    if (!OpenModule(Device, O, Address, Descriptor)) {
        Reporter.Error("не могу открыть модуль KOVA8 в слоте " + std::to_string(Address.Slot) +
                       " крейта «" + Address.Crate + "» (прошивка «" + FirmwarePath() + "»)");
        return kExitFailure;
    }
    Open = true;
    int exitCode = kExitFailure;
    if (!Configure(exitCode))
        return exitCode;

    TCsvOutput output;
    std::string message;
    const TCsvOutput::OpenResult opened =
        output.Open(O.Output, CsvHeader(O.Enabled, O.Stats), O.Sync, message);
    if (opened != TCsvOutput::OpenResult::Ok) {
        Reporter.Error(message);
        return opened == TCsvOutput::OpenResult::OtherColumns ? kExitUsage : kExitFailure;
    }
    if (!StartStream()) {
        Reporter.Error("модуль не запустил сбор данных");
        return kExitFailure;
    }

    TCsvRow row;
    std::uint64_t block = 0;
    for (;;) {
        const double blockElapsed = SegmentElapsed + static_cast<double>(SegmentSamples) / Rate;
        if ((O.Blocks > 0 && block >= O.Blocks) || (O.Duration > 0.0 && blockElapsed >= O.Duration))
            break;
        const Fault fault = TakeBlock();
        if (fault == Fault::Stopped) {
            Reporter.Note("запись прервана: неполный блок " + std::to_string(block) +
                          " отброшен, записано блоков: " + std::to_string(block));
            break;
        }
        if (fault != Fault::None) {
            Reporter.Error(FaultText(fault) + "; модуль закрыт, открываю его снова каждую секунду" +
                           (O.GiveUpAfter > 0.0 ? " не дольше " + Seconds(O.GiveUpAfter) + " с"
                                                : std::string()));
            CloseModule();
            const SteadyClock::time_point faultAt = SteadyClock::now();
            bool reopened = false;
            while (!reopened) {
                if (!WaitOrStop(1.0))
                    break;
                reopened = Reopen();
                if (RateChanged)
                    return kExitFailure;
                if (!reopened && O.GiveUpAfter > 0.0 && SecondsSince(faultAt) >= O.GiveUpAfter)
                    break;
            }
            if (Stop) {
                Reporter.Note("запись прервана во время повторного открытия модуля, записано "
                              "блоков: " +
                              std::to_string(block));
                break;
            }
            if (!reopened) {
                Reporter.Error("модуль не открылся за " + Seconds(O.GiveUpAfter) +
                               " с; запись окончена");
                return kExitFailure;
            }
            Reporter.Error("модуль снова открыт, запись продолжается с блока " +
                           std::to_string(block));
            continue;
        }
        const SystemClock::time_point firstSample =
            SegmentUtc +
            std::chrono::duration_cast<SystemClock::duration>(
                std::chrono::duration<double>(static_cast<double>(SegmentSamples) / Rate));
        row.Begin(firstSample, blockElapsed, block, N);
        for (std::size_t i = 0; i < LogicalIndex.size(); ++i) {
            if (LogicalIndex[i] < 0)
                continue;
            row.Add(ChannelStats(Values.data(), Channels, N,
                                 static_cast<std::uint32_t>(LogicalIndex[i])),
                    O.Stats);
        }
        const std::string_view text = row.Finish();
        if (!output.Write(text, message)) {
            Reporter.Error(message + "; запись окончена, в файле целые строки блоков 0–" +
                           (block == 0 ? std::string("(нет)") : std::to_string(block - 1)));
            return kExitFailure;
        }
        ++block;
        SegmentSamples += N;
        Reporter.Progress(block, SegmentElapsed + static_cast<double>(SegmentSamples) / Rate,
                          std::string(text.substr(0, text.size() - 2)));
    }
    CloseModule();
    output.Close();
    Reporter.Done();
    return kExitOk;
}

} // namespace

TStderrReporter::TStderrReporter(bool quiet) : Interactive(!quiet && ::isatty(STDERR_FILENO)) {}

void TStderrReporter::ClearProgress() {
    if (ProgressShown) {
        std::fputs("\r\033[K", stderr);
        ProgressShown = false;
    }
}

void TStderrReporter::Error(const std::string &text) {
    ClearProgress();
    std::fprintf(stderr, "%s kova8-record: %s\n", UtcText(SystemClock::now()).c_str(),
                 text.c_str());
    std::fflush(stderr);
}

void TStderrReporter::Note(const std::string &text) {
    if (!Interactive)
        return;
    ClearProgress();
    std::fprintf(stderr, "kova8-record: %s\n", text.c_str());
    std::fflush(stderr);
}

void TStderrReporter::Progress(std::uint64_t blocks, double elapsed, const std::string &values) {
    if (!Interactive)
        return;
    const auto seconds = static_cast<long long>(elapsed);
    // The values after time, elapsed, block and samples.
    std::size_t at = 0;
    for (int comma = 0; comma < 4 && at != std::string::npos; ++comma)
        at = values.find(',', at == 0 ? 0 : at + 1);
    std::string shown = at == std::string::npos ? std::string() : values.substr(at + 1);
    if (shown.size() > 100)
        shown = shown.substr(0, 97) + "...";
    char head[96];
    std::snprintf(head, sizeof head, "блоков %llu, %02lld:%02lld:%02lld, мВ: ",
                  static_cast<unsigned long long>(blocks), seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
    Line = head + shown;
    LineDrawn = false;
    const long long now =
        std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now().time_since_epoch())
            .count();
    if (ProgressShown && now - LastProgressMs < 200)
        return;
    LastProgressMs = now;
    DrawProgress();
}

void TStderrReporter::DrawProgress() {
    std::fprintf(stderr, "\r\033[K%s", Line.c_str());
    std::fflush(stderr);
    ProgressShown = true;
    LineDrawn = true;
}

void TStderrReporter::Done() {
    if (!Interactive)
        return;
    if (!LineDrawn)
        DrawProgress();
    if (ProgressShown) {
        std::fputs("\n", stderr);
        std::fflush(stderr);
        ProgressShown = false;
    }
}

std::string FirmwarePath() {
    std::error_code ec;
    if (std::filesystem::exists(kFirmwareFile, ec))
        return kFirmwareFile;
    char exe[4096];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        exe[n] = '\0';
        const std::filesystem::path bin = std::filesystem::path(exe).parent_path();
        // Beside the program in a build or portable folder; where the package
        // puts it when installed.
        for (const std::filesystem::path &folder : {bin, bin / "../share/kova8-duvu"}) {
            const std::filesystem::path file = folder / kFirmwareFile;
            if (std::filesystem::exists(file, ec))
                return file.lexically_normal().string();
        }
    }
    return kFirmwareFile;
}

int ListModules(TKovaDevice &device, const TOptions &options, TReporter &reporter) {
    std::vector<std::string> crates;
    if (!ListCrates(device, options, crates)) {
        reporter.Error("не могу получить список крейтов у сервера " + ServerText(options) +
                       ": сервер не запущен или не отвечает");
        return kExitFailure;
    }
    std::printf("крейт,слот,модуль,вариант,прошивка\n");
    for (const std::string &crate : crates) {
        std::vector<int> occupied;
        if (!Kova8Slots(device, options, crate, occupied)) {
            reporter.Error("не могу опросить слоты крейта «" + crate + "»");
            continue;
        }
        if (occupied.empty())
            std::printf("%s,,,,\n", crate.c_str());
        for (int slot : occupied) {
            Kova8Descriptor d{};
            if (!OpenModule(device, options, {crate, slot}, d)) {
                std::printf("%s,%d,,,\n", crate.c_str(), slot);
                continue;
            }
            std::printf("%s,%d,%.*s,%u,%.*s\n", crate.c_str(), slot,
                        static_cast<int>(sizeof d.SerialNumber), d.SerialNumber,
                        static_cast<unsigned>(d.Variant),
                        static_cast<int>(sizeof d.FirmwareVersion), d.FirmwareVersion);
            device.KOVA8_Close(&d);
        }
    }
    std::fflush(stdout);
    return kExitOk;
}

int Record(TKovaDevice &device, const TOptions &options, const std::atomic<bool> &stop,
           TReporter &reporter) {
    TRecording recording(device, options, stop, reporter);
    return recording.Run();
}

} // namespace recorder
