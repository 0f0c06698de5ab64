#pragma once
// The recording: find the module, configure it once, start it once and take
// consecutive blocks of N frames from the running stream, one CSV row each.
// A device fault closes the module and reopens it every second; the block
// numbers go on and the gap shows in the time columns.

#include "device/kovadevice.h"
#include "recorder/recorderoptions.h"

#include <atomic>
#include <string>

namespace recorder {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// Messages, faults and progress; standard error in the program.
class TReporter {
public:
    virtual ~TReporter() = default;
    // An error or a device fault, with the time it happened.
    virtual void Error(const std::string &text) = 0;
    // A note for a person watching (the end of an interrupted recording).
    virtual void Note(const std::string &text) = 0;
    // Blocks done, elapsed seconds, the last row's text.
    virtual void Progress(std::uint64_t blocks, double elapsed, const std::string &values) = 0;
    // The recording has ended: the last progress stays on the screen.
    virtual void Done() = 0;
};

// Standard error: errors always, notes and progress only on a terminal and
// without --quiet.
class TStderrReporter : public TReporter {
public:
    explicit TStderrReporter(bool quiet);
    void Error(const std::string &text) override;
    void Note(const std::string &text) override;
    void Progress(std::uint64_t blocks, double elapsed, const std::string &values) override;
    void Done() override;

private:
    void ClearProgress();
    void DrawProgress();
    bool Interactive;
    bool ProgressShown = false;
    long long LastProgressMs = 0;
    // At most five redraws a second; the newest line waits for the next one.
    std::string Line;
    bool LineDrawn = true;
};

// The firmware file the module library loads: "KOVA8.bio" in the current
// folder, as the window takes it, else beside the executable, else in
// ../share/kova8-duvu beside its bin folder, where the package installs it.
std::string FirmwarePath();

// --list: the crates and their KOVA8 modules on standard output.
int ListModules(TKovaDevice &device, const TOptions &options, TReporter &reporter);

// The whole recording; stop is set by SIGINT or SIGTERM. Returns the exit code.
int Record(TKovaDevice &device, const TOptions &options, const std::atomic<bool> &stop,
           TReporter &reporter);

} // namespace recorder
