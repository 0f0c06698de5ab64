// The soak: the real window (offscreen) measures 8 channels against kova-crated for a long
// time, with a stream fault every few minutes (the link dropped, the stream stalled, the
// server killed and started again) and a restart of the measurement after each.
//
//   kova_soak [--minutes N] [--fault-every SECONDS] [--faults LIST] [--csv FILE]
//
// Defaults: 10 minutes, a fault every 150 s, the faults in turn drop,stall,restart (LIST is
// that order or another, comma-separated). For hours: --minutes 240 (run it in the
// background with nohup; the per-minute lines show how it goes).
//
// Every minute it prints, for the window's process and for kova-crated: resident memory,
// open descriptors, threads; and the blocks the window showed. At the end it sets these
// against the goals: memory growth under 1 MB per hour, descriptors and threads back to their
// first count after every fault, no block missing between faults. Non-zero when a goal is
// missed.

#include "bench/support/benchapplication.h"
#include "device/kovadevice.h"
#include "forms/kova8adcchannelframe.h"
#include "forms/mainform.h"
#include "platform/dialogs.h"
#include "settings/settingskeys.h"
#include "tests/support/crateserverprocess.h"
#include "threads/mainthread.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <malloc.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char *kCrate = "2T000002";
constexpr int kSlot = 3;
constexpr double kRateHz = 1000.0;
// Each block is a run of its own (0.5 s, 8000 words); a fault knob breaks the stream this
// many words into the first run after it is set.
constexpr long long kFaultAfterWords = 3000;

// Channel 1 moves (sine and noise), so every block's value differs from the one before and
// each block shown changes its text.
std::string Config(const std::string &faults) {
    std::ostringstream s;
    s << R"({ "pacing": true, "crates": [ { "serial": ")" << kCrate
      << R"(", "modules": [ { "slot": )" << kSlot << R"(, "serial": "8K000123", "variant": 2,
      "sample_rate_hz": )"
      << kRateHz << R"(, "channels": [
        { "dc_mV": 1, "noise_uV": 50, "sine_mV": 3, "sine_hz": 0.37 },
        { "dc_mV": 2, "noise_uV": 3 }, { "dc_mV": 3 }, { "dc_mV": -4, "noise_uV": 3 },
        { "dc_mV": 5 }, { "dc_mV": 6, "noise_uV": 3 }, { "dc_mV": -7 }, { "dc_mV": 8 } ])"
      << (faults.empty() ? "" : ", \"faults\": { " + faults + " }") << " } ] } ] }";
    return s.str();
}

struct ProcStats {
    double RssMb = 0;
    int Fds = 0;
    int Threads = 0;
};

ProcStats Stats(pid_t pid) {
    ProcStats st;
    const std::string base = "/proc/" + std::to_string(pid);
    std::ifstream status(base + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            st.RssMb = std::atof(line.c_str() + 6) / 1024.0;
        else if (line.rfind("Threads:", 0) == 0)
            st.Threads = std::atoi(line.c_str() + 8);
    }
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(base + "/fd", ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
        ++st.Fds;
    return st;
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Least-squares slope of y over x.
double Slope(const std::vector<double> &x, const std::vector<double> &y) {
    const std::size_t n = x.size();
    if (n < 2)
        return 0;
    double mx = 0, my = 0;
    for (std::size_t i = 0; i < n; ++i) {
        mx += x[i];
        my += y[i];
    }
    mx /= static_cast<double>(n);
    my /= static_cast<double>(n);
    double sxy = 0, sxx = 0;
    for (std::size_t i = 0; i < n; ++i) {
        sxy += (x[i] - mx) * (y[i] - my);
        sxx += (x[i] - mx) * (x[i] - mx);
    }
    return sxx > 0 ? sxy / sxx : 0;
}

struct Options {
    double Minutes = 10;
    double FaultEvery = 150;
    std::string Csv;
    std::vector<std::string> Faults = {"drop", "stall", "restart"};
};

bool ParseOptions(int argc, char **argv, Options &o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--minutes" && i + 1 < argc)
            o.Minutes = std::atof(argv[++i]);
        else if (a == "--fault-every" && i + 1 < argc)
            o.FaultEvery = std::atof(argv[++i]);
        else if (a == "--csv" && i + 1 < argc)
            o.Csv = argv[++i];
        else if (a == "--faults" && i + 1 < argc) {
            o.Faults.clear();
            std::stringstream list(argv[++i]);
            for (std::string kind; std::getline(list, kind, ',');) {
                if (kind != "drop" && kind != "stall" && kind != "restart")
                    return false;
                o.Faults.push_back(kind);
            }
        } else
            return false;
    }
    return o.Minutes > 0 && o.FaultEvery >= 30 && !o.Faults.empty();
}

// The libraries, with the moment of every module start that succeeded: each must lead to a
// block shown.
class TCountingDevice : public TKovaApiDevice {
public:
    std::int32_t KOVA8_Start(Kova8Descriptor *module) override {
        const std::int32_t r = TKovaApiDevice::KOVA8_Start(module);
        if (r == 0) {
            const std::lock_guard lock(mutex_);
            starts_.push_back(Clock::now());
        }
        return r;
    }
    std::vector<Clock::time_point> Starts() {
        const std::lock_guard lock(mutex_);
        return starts_;
    }

private:
    std::mutex mutex_;
    std::vector<Clock::time_point> starts_;
};

// The window with the module open and all eight channels set up, as the bench of the
// multimeter run sets it up.
class TSoak {
public:
    TSoak() : form(nullptr, &device) {
        QDir::setCurrent(QString::fromStdString(kovatest::BinDir())); // KOVA8.bio
        settings::SetSettingsDirectory(settingsDir.path());
        server = std::make_unique<kovatest::TCrateServerProcess>(Config(""));
        port = server->Port();
        form.ModuleState = 2;
        form.MaxAcquisitionTime = 0.5;
        form.Busy = true;
        form.ReferenceVoltageLMDComboBox->setCurrentIndex(1);
        for (TKova8AdcChannelFrame *panel : form.ChannelPanels) {
            panel->ChannelNumberLMDCheckBox->setChecked(true);
            panel->InputRangeLMDComboBox->setCurrentIndex(2);
        }
        form.EnableChannelPanels();
        form.Busy = false;
        // What a settings load gives without a file: four decimals, so each block's value
        // reads differently from the one before.
        for (QString &format : form.DisplayFormats)
            format = settings::DisplayFormat(settings::kDisplayPrecisionFallback);
        QObject::connect(form.ChannelPanels[0]->ValueLMDEdit, &QLineEdit::textChanged,
                         [this](const QString &) { shown.push_back(Clock::now()); });
    }
    ~TSoak() {
        StopRun();
        device.KOVA8_Close(&form.Descriptor);
        settings::SetSettingsDirectory(QString());
    }

    bool OpenModule() {
        device.KOVA8_Close(&form.Descriptor);
        return device.KOVA8_Init(&form.Descriptor) == 0 &&
               device.KOVA8_Open(&form.Descriptor, 0x7F000001, port, kCrate, kSlot, "KOVA8.bio") ==
                   0;
    }
    bool StartRun() {
        if (form.CurrentMainThread)
            return false;
        form.StartMultimeterLMDSpeedButton->click();
        return form.CurrentMainThread != nullptr;
    }
    // A stop asked for while a start is still going on waits for it.
    bool StopRun() {
        return RunEventLoopUntil(
            [&] {
                form.StopThread();
                return form.CurrentMainThread == nullptr;
            },
            30000, 10);
    }
    // Changes the server's fault knobs; a run picks them up at its next start.
    void SetFaults(const std::string &faults) {
        const std::size_t before = server->OutputCount("configuration re-read");
        server->WriteConfig(Config(faults));
        server->Signal(SIGHUP);
        RunEventLoopUntil([&] { return server->OutputCount("configuration re-read") > before; },
                          5000, 10);
    }
    void RestartServer() {
        server->Kill();
        server.reset();
        server = std::make_unique<kovatest::TCrateServerProcess>(Config(""), port);
    }

    QTemporaryDir settingsDir;
    platform::RecordingDialogService dialogs;
    platform::ScopedDialogService scope{dialogs};
    TCountingDevice device;
    TMainForm form;
    std::unique_ptr<kovatest::TCrateServerProcess> server;
    std::uint16_t port = 0;
    std::vector<Clock::time_point> shown;
};

// Bytes the window's process holds through malloc (in use, whether from the heap or
// mapped), beside its resident size: a leak grows this, a change of the allocator's
// layout (a block moving from a mapping into the heap) only the resident size.
double AllocatedMb() {
    const struct mallinfo2 m = mallinfo2();
    return static_cast<double>(m.uordblks + m.hblkhd) / (1024.0 * 1024.0);
}

struct Sample {
    double Minute = 0;
    double AllocatedMb = 0;
    ProcStats App;
    ProcStats Server;
    pid_t ServerPid = 0;
    std::size_t Blocks = 0;
};

// A stretch of healthy running between one restart and the next fault.
struct Interval {
    Clock::time_point From;
    Clock::time_point To;
};

struct FaultRecord {
    std::string Kind;
    std::string Message; // what the window said
    bool Recovered = false;
    ProcStats App;
    ProcStats Server;
};

} // namespace

int main(int argc, char **argv) {
    Options opt;
    if (!ParseOptions(argc, argv, opt)) {
        std::fprintf(stderr, "usage: kova_soak [--minutes N] [--fault-every SECONDS (>= 30)] "
                             "[--faults drop,stall,restart] [--csv FILE]\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    EnsureBenchApplication();
    TSoak soak;
    if (!soak.OpenModule() || !soak.StartRun()) {
        std::printf("soak: the first run did not start\n");
        return 1;
    }
    const auto begin = Clock::now();
    const auto end = begin + std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double>(opt.Minutes * 60.0));
    auto settle = [&] { RunEventLoop(10000); }; // past a run's start-up
    settle();
    // The reference counts: the first run, steady.
    const ProcStats appBase = Stats(getpid());
    const ProcStats serverBase = Stats(soak.server->Pid());

    std::vector<Sample> samples;
    std::vector<FaultRecord> faults;
    std::vector<Interval> healthy;
    Clock::time_point healthyFrom = begin + std::chrono::seconds(3);
    std::size_t blocksAtLastSample = 0;
    auto nextSample = begin + std::chrono::minutes(1);
    auto nextFault = begin + std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double>(opt.FaultEvery));
    std::size_t unexpectedDialogs = 0;
    std::size_t dialogsSeen = 0;

    std::printf("soak: %.1f min, a fault every %.0f s; window pid %d, server pid %d\n", opt.Minutes,
                opt.FaultEvery, static_cast<int>(getpid()), static_cast<int>(soak.server->Pid()));
    std::printf(
        "  min | window RSS MB  fds thr | server pid  RSS MB  fds thr | blocks/min total\n");
    auto takeSample = [&] {
        Sample s;
        s.Minute = Seconds(Clock::now() - begin) / 60.0;
        s.App = Stats(getpid());
        s.AllocatedMb = AllocatedMb();
        s.ServerPid = soak.server->Pid();
        s.Server = Stats(s.ServerPid);
        s.Blocks = soak.shown.size();
        std::printf("%5.1f | %13.2f %9.2f %4d %3d | %10d %7.2f %4d %3d | %10zu %5zu\n", s.Minute,
                    s.App.RssMb, s.AllocatedMb, s.App.Fds, s.App.Threads,
                    static_cast<int>(s.ServerPid), s.Server.RssMb, s.Server.Fds, s.Server.Threads,
                    s.Blocks - blocksAtLastSample, s.Blocks);
        blocksAtLastSample = s.Blocks;
        samples.push_back(s);
    };

    while (Clock::now() < end) {
        RunEventLoop(100);
        if (soak.dialogs.Count() > dialogsSeen) {
            // A message while nothing was injected: the run failed by itself.
            for (std::size_t i = dialogsSeen; i < soak.dialogs.Count(); ++i)
                std::printf("soak: unexpected message: %s\n",
                            soak.dialogs.Shown()[i].text.toStdString().c_str());
            unexpectedDialogs += soak.dialogs.Count() - dialogsSeen;
            dialogsSeen = soak.dialogs.Count();
        }
        if (Clock::now() >= nextSample) {
            takeSample();
            nextSample += std::chrono::minutes(1);
        }
        if (Clock::now() < nextFault || Clock::now() + std::chrono::seconds(40) > end)
            continue;

        FaultRecord f;
        f.Kind = opt.Faults[faults.size() % opt.Faults.size()];
        healthy.push_back({healthyFrom, Clock::now()});
        const std::size_t dialogsBefore = soak.dialogs.Count();
        bool reopen = true;
        if (f.Kind == "restart") {
            soak.RestartServer();
        } else {
            // A little way into the next block the stream breaks.
            const std::string knob =
                f.Kind == "drop" ? "\"drop_after_words\": " : "\"stall_after_words\": ";
            soak.SetFaults(knob + std::to_string(kFaultAfterWords));
            soak.StopRun();
            soak.StartRun();
            reopen = f.Kind == "drop";
        }
        // The window notices (a stall takes the receive time-out) and says so.
        RunEventLoopUntil([&] { return soak.dialogs.Count() > dialogsBefore; }, 30000, 10);
        if (soak.dialogs.Count() > dialogsBefore)
            f.Message = soak.dialogs.Shown()[dialogsBefore].text.toStdString();
        dialogsSeen = soak.dialogs.Count();
        soak.StopRun();
        if (f.Kind != "restart")
            soak.SetFaults("");
        f.Recovered = (!reopen || soak.OpenModule()) && soak.StartRun();
        healthyFrom = Clock::now() + std::chrono::seconds(3);
        settle();
        f.App = Stats(getpid());
        f.Server = Stats(soak.server->Pid());
        for (char &c : f.Message)
            if (c == '\n')
                c = ' ';
        std::printf("soak: fault %zu (%s): window said \"%s\"; %s; window fds %d thr %d, server "
                    "fds %d thr %d\n",
                    faults.size() + 1, f.Kind.c_str(), f.Message.c_str(),
                    f.Recovered ? "measuring again" : "NOT RECOVERED", f.App.Fds, f.App.Threads,
                    f.Server.Fds, f.Server.Threads);
        faults.push_back(f);
        nextFault = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                       std::chrono::duration<double>(opt.FaultEvery));
        if (!f.Recovered)
            break;
    }
    healthy.push_back({healthyFrom, Clock::now()});
    takeSample();

    // ---- against the goals
    bool ok = unexpectedDialogs == 0;
    std::printf("\nsoak: %.1f min, %zu faults, %zu blocks shown, %zu unexpected messages\n",
                Seconds(Clock::now() - begin) / 60.0, faults.size(), soak.shown.size(),
                unexpectedDialogs);

    // Memory: the slope from the second minute on (the first holds the start-up's growth).
    std::vector<double> x, appY, heapY;
    for (const Sample &s : samples)
        if (s.Minute >= 1.5) {
            x.push_back(s.Minute / 60.0);
            appY.push_back(s.App.RssMb);
            heapY.push_back(s.AllocatedMb);
        }
    const double appSlope = Slope(x, appY);
    const bool memOk = appSlope < 1.0;
    ok = ok && memOk;
    std::printf("window RSS: first minute %.2f MB, last %.2f MB, trend %+.2f MB/hour (goal < 1): "
                "%s\n",
                samples.empty() ? 0 : samples.front().App.RssMb,
                samples.empty() ? 0 : samples.back().App.RssMb, appSlope, memOk ? "met" : "MISSED");
    std::printf("window malloc in use: first minute %.2f MB, last %.2f MB, trend %+.2f MB/hour\n",
                samples.empty() ? 0 : samples.front().AllocatedMb,
                samples.empty() ? 0 : samples.back().AllocatedMb, Slope(x, heapY));
    // The server's memory per process: it starts anew at each restart.
    for (std::size_t i = 0; i < samples.size();) {
        std::size_t j = i;
        std::vector<double> sx, sy;
        while (j < samples.size() && samples[j].ServerPid == samples[i].ServerPid) {
            sx.push_back(samples[j].Minute / 60.0);
            sy.push_back(samples[j].Server.RssMb);
            ++j;
        }
        const double slope = Slope(sx, sy);
        std::printf(
            "server pid %d, minutes %.0f-%.0f: RSS %.2f -> %.2f MB, trend %+.2f MB/hour%s\n",
            static_cast<int>(samples[i].ServerPid), samples[i].Minute, samples[j - 1].Minute,
            sy.front(), sy.back(), slope,
            sx.size() < 4 ? " (too short to judge)"
            : slope < 1.0 ? ""
                          : " MISSED");
        if (sx.size() >= 4 && slope >= 1.0)
            ok = false;
        i = j;
    }

    // Descriptors and threads, measured at the same point of a run (10 s after its start).
    bool countsOk = true;
    for (std::size_t i = 0; i < faults.size(); ++i) {
        const FaultRecord &f = faults[i];
        const bool same = f.Recovered && f.App.Fds == appBase.Fds &&
                          f.App.Threads == appBase.Threads && f.Server.Fds == serverBase.Fds &&
                          f.Server.Threads == serverBase.Threads;
        countsOk = countsOk && same;
    }
    ok = ok && countsOk;
    std::printf("descriptors/threads after every fault: window %d/%d, server %d/%d at the first "
                "run: %s\n",
                appBase.Fds, appBase.Threads, serverBase.Fds, serverBase.Threads,
                countsOk ? "every fault back to them" : "MISSED (see the fault lines)");

    // Blocks: between faults every module start leads to a block shown before the next
    // start; the gaps between blocks show how even the cycle is.
    const std::vector<Clock::time_point> starts = soak.device.Starts();
    std::size_t missing = 0;
    std::size_t inside = 0;
    double worst = 0;
    std::vector<double> gaps;
    for (const Interval &iv : healthy) {
        for (std::size_t i = 0; i + 1 < starts.size(); ++i) {
            if (starts[i] < iv.From || starts[i + 1] > iv.To)
                continue;
            ++inside;
            const bool seen = std::any_of(soak.shown.begin(), soak.shown.end(), [&](auto t) {
                return t > starts[i] && t < starts[i + 1];
            });
            if (!seen)
                ++missing;
            const double gap = Seconds(starts[i + 1] - starts[i]);
            gaps.push_back(gap);
            worst = std::max(worst, gap);
        }
    }
    std::sort(gaps.begin(), gaps.end());
    const double period = gaps.empty() ? 0 : gaps[gaps.size() / 2];
    const bool blocksOk = missing == 0 && inside > 0;
    ok = ok && blocksOk;
    std::printf("blocks between faults: %zu cycles, %.3f s median, %.3f s longest, %zu without a "
                "block shown: %s\n",
                inside, period, worst, missing, blocksOk ? "met" : "MISSED");

    if (!opt.Csv.empty()) {
        std::ofstream csv(opt.Csv);
        csv << "minute,window_rss_mb,window_malloc_mb,window_fds,window_threads,server_pid,server_"
               "rss_mb,"
               "server_fds,server_threads,blocks\n";
        for (const Sample &s : samples)
            csv << s.Minute << ',' << s.App.RssMb << ',' << s.AllocatedMb << ',' << s.App.Fds << ','
                << s.App.Threads << ',' << s.ServerPid << ',' << s.Server.RssMb << ','
                << s.Server.Fds << ',' << s.Server.Threads << ',' << s.Blocks << '\n';
    }
    std::printf("soak: %s\n", ok ? "all goals met" : "GOALS MISSED");
    return ok ? 0 : 1;
}
