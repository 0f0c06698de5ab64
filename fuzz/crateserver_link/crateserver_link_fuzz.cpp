// The server side of the wire protocol: any bytes as the request stream of one link. The
// server never crashes, closes that link once its peer has left, gives back the module the
// link held, and keeps serving a well-formed client on another link meanwhile.
//
// The input is the whole stream, sent at once; the seeds are real request sequences, so the
// mutations keep most of their structure.
#include "fuzzcheck.h"

#include "crateserver/model.h"
#include "crateserver/server.h"
#include "device/kova8firmware.h"
#include "device/kovaproto.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <future>
#include <memory>
#include <thread>
#include <vector>

namespace {

namespace proto = kovaproto;
using Clock = std::chrono::steady_clock;

// Every kind of module the requests can reach: a foreign one, KOVA8 of both variants, and
// modules with each stream fault.
constexpr const char *kConfig = R"({
  "firmware_load_ms": 1,
  "crates": [
    { "serial": "2T000001", "modules": [ { "slot": 2, "id": 4660 } ] },
    { "serial": "2T000002", "modules": [
      { "slot": 3, "variant": 0, "channels": [ { "dc_mV": 1.5, "noise_uV": 3 } ] },
      { "slot": 7, "variant": 2, "channels": [ { "dc_mV": 5.0, "sine_mV": 1, "sine_hz": 5 } ] },
      { "slot": 9, "variant": 2, "faults": { "drop_after_words": 64 } },
      { "slot": 10, "variant": 2, "faults": { "stall_after_words": 32 } },
      { "slot": 11, "variant": 2, "faults": { "corrupt_after_words": 16, "eeprom_fail": true } },
      { "slot": 12, "faults": { "refuse_open": true } },
      { "slot": 13, "faults": { "refuse_set_adc": true, "refuse_start": true } },
      { "slot": 14, "faults": { "refuse_stop": true } } ] },
    { "serial": "2T000003", "refuse_open": true, "refuse_module_query": true }
  ]
})";

// Reads exactly size bytes or gives up at the deadline.
bool ReadExactly(int fd, std::uint8_t *to, std::size_t size, Clock::time_point deadline) {
    std::size_t got = 0;
    while (got < size) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0)
            continue;
        const ssize_t n = ::recv(fd, to + got, size - got, 0);
        if (n <= 0)
            return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

void SendAll(int fd, const std::uint8_t *data, std::size_t size) {
    std::size_t sent = 0;
    while (sent < size) {
        const ssize_t n = ::send(fd, data + sent, size - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return; // the server may close a malformed link at once
        sent += static_cast<std::size_t>(n);
    }
}

// One request on a well-formed link; its reply must come, succeed and have the size.
void Exchange(int fd, const std::vector<std::uint8_t> &request, std::uint16_t type,
              std::size_t replySize) {
    SendAll(fd, request.data(), request.size());
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    std::uint8_t head[proto::kHeaderSize];
    FUZZ_CHECK(ReadExactly(fd, head, sizeof head, deadline));
    const proto::Header h = proto::DecodeHeader(head);
    FUZZ_CHECK(h.Type == (type | proto::kReplyFlag));
    FUZZ_CHECK(h.Status == proto::kOk);
    FUZZ_CHECK(h.Length == replySize);
    std::vector<std::uint8_t> payload(h.Length);
    FUZZ_CHECK(ReadExactly(fd, payload.data(), payload.size(), deadline));
}

// The server on its own thread, as kova-crated runs it.
struct Harness {
    asio::io_context Io{1};
    asio::executor_work_guard<asio::io_context::executor_type> Work{Io.get_executor()};
    std::unique_ptr<crated::CrateServer> Server;
    std::uint16_t Port = 0;
    int Good = -1; // a crate link that stays open through every input
    std::uint32_t Links = 0;

    Harness() {
        crated::ServerLimits limits;
        limits.PartialMessageTimeout = std::chrono::milliseconds(500);
        limits.WriteStallTimeout = std::chrono::milliseconds(2000);
        Server = std::make_unique<crated::CrateServer>(Io, crated::ParseConfigText(kConfig), 0,
                                                       crated::CrateServer::LogSink{}, limits);
        Port = Server->Port();
        std::thread([this] { Io.run(); }).detach();
        Good = Connect();
        Exchange(Good, proto::Writer(proto::kOpenCrate).Text("", 16).Finish(), proto::kOpenCrate,
                 0);
    }

    int Connect() {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        FUZZ_CHECK(fd >= 0);
        // Our side ends most links first, so each leaves a TIME_WAIT behind for a minute; a
        // new loopback source address for every link keeps thousands of links a minute from
        // using up the local ports of one address.
        sockaddr_in from{};
        from.sin_family = AF_INET;
        ++Links;
        from.sin_addr.s_addr = htonl(0x7F010000u | (Links % 0xFFFEu + 1));
        FUZZ_CHECK(::bind(fd, reinterpret_cast<sockaddr *>(&from), sizeof from) == 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(Port);
        if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
            // Says which of the host's limits ran out, if one did.
            std::fprintf(stderr, "connect from link %u: %s\n", Links, std::strerror(errno));
            FUZZ_CHECK(false);
        }
        return fd;
    }

    std::size_t Connections() {
        std::promise<std::size_t> count;
        asio::post(Io, [&] { count.set_value(Server->Connections()); });
        return count.get_future().get();
    }
};

Harness &TheHarness() {
    static Harness *h = new Harness; // lives as long as the process
    return *h;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    Harness &h = TheHarness();
    const int fd = h.Connect();
    SendAll(fd, data, size);
    ::shutdown(fd, SHUT_WR);
    // Whatever the server answers, it must end the link once it has read our end, within
    // its limits (a partial message, a stalled reader) and then some.
    const auto deadline = Clock::now() + std::chrono::seconds(8);
    std::vector<std::uint8_t> sink(65536);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        FUZZ_CHECK(left > 0);
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0)
            continue;
        if (::recv(fd, sink.data(), sink.size(), 0) <= 0)
            break;
    }
    ::close(fd);
    FUZZ_CHECK(h.Connections() == 1);

    // The other link is still served, and a module the fuzzed link opened is free again.
    Exchange(h.Good, proto::Writer(proto::kListCrates).Finish(), proto::kListCrates, 16 * 16);
    static const std::vector<std::uint8_t> image = kova8fw::StandardImage();
    const int module = h.Connect();
    Exchange(module,
             proto::Writer(proto::kOpenModule)
                 .Text("2T000002", 16)
                 .U32(3)
                 .Raw(image.data(), image.size())
                 .Finish(),
             proto::kOpenModule, 15 + 1 + 24 + 32);
    Exchange(module, proto::Writer(proto::kCloseModule).Finish(), proto::kCloseModule, 0);
    // Gone before the next input counts the links.
    ::shutdown(module, SHUT_WR);
    std::uint8_t byte;
    FUZZ_CHECK(!ReadExactly(module, &byte, 1, Clock::now() + std::chrono::seconds(5)));
    ::close(module);
    return 0;
}
