// The multimeter run against kova-crated pacing its stream in real time:
// 8 channels at 1 kHz, 0.5 s blocks.
//  CyclePeriod: the time from one block's module start to the next, beside its
//    floor N/Fs + 100 ms (the block itself and the pause before the lamps);
//    "overhead_median_ms" and "overhead_worst_ms" are what the cycle adds.
//  StopToEnd: from the stop request at a random moment of the cycle to the
//    thread's end, as the window sees it.
//  CpuPerSecond: the process's CPU time per second of measurement, in percent
//    of one core, while the window's event loop runs as in the program.

#include "bench/support/benchapplication.h"
#include "device/kovadevice.h"
#include "forms/mainform.h"
#include "platform/dialogs.h"
#include "settings/settingskeys.h"
#include "tests/support/crateserverprocess.h"
#include "threads/mainthread.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const std::string kConfig = R"({ "pacing": true, "crates": [ { "serial": "2T000002", "modules": [
  { "slot": 3, "serial": "8K000123", "variant": 2, "sample_rate_hz": 1000,
    "channels": [ { "dc_mV": 1 }, { "dc_mV": 2 }, { "dc_mV": 3 }, { "dc_mV": 4 },
                  { "dc_mV": 5 }, { "dc_mV": 6 }, { "dc_mV": 7 }, { "dc_mV": 8 } ] } ] } ] })";

// The libraries, with the moment of every module start noted.
class TTimedDevice : public TKovaApiDevice {
public:
    std::int32_t KOVA8_Start(Kova8Descriptor *module) override {
        {
            const std::lock_guard lock(mutex_);
            starts_.push_back(Clock::now());
        }
        return TKovaApiDevice::KOVA8_Start(module);
    }
    std::vector<Clock::time_point> Starts() {
        const std::lock_guard lock(mutex_);
        return starts_;
    }
    void Clear() {
        const std::lock_guard lock(mutex_);
        starts_.clear();
    }

private:
    std::mutex mutex_;
    std::vector<Clock::time_point> starts_;
};

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A window with the module open and all eight channels set up for a run.
class TBench {
public:
    TBench() : server(kConfig), form(nullptr, &device) {
        QDir::setCurrent(QString::fromStdString(kovatest::BinDir())); // KOVA8.bio
        settings::SetSettingsDirectory(settingsDir.path());
        device.KOVA8_Close(&form.Descriptor);
        ok = device.KOVA8_Init(&form.Descriptor) == 0 &&
             device.KOVA8_Open(&form.Descriptor, 0x7F000001, server.Port(), "2T000002", 3,
                               "KOVA8.bio") == 0;
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
    }
    ~TBench() { settings::SetSettingsDirectory(QString()); }

    bool Start() {
        device.Clear();
        form.StartMultimeterLMDSpeedButton->click();
        return form.CurrentMainThread != nullptr;
    }
    // The floor of one cycle from the run's own block size and rate.
    double FloorMs() {
        const TMainThread *thread = form.CurrentMainThread;
        const double rate = form.Descriptor.ChannelRate;
        return thread && rate > 0 ? 1000.0 * thread->SamplesPerChannel / rate + 100.0 : 0;
    }
    bool Failed() { return !ok || dialogs.Count() != 0; }
    // What went wrong, for the benchmark's error line.
    std::string Why() {
        if (!ok)
            return "the module did not open";
        const auto shown = dialogs.Shown();
        return shown.empty() ? "no message" : shown.front().text.toStdString();
    }

    QTemporaryDir settingsDir;
    platform::RecordingDialogService dialogs;
    platform::ScopedDialogService scope{dialogs};
    kovatest::TCrateServerProcess server;
    TTimedDevice device;
    TMainForm form;
    bool ok = false;
};

void CyclePeriod(benchmark::State &state) {
    EnsureBenchApplication();
    TBench bench;
    std::vector<double> overhead;
    double worst = 0;
    double floorMs = 0;
    for (auto _ : state) {
        if (!bench.Start() || bench.Failed()) {
            state.SkipWithError((std::string("the run did not start: ") + bench.Why()).c_str());
            return;
        }
        const std::size_t blocks = 16;
        RunEventLoopUntil([&] { return bench.device.Starts().size() > blocks; }, 30000);
        floorMs = bench.FloorMs();
        bench.form.StopThread();
        const auto starts = bench.device.Starts();
        if (bench.Failed() || starts.size() <= blocks) {
            state.SkipWithError((std::string("the run failed: ") + bench.Why()).c_str());
            return;
        }
        for (std::size_t i = 1; i < starts.size(); ++i) {
            const double period = Ms(starts[i] - starts[i - 1]);
            overhead.push_back(period - floorMs);
            worst = std::max(worst, period - floorMs);
        }
        state.SetIterationTime(static_cast<double>(overhead.size()) * floorMs / 1000.0);
    }
    state.counters["floor_ms"] = floorMs;
    state.counters["cycles"] = static_cast<double>(overhead.size());
    state.counters["overhead_median_ms"] = Median(overhead);
    state.counters["overhead_worst_ms"] = worst;
}

void StopToEnd(benchmark::State &state) {
    EnsureBenchApplication();
    TBench bench;
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> moment(0, 1300);
    std::vector<double> stops;
    for (auto _ : state) {
        for (int run = 0; run < 12; ++run) {
            if (!bench.Start() || bench.Failed()) {
                state.SkipWithError((std::string("the run did not start: ") + bench.Why()).c_str());
                return;
            }
            RunEventLoop(moment(random));
            const auto asked = Clock::now();
            bench.form.StopThread();
            stops.push_back(Ms(Clock::now() - asked));
            if (bench.form.CurrentMainThread || bench.Failed()) {
                state.SkipWithError(
                    (std::string("the stop did not end the run: ") + bench.Why()).c_str());
                return;
            }
        }
    }
    state.counters["stops"] = static_cast<double>(stops.size());
    state.counters["stop_median_ms"] = Median(stops);
    state.counters["stop_worst_ms"] =
        stops.empty() ? 0 : *std::max_element(stops.begin(), stops.end());
}

void CpuPerSecond(benchmark::State &state) {
    EnsureBenchApplication();
    TBench bench;
    double percent = 0;
    for (auto _ : state) {
        if (!bench.Start() || bench.Failed()) {
            state.SkipWithError((std::string("the run did not start: ") + bench.Why()).c_str());
            return;
        }
        RunEventLoop(1500); // past the run's start-up
        const double cpu = CpuSeconds();
        QElapsedTimer wall;
        wall.start();
        RunEventLoop(10000);
        const double seconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;
        percent = 100.0 * (CpuSeconds() - cpu) / seconds;
        bench.form.StopThread();
        if (bench.Failed()) {
            state.SkipWithError((std::string("the run failed: ") + bench.Why()).c_str());
            return;
        }
    }
    state.counters["cpu_percent_of_one_core"] = percent;
}

BENCHMARK(CyclePeriod)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(StopToEnd)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(CpuPerSecond)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
