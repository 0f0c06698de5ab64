#pragma once
// Runs kova8-record from the build's bin folder as a child process, its
// standard output and error in files, for the recorder's end-to-end tests.

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace recordertest {

// Starts bin/kova8-record with its standard output and error on the given
// descriptors (-1: left as they are) and, when fileSizeLimit > 0, that
// RLIMIT_FSIZE in bytes. Throws std::runtime_error when it cannot fork.
pid_t SpawnRecorder(const std::vector<std::string> &args, int stdoutFd, int stderrFd,
                    long long fileSizeLimit = 0);

struct TRecorderRun {
    int ExitCode = -1; // 128 + signal for a killed child, -1 still running
    std::string Out;
    std::string Err;
};

class TRecorderProcess {
public:
    // fileSizeLimit > 0: RLIMIT_FSIZE of the child, in bytes.
    explicit TRecorderProcess(const std::vector<std::string> &args, long long fileSizeLimit = 0);
    ~TRecorderProcess();
    TRecorderProcess(const TRecorderProcess &) = delete;
    TRecorderProcess &operator=(const TRecorderProcess &) = delete;

    pid_t Pid() const { return Child; }
    void Signal(int signo);
    // Exit code, or -1 at the time-out (the child is then killed).
    int Wait(std::chrono::milliseconds timeout);
    std::string Out() const;
    std::string Err() const;

private:
    std::string Dir;
    pid_t Child = -1;
};

// Runs to the end (bounded).
TRecorderRun RunRecorder(const std::vector<std::string> &args,
                         std::chrono::milliseconds timeout = std::chrono::milliseconds(30000));

// Reads a file whole; empty when it is missing.
std::string ReadFile(const std::string &path);

// CSV rows without their CRLF, the header first; every line must end in CRLF,
// a last line without it is returned as it is.
std::vector<std::vector<std::string>> CsvRows(const std::string &text);

// Polls until the file holds at least `rows` lines after the header.
bool WaitForRows(const std::string &path, std::size_t rows, std::chrono::milliseconds timeout);

} // namespace recordertest
