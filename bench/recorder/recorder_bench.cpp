// kova8-record as a separate process against kova-crated, its CSV read from a
// pipe as it comes: 8 channels at 10 kHz, 0.1 s blocks, with --stats.
//  Paced: the server streams in real time for KOVA_RECORDER_BENCH_SECONDS
//    (default 120, at least 60). "completeness" = frames in the rows after the
//    first / (time from the first row to the last x rate), goal >= 0.999;
//    "gaps" = steps of elapsed_s other than N / Fs; "cpu_percent" = the
//    recorder's CPU time over that time, percent of one core, goal < 5;
//    "rss_growth_kB" = its resident memory at the end less at "rss_from_s"
//    after the first row (the end of the first minute; 10 s for a run shorter
//    than 120 s), goal < 1024.
//  Unpaced: the server streams as fast as the link takes it; "samples_per_s"
//    = channel samples through receive, statistics and CSV per second, goal
//    >= 20 million.

#include "tests/e2e/recorder/recorderprocess.h"
#include "tests/support/crateserverprocess.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kRate = 10000.0;
constexpr int kChannels = 8;
constexpr int kFrames = 1000; // 0.1 s

// Unpaced, the inputs are plain DC: the server's own signal synthesis would be
// the bottleneck otherwise, and the figure is the recorder's.
std::string Config(bool pacing) {
    const std::string lively =
        R"([ { "dc_mV": 1, "noise_uV": 3 }, { "dc_mV": 2, "sine_mV": 0.5, "sine_hz": 7 },
             { "dc_mV": 3 }, { "dc_mV": 4 }, { "dc_mV": 5, "noise_uV": 5 },
             { "dc_mV": 6 }, { "dc_mV": 7 }, { "dc_mV": -8, "noise_uV": 8 } ])";
    const std::string plain = R"([ { "dc_mV": 1 }, { "dc_mV": 2 }, { "dc_mV": 3 }, { "dc_mV": 4 },
             { "dc_mV": 5 }, { "dc_mV": 6 }, { "dc_mV": 7 }, { "dc_mV": -8 } ])";
    return std::string(R"({ "pacing": )") + (pacing ? "true" : "false") +
           R"(, "crates": [ { "serial": "2T000002", "modules": [
      { "slot": 3, "serial": "8K000123", "variant": 2, "sample_rate_hz": 10000,
        "channels": )" +
           (pacing ? lively : plain) + " } ] } ] }";
}

struct TRecorderChild {
    pid_t Pid = -1;
    int Out = -1;
};

TRecorderChild StartRecorder(const std::vector<std::string> &args) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return {};
    const pid_t pid = recordertest::SpawnRecorder(args, fds[1], -1);
    close(fds[1]);
    return {pid, fds[0]};
}

double CpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(in, text); // one line
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos)
        return 0.0;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    double ticks = 0.0;
    for (int i = 3; fields >> field; ++i) {
        if (i == 14 || i == 15)
            ticks += std::stod(field);
        if (i == 15)
            break;
    }
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long RssKb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

struct TRun {
    std::size_t Rows = 0;
    double FirstRow = 0.0; // seconds since the start
    double LastRow = 0.0;
    double CpuAtFirst = 0.0;
    double CpuAtLast = 0.0;
    long RssAtMark = 0; // resident memory at RssMark seconds after the first row
    long RssAtEnd = 0;
    std::size_t Gaps = 0;
    int ExitCode = -1;
};

// Reads rows until the recorder ends; times each row as it arrives.
TRun Follow(const TRecorderChild &child, double rssMark) {
    TRun run;
    const Clock::time_point start = Clock::now();
    auto now = [&] { return std::chrono::duration<double>(Clock::now() - start).count(); };
    std::string pending;
    char buffer[1 << 16];
    bool header = true;
    double lastElapsed = -1.0;
    double nextSample = 1.0;
    for (;;) {
        pollfd p{child.Out, POLLIN, 0};
        const int ready = poll(&p, 1, 200);
        if (ready > 0) {
            const ssize_t n = read(child.Out, buffer, sizeof buffer);
            if (n <= 0)
                break;
            pending.append(buffer, static_cast<std::size_t>(n));
            std::size_t end;
            while ((end = pending.find("\r\n")) != std::string::npos) {
                const std::string line = pending.substr(0, end);
                pending.erase(0, end + 2);
                if (header) {
                    header = false;
                    continue;
                }
                const double t = now();
                if (run.Rows == 0) {
                    run.FirstRow = t;
                    run.CpuAtFirst = CpuSeconds(child.Pid);
                }
                run.LastRow = t;
                ++run.Rows;
                const std::size_t comma = line.find(',');
                const double elapsed = std::stod(line.substr(comma + 1));
                if (lastElapsed >= 0.0 && std::abs(elapsed - lastElapsed - kFrames / kRate) > 1e-5)
                    ++run.Gaps;
                lastElapsed = elapsed;
            }
        }
        const double t = now();
        if (run.Rows > 0 && t >= nextSample) {
            nextSample = t + 1.0;
            run.CpuAtLast = CpuSeconds(child.Pid);
            const long rss = RssKb(child.Pid);
            if (rss > 0)
                run.RssAtEnd = rss;
            if (run.RssAtMark == 0 && t - run.FirstRow >= rssMark)
                run.RssAtMark = rss;
        }
    }
    close(child.Out);
    // Its whole CPU time: an ended child keeps its figures until it is reaped.
    run.CpuAtLast = CpuSeconds(child.Pid);
    int status = 0;
    waitpid(child.Pid, &status, 0);
    run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// A recording against a fresh server; false (and the benchmark marked) when it did not run.
bool Record(benchmark::State &state, bool pacing, std::vector<std::string> end, TRun &run,
            double rssMark = 60.0) {
    kovatest::TCrateServerProcess server(Config(pacing));
    std::vector<std::string> args = {"--server", "127.0.0.1:" + std::to_string(server.Port()),
                                     "--block", "0.1", "--stats"};
    args.insert(args.end(), end.begin(), end.end());
    run = Follow(StartRecorder(args), rssMark);
    if (run.ExitCode != 0 || run.Rows < 2 || run.LastRow <= run.FirstRow) {
        state.SkipWithError("the recording did not run");
        return false;
    }
    state.counters["rows"] = static_cast<double>(run.Rows);
    state.counters["gaps"] = static_cast<double>(run.Gaps);
    return true;
}

void Paced(benchmark::State &state) {
    double seconds = 120.0;
    if (const char *text = std::getenv("KOVA_RECORDER_BENCH_SECONDS"))
        seconds = std::max(60.0, std::atof(text));
    // The end of the first minute, or after a short run its first 10 s.
    const double rssMark = seconds >= 120.0 ? 60.0 : 10.0;
    for (auto _ : state) {
        TRun run;
        if (!Record(state, true, {"--duration", std::to_string(seconds + 0.05)}, run, rssMark))
            return;
        const double span = run.LastRow - run.FirstRow;
        state.counters["completeness"] =
            static_cast<double>(run.Rows - 1) * kFrames / (span * kRate);
        state.counters["cpu_percent"] = (run.CpuAtLast - run.CpuAtFirst) / span * 100.0;
        state.counters["rss_from_s"] = rssMark;
        state.counters["rss_kB"] = static_cast<double>(run.RssAtMark);
        state.counters["rss_growth_kB"] = static_cast<double>(run.RssAtEnd - run.RssAtMark);
    }
}

void Unpaced(benchmark::State &state) {
    for (auto _ : state) {
        TRun run;
        if (!Record(state, false, {"--blocks", "4000"}, run))
            return;
        const double span = run.LastRow - run.FirstRow;
        const double samples = static_cast<double>(run.Rows - 1) * kFrames * kChannels;
        const double cpu = run.CpuAtLast - run.CpuAtFirst;
        state.counters["samples_per_s"] = samples / span;
        state.counters["recorder_cpu_percent"] = cpu / span * 100.0;
        // What one core of the recorder alone would carry.
        if (cpu > 0.0)
            state.counters["samples_per_recorder_cpu_s"] = samples / cpu;
    }
}

BENCHMARK(Unpaced)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(Paced)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace
