// kova-crated as a process: command line, signals, logging, and hostile or many clients.
#include "device/kovaapi.h"
#include "tests/support/crateserverprocess.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using kovatest::TCrateServerProcess;

namespace {

int Connect(std::uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// True when the server closes the socket within the time (reads until end of stream).
bool ClosedByPeer(int fd, int timeoutMs) {
    char buffer[4096];
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0)
            continue;
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return true;
    }
    return false;
}

// Lists the crates through the crate library; the first serial or "" on failure.
std::string FirstCrate(std::uint16_t port) {
    KovaCrateConnection c;
    KOVA_Init(&c);
    c.ServerPort = port;
    if (KOVA_Open(&c) != 0)
        return "";
    uint8_t serials[256] = {};
    const int32_t r = KOVA_GetCrates(&c, serials);
    KOVA_Close(&c);
    return r == 0 ? std::string(reinterpret_cast<char *>(serials)) : "";
}

const char *kOneCrate = R"({ "crates": [ { "serial": "2T000077" } ] })";

TEST(CrateServer, BuiltInConfigurationServesTwoCratesAndEndsCleanlyOnSigterm) {
    TCrateServerProcess server;
    EXPECT_EQ(FirstCrate(server.Port()), "2T000001");
    KovaCrateConnection c;
    KOVA_Init(&c);
    c.ServerPort = server.Port();
    std::strcpy(c.CrateSerial, "2T000002");
    ASSERT_EQ(KOVA_Open(&c), 0);
    uint16_t ids[16] = {};
    ASSERT_EQ(KOVA_GetCrateModules(&c, ids), 0);
    KOVA_Close(&c);
    EXPECT_EQ(std::count(std::begin(ids), std::end(ids), 0xD4D4), 2);
    EXPECT_EQ(server.Stop(), 0);
}

TEST(CrateServer, PortInUseAndBadConfigurationEndWithCodeOneAndAMessage) {
    TCrateServerProcess first(kOneCrate);
    auto r = kovatest::RunCrateServer({"--port", std::to_string(first.Port())});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Output.find("cannot listen"), std::string::npos) << r.Output;

    const std::string path = ::testing::TempDir() + "/bad.json";
    struct Case {
        const char *json;
        const char *says;
    } cases[] = {
        {"{ not json", "not valid JSON"},
        {R"({ "crates": [ { "serial": "2T1", "modules": [ { "slot": 17 } ] } ] })", "slot"},
        {R"({ "crates": [ { "serial": "2T1", "refuse_opne": true } ] })", "refuse_opne"},
        {R"({ "crates": [ { "serial": "2T1", "modules": [ { "slot": 1, "id": "0xZZ" } ] } ] })",
         "id"},
    };
    for (const auto &c : cases) {
        FILE *f = std::fopen(path.c_str(), "w");
        std::fputs(c.json, f);
        std::fclose(f);
        r = kovatest::RunCrateServer({"--config", path, "--port", "0"});
        EXPECT_EQ(r.ExitCode, 1) << c.json;
        EXPECT_NE(r.Output.find(c.says), std::string::npos) << r.Output;
    }
    r = kovatest::RunCrateServer({"--config", path + ".missing"});
    EXPECT_EQ(r.ExitCode, 1);
    r = kovatest::RunCrateServer({"--bogus"});
    EXPECT_EQ(r.ExitCode, 1);
}

TEST(CrateServer, LogPrintsOneLinePerRequestWithMonotonicMilliseconds) {
    TCrateServerProcess server(kOneCrate, 0, {"--log"});
    ASSERT_EQ(FirstCrate(server.Port()), "2T000077");
    ASSERT_TRUE(server.WaitForOutput("closed"));
    const std::string out = server.Output();
    EXPECT_NE(out.find(" connection"), std::string::npos) << out;
    EXPECT_NE(out.find("open crate \"\" ok"), std::string::npos) << out;
    long last = -1;
    std::size_t pos = out.find('\n') + 1; // after "listening on ..."
    while (pos < out.size()) {
        const long ms = std::strtol(out.c_str() + pos, nullptr, 10);
        EXPECT_GE(ms, last);
        last = ms;
        pos = out.find('\n', pos) + 1;
        if (pos == 0)
            break;
    }
}

TEST(CrateServer, SighupRereadsTheConfiguration) {
    TCrateServerProcess server(kOneCrate);
    ASSERT_EQ(FirstCrate(server.Port()), "2T000077");
    server.WriteConfig(R"({ "crates": [ { "serial": "2T000088" } ] })");
    server.Signal(SIGHUP);
    ASSERT_TRUE(server.WaitForOutput("configuration re-read"));
    EXPECT_EQ(FirstCrate(server.Port()), "2T000088");

    server.WriteConfig("{ broken");
    server.Signal(SIGHUP);
    ASSERT_TRUE(server.WaitForOutput("configuration kept"));
    EXPECT_EQ(FirstCrate(server.Port()), "2T000088");
}

TEST(CrateServer, HostileInputClosesOnlyThatLink) {
    TCrateServerProcess server(kOneCrate);
    const int bystander = Connect(server.Port());
    ASSERT_GE(bystander, 0);

    std::mt19937 random(7);
    std::vector<std::uint8_t> noise(5000);
    for (int round = 0; round < 20; ++round) {
        for (auto &b : noise)
            b = static_cast<std::uint8_t>(random());
        const int fd = Connect(server.Port());
        ASSERT_GE(fd, 0);
        send(fd, noise.data(), noise.size(), MSG_NOSIGNAL);
        EXPECT_TRUE(ClosedByPeer(fd, 5000)) << "round " << round;
        close(fd);
    }
    struct Case {
        const char *what;
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        {"oversized open-module length", {0xFF, 0xFF, 0xFF, 0x7F, 10, 0, 0, 0}},
        {"payload on a request without one", {4, 0, 0, 0, 1, 0, 0, 0, 1, 2, 3, 4}},
        {"unknown type", {0, 0, 0, 0, 99, 0, 0, 0}},
        {"short set-adc", {4, 0, 0, 0, 11, 0, 0, 0, 1, 2, 3, 4}},
    };
    for (const auto &c : cases) {
        const int fd = Connect(server.Port());
        send(fd, c.bytes.data(), c.bytes.size(), MSG_NOSIGNAL);
        EXPECT_TRUE(ClosedByPeer(fd, 5000)) << c.what;
        close(fd);
    }
    // A message begun and never finished: the link closes after the server's time-out.
    const int stalled = Connect(server.Port());
    const std::uint8_t half[] = {16, 0, 0, 0, 2, 0};
    send(stalled, half, sizeof half, MSG_NOSIGNAL);
    EXPECT_TRUE(ClosedByPeer(stalled, 15000));
    close(stalled);

    // A client that vanishes mid-message.
    const int vanished = Connect(server.Port());
    send(vanished, half, 3, MSG_NOSIGNAL);
    close(vanished);

    EXPECT_EQ(FirstCrate(server.Port()), "2T000077");
    pollfd p{bystander, POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 0), 0) << "the idle bystander's link is untouched";
    close(bystander);
}

TEST(CrateServer, ServesSeventyLinksAtOnce) {
    TCrateServerProcess server(kOneCrate);
    std::vector<KovaCrateConnection> links(70);
    for (auto &c : links) {
        KOVA_Init(&c);
        c.ServerPort = server.Port();
        ASSERT_EQ(KOVA_Open(&c), 0);
    }
    int listed = 0;
    for (auto &c : links) {
        uint8_t serials[256] = {};
        listed += KOVA_GetCrates(&c, serials) == 0 &&
                  std::string(reinterpret_cast<char *>(serials)) == "2T000077";
    }
    EXPECT_EQ(listed, 70);
    for (auto &c : links)
        KOVA_Close(&c);
}

} // namespace
