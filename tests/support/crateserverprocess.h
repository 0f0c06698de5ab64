// Runs kova-crated as a child process for end-to-end tests: with a given JSON configuration,
// on a free port (or a given one), waits until it listens, stops it at the end.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kovatest {

// Folder of the built executables: $KOVA_BIN_DIR, else the running test's own folder.
std::string BinDir();

class TCrateServerProcess {
public:
    // json empty: the server's built-in configuration. port 0: a free port. Throws
    // std::runtime_error when the server does not listen within the time given.
    explicit TCrateServerProcess(
        const std::string &json = {}, std::uint16_t port = 0,
        std::vector<std::string> extraArgs = {},
        std::chrono::milliseconds startTimeout = std::chrono::milliseconds(10000));
    ~TCrateServerProcess();
    TCrateServerProcess(const TCrateServerProcess &) = delete;
    TCrateServerProcess &operator=(const TCrateServerProcess &) = delete;

    std::uint16_t Port() const { return PortNumber; }
    pid_t Pid() const { return Child; }
    const std::string &ConfigPath() const { return ConfigFile; }
    // Replaces the configuration file (SIGHUP makes the server read it).
    void WriteConfig(const std::string &json);
    void Signal(int signo);
    // SIGKILL and reap; the server is gone when it returns.
    void Kill();
    // SIGTERM, then waits (bounded) for the exit; returns the exit code or -1.
    int Stop(std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
    // What the server wrote to stdout and stderr so far.
    std::string Output() const;
    // How often text stands in Output(): a wait for one more "configuration
    // re-read" tells a new reload from an earlier one.
    std::size_t OutputCount(const std::string &text) const;
    // Waits until Output() contains text; false at the time-out.
    bool WaitForOutput(const std::string &text,
                       std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) const;

private:
    std::string Dir;
    std::string ConfigFile;
    std::string OutputFile;
    std::uint16_t PortNumber = 0;
    pid_t Child = -1;
};

// A port nobody listens on right now.
std::uint16_t FreePort();
// True when something accepts TCP connections on 127.0.0.1:port.
bool Listening(std::uint16_t port);

// Runs kova-crated with the arguments to its end (bounded); returns exit code and output.
struct TRunResult {
    int ExitCode = -1;
    std::string Output;
};
TRunResult RunCrateServer(const std::vector<std::string> &args,
                          std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));

} // namespace kovatest
