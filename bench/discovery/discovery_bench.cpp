// A full discovery (mode 3) of the window against kova-crated on 11111, for
// crates × modules of 1 × 1, 4 × 4 and 16 × 16, without firmware load time.
// The run's fixed pauses (50 ms and seven of 100 ms) are part of every figure;
// "scan_ms" is the run less those pauses.

#include "bench/support/benchapplication.h"
#include "forms/mainform.h"
#include "platform/dialogs.h"
#include "settings/settingskeys.h"
#include "tests/support/crateserverprocess.h"
#include "threads/initandconfigthread.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <string>

namespace {

std::string World(int crates, int modules) {
    std::string json = R"({ "pacing": false, "firmware_load_ms": 0, "crates": [)";
    for (int c = 0; c < crates; ++c) {
        if (c)
            json += ',';
        json += std::string(R"({ "serial": "C)") + std::to_string(c) + R"(", "modules": [)";
        for (int m = 0; m < modules; ++m) {
            if (m)
                json += ',';
            json += std::string(R"({ "slot": )") + std::to_string(m + 1) + R"(, "serial": "M)" +
                    std::to_string(c * 16 + m) + R"(" })";
        }
        json += "] }";
    }
    return json + "] }";
}

constexpr double kPausesMs = 50 + 7 * 100;

void FullDiscovery(benchmark::State &state) {
    EnsureBenchApplication();
    const int crates = static_cast<int>(state.range(0));
    const int modules = static_cast<int>(state.range(1));
    if (kovatest::Listening(KOVA_SERVER_PORT)) {
        state.SkipWithError("port 11111 is taken");
        return;
    }
    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    QFile::copy(QString::fromStdString(kovatest::BinDir() + "/KOVA8.bio"),
                dir.filePath(QStringLiteral("KOVA8.bio")));
    QDir::setCurrent(dir.path());
    settings::SetSettingsDirectory(dir.path());
    platform::RecordingDialogService dialogs;
    platform::ScopedDialogService scope(dialogs);
    {
        kovatest::TCrateServerProcess server(World(crates, modules), KOVA_SERVER_PORT);
        TMainForm form;
        double totalMs = 0;
        for (auto _ : state) {
            QElapsedTimer timer;
            timer.start();
            bool ended = false;
            auto *thread = TWorkerThread::CreateRunning<TInitAndConfigThread>(&form, true, 3);
            if (!thread) {
                state.SkipWithError("no thread");
                break;
            }
            thread->OnTerminate = [&](TWorkerThread *) {
                form.InitThreadRunning = false;
                ended = true;
            };
            WaitPumpingEvents([&] { return ended; }, 1);
            const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
            totalMs += ms;
            state.SetIterationTime(ms / 1000.0);
            if (form.ModuleState != 2 || dialogs.Count() != 0) {
                state.SkipWithError("the run did not open a module");
                break;
            }
        }
        const double runs = static_cast<double>(state.iterations());
        state.counters["scan_ms"] = runs > 0 ? totalMs / runs - kPausesMs : 0;
        state.counters["modules"] = crates * modules;
    }
    settings::SetSettingsDirectory(QString());
    QDir::setCurrent(previous);
}

BENCHMARK(FullDiscovery)
    ->Args({1, 1})
    ->Args({4, 4})
    ->Args({16, 16})
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

} // namespace
