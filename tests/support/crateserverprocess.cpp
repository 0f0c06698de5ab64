#include "tests/support/crateserverprocess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace kovatest {

namespace {

using Clock = std::chrono::steady_clock;

std::string ReadAll(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

pid_t Spawn(const std::vector<std::string> &args, const std::string &outputFile) {
    const std::string exe = BinDir() + "/kova-crated";
    std::vector<char *> argv;
    std::vector<std::string> all = {exe};
    all.insert(all.end(), args.begin(), args.end());
    for (auto &a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            dup2(fd, 1);
            dup2(fd, 2);
            close(fd);
        }
        // Nothing of ours lives on in the server: a socket of the caller's, open at the fork,
        // would keep a link half alive and count among the server's descriptors.
        close_range(3, ~0u, 0);
        execv(exe.c_str(), argv.data());
        _exit(127);
    }
    if (pid < 0)
        throw std::runtime_error("fork failed");
    return pid;
}

// Waits for the child's end; exit code, or -1 when it is still running at the time-out.
int WaitExit(pid_t pid, std::chrono::milliseconds timeout) {
    const auto end = Clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (r < 0)
            return -1;
        if (Clock::now() >= end)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::string MakeTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kova-crated-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary folder");
    return pattern;
}

} // namespace

std::string BinDir() {
    if (const char *dir = std::getenv("KOVA_BIN_DIR"); dir && *dir)
        return dir;
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return ".";
    path[n] = 0;
    return std::filesystem::path(path).parent_path().string();
}

std::uint16_t FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    socklen_t len = sizeof a;
    std::uint16_t port = 0;
    if (bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    close(fd);
    return port;
}

bool Listening(std::uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    const bool ok = connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

TCrateServerProcess::TCrateServerProcess(const std::string &json, std::uint16_t port,
                                         std::vector<std::string> extraArgs,
                                         std::chrono::milliseconds startTimeout)
    : Dir(MakeTempDir()), OutputFile(Dir + "/output.txt") {
    std::vector<std::string> base;
    if (!json.empty()) {
        ConfigFile = Dir + "/config.json";
        WriteConfig(json);
        base = {"--config", ConfigFile};
    }
    base.insert(base.end(), extraArgs.begin(), extraArgs.end());
    // A free port may be taken between the probe and the bind; try a few.
    for (int attempt = 0; attempt < 5; ++attempt) {
        PortNumber = port ? port : FreePort();
        std::vector<std::string> args = base;
        args.push_back("--port");
        args.push_back(std::to_string(PortNumber));
        Child = Spawn(args, OutputFile);
        const auto end = Clock::now() + startTimeout;
        while (Clock::now() < end) {
            int status = 0;
            if (waitpid(Child, &status, WNOHANG) == Child) {
                Child = -1;
                break;
            }
            if (Listening(PortNumber))
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (Child > 0) {
            Kill();
            break;
        }
        if (port)
            break;
    }
    throw std::runtime_error("kova-crated did not start listening: " + Output());
}

TCrateServerProcess::~TCrateServerProcess() {
    if (Child > 0 && Stop() < 0)
        Kill();
    std::error_code ec;
    std::filesystem::remove_all(Dir, ec);
}

void TCrateServerProcess::WriteConfig(const std::string &json) {
    if (ConfigFile.empty())
        ConfigFile = Dir + "/config.json";
    const std::string temp = ConfigFile + ".new";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << json;
    }
    std::filesystem::rename(temp, ConfigFile);
}

void TCrateServerProcess::Signal(int signo) {
    if (Child > 0)
        kill(Child, signo);
}

void TCrateServerProcess::Kill() {
    if (Child <= 0)
        return;
    kill(Child, SIGKILL);
    int status = 0;
    waitpid(Child, &status, 0);
    Child = -1;
}

int TCrateServerProcess::Stop(std::chrono::milliseconds timeout) {
    if (Child <= 0)
        return -1;
    kill(Child, SIGTERM);
    const int code = WaitExit(Child, timeout);
    if (code >= 0)
        Child = -1;
    return code;
}

std::string TCrateServerProcess::Output() const {
    return ReadAll(OutputFile);
}

std::size_t TCrateServerProcess::OutputCount(const std::string &text) const {
    const std::string out = Output();
    std::size_t n = 0;
    for (std::size_t at = out.find(text); at != std::string::npos;
         at = out.find(text, at + text.size()))
        ++n;
    return n;
}

bool TCrateServerProcess::WaitForOutput(const std::string &text,
                                        std::chrono::milliseconds timeout) const {
    const auto end = Clock::now() + timeout;
    for (;;) {
        if (Output().find(text) != std::string::npos)
            return true;
        if (Clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

TRunResult RunCrateServer(const std::vector<std::string> &args, std::chrono::milliseconds timeout) {
    const std::string dir = MakeTempDir();
    const std::string out = dir + "/output.txt";
    const pid_t pid = Spawn(args, out);
    TRunResult r;
    r.ExitCode = WaitExit(pid, timeout);
    if (r.ExitCode < 0) {
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
    }
    r.Output = ReadAll(out);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return r;
}

} // namespace kovatest
