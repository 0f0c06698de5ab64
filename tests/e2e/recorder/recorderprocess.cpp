#include "tests/e2e/recorder/recorderprocess.h"

#include "tests/support/crateserverprocess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace recordertest {

namespace {

using Clock = std::chrono::steady_clock;

std::string MakeTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kova8-record-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary folder");
    return pattern;
}

} // namespace

std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

pid_t SpawnRecorder(const std::vector<std::string> &args, int stdoutFd, int stderrFd,
                    long long fileSizeLimit) {
    const std::string exe = kovatest::BinDir() + "/kova8-record";
    std::vector<std::string> all = {exe};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (auto &a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        if (stdoutFd >= 0)
            dup2(stdoutFd, 1);
        if (stderrFd >= 0)
            dup2(stderrFd, 2);
        if (fileSizeLimit > 0) {
            const rlimit limit{static_cast<rlim_t>(fileSizeLimit),
                               static_cast<rlim_t>(fileSizeLimit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        // The tests run from bin/, where KOVA8.bio lies.
        execv(exe.c_str(), argv.data());
        _exit(127);
    }
    if (child < 0)
        throw std::runtime_error("fork failed");
    return child;
}

TRecorderProcess::TRecorderProcess(const std::vector<std::string> &args, long long fileSizeLimit)
    : Dir(MakeTempDir()) {
    const int out =
        open((Dir + "/out.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int err =
        open((Dir + "/err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    Child = SpawnRecorder(args, out, err, fileSizeLimit);
    close(out);
    close(err);
}

TRecorderProcess::~TRecorderProcess() {
    if (Child > 0) {
        kill(Child, SIGKILL);
        int status = 0;
        waitpid(Child, &status, 0);
    }
    std::error_code ec;
    std::filesystem::remove_all(Dir, ec);
}

void TRecorderProcess::Signal(int signo) {
    if (Child > 0)
        kill(Child, signo);
}

int TRecorderProcess::Wait(std::chrono::milliseconds timeout) {
    if (Child <= 0)
        return -1;
    const auto end = Clock::now() + timeout;
    for (;;) {
        int status = 0;
        if (waitpid(Child, &status, WNOHANG) == Child) {
            Child = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (Clock::now() >= end) {
            kill(Child, SIGKILL);
            waitpid(Child, &status, 0);
            Child = -1;
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::string TRecorderProcess::Out() const {
    return ReadFile(Dir + "/out.txt");
}

std::string TRecorderProcess::Err() const {
    return ReadFile(Dir + "/err.txt");
}

TRecorderRun RunRecorder(const std::vector<std::string> &args, std::chrono::milliseconds timeout) {
    TRecorderProcess process(args);
    TRecorderRun run;
    run.ExitCode = process.Wait(timeout);
    run.Out = process.Out();
    run.Err = process.Err();
    return run;
}

std::vector<std::vector<std::string>> CsvRows(const std::string &text) {
    std::vector<std::vector<std::string>> rows;
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t end = text.find("\r\n", from);
        const bool whole = end != std::string::npos;
        if (!whole)
            end = text.size();
        std::vector<std::string> fields;
        std::size_t at = from;
        for (;;) {
            const std::size_t comma = text.find(',', at);
            if (comma == std::string::npos || comma >= end) {
                fields.push_back(text.substr(at, end - at));
                break;
            }
            fields.push_back(text.substr(at, comma - at));
            at = comma + 1;
        }
        if (!whole)
            fields.push_back("<no CRLF>");
        rows.push_back(fields);
        from = whole ? end + 2 : end;
    }
    return rows;
}

bool WaitForRows(const std::string &path, std::size_t rows, std::chrono::milliseconds timeout) {
    const auto end = Clock::now() + timeout;
    for (;;) {
        const std::string text = ReadFile(path);
        const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
        if (lines >= rows + 1)
            return true;
        if (Clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

} // namespace recordertest
