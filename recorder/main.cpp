// kova8-record: records a KOVA8's per-block channel statistics as CSV.

#include "device/kovadevice.h"
#include "platform/decimal.h"
#include "recorder/recorderoptions.h"
#include "recorder/recording.h"

#include <signal.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::atomic<bool> stopRequested{false};

extern "C" void RequestStop(int) {
    stopRequested = true;
}

void InstallSignals() {
    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A closed pipe or a file-size limit is a write error we report, not a death.
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
}

} // namespace

int main(int argc, char **argv) {
    platform::SetDecimalSeparator('.');
    const recorder::TParseResult parsed =
        recorder::ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.Ok) {
        std::fprintf(stderr, "%s\n", parsed.Message.c_str());
        return recorder::kExitUsage;
    }
    if (parsed.Options.Help) {
        std::fputs(recorder::UsageText().c_str(), stdout);
        return recorder::kExitOk;
    }
    InstallSignals();
    TKovaApiDevice device;
    recorder::TStderrReporter reporter(parsed.Options.Quiet);
    if (parsed.Options.List)
        return recorder::ListModules(device, parsed.Options, reporter);
    return recorder::Record(device, parsed.Options, stopRequested, reporter);
}
