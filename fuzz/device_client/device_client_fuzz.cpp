// The client side of the wire protocol: a peer in the crate server's place sends any bytes
// as its replies and data messages, and the crate library or the module library goes through
// its calls against them. No call crashes, hangs or leaks; what a call hands back stays
// inside its fields and its words decode to values inside the range.
//
// Input: byte 0 picks the library and the calls (bit 0: module library; bit 1: read the
// EEPROM before the run; bit 2: skip the configuration), byte 1 the EEPROM read, the rest is
// everything the peer sends on the link, at once, before it ends its side.
#include "fuzzcheck.h"

#include "device/kova8api.h"
#include "device/kova8firmware.h"
#include "device/kovaapi.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// Listens on a free loopback port; for every link it sends the script it was given, ends
// its side and takes what the client writes until the client leaves.
class ScriptedPeer {
public:
    ScriptedPeer() {
        Listener = ::socket(AF_INET, SOCK_STREAM, 0);
        FUZZ_CHECK(Listener >= 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        FUZZ_CHECK(::bind(Listener, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0);
        FUZZ_CHECK(::listen(Listener, 16) == 0);
        socklen_t len = sizeof addr;
        FUZZ_CHECK(::getsockname(Listener, reinterpret_cast<sockaddr *>(&addr), &len) == 0);
        PortNumber = ntohs(addr.sin_port);
        std::thread([this] { Serve(); }).detach();
    }

    std::uint16_t Port() const { return PortNumber; }

    void SetScript(std::vector<std::uint8_t> bytes) {
        std::lock_guard lock(Mutex);
        Script = std::move(bytes);
    }

    // Links accepted and finished so far.
    std::uint64_t Finished() {
        std::lock_guard lock(Mutex);
        return Done;
    }
    void WaitFinished(std::uint64_t count) {
        std::unique_lock lock(Mutex);
        Changed.wait(lock, [&] { return Done >= count; });
    }

private:
    void Serve() {
        for (;;) {
            const int fd = ::accept(Listener, nullptr, nullptr);
            if (fd < 0)
                continue;
            std::vector<std::uint8_t> script;
            {
                std::lock_guard lock(Mutex);
                script = Script;
            }
            std::size_t sent = 0;
            while (sent < script.size()) {
                const ssize_t n =
                    ::send(fd, script.data() + sent, script.size() - sent, MSG_NOSIGNAL);
                if (n <= 0)
                    break;
                sent += static_cast<std::size_t>(n);
            }
            ::shutdown(fd, SHUT_WR);
            std::uint8_t sink[16384];
            while (::recv(fd, sink, sizeof sink, 0) > 0) {
            }
            ::close(fd);
            std::lock_guard lock(Mutex);
            ++Done;
            Changed.notify_all();
        }
    }

    int Listener = -1;
    std::uint16_t PortNumber = 0;
    std::mutex Mutex;
    std::condition_variable Changed;
    std::vector<std::uint8_t> Script;
    std::uint64_t Done = 0;
};

ScriptedPeer &Peer() {
    static ScriptedPeer *peer = new ScriptedPeer; // lives as long as the process
    return *peer;
}

const std::string &FirmwarePath() {
    static const std::string path = [] {
        const std::string p = "/tmp/kova-fuzz-client-" + std::to_string(::getpid()) + ".bio";
        const auto image = kova8fw::StandardImage();
        std::ofstream out(p, std::ios::binary);
        out.write(reinterpret_cast<const char *>(image.data()),
                  static_cast<std::streamsize>(image.size()));
        FUZZ_CHECK(out.good());
        return p;
    }();
    return path;
}

bool Terminated(const char *field, std::size_t size) {
    return std::memchr(field, 0, size) != nullptr;
}

void CrateCalls(std::uint8_t choice) {
    KovaCrateConnection crate;
    FUZZ_CHECK(KOVA_Init(&crate) == 0);
    crate.ServerPort = Peer().Port();
    if (choice & 2)
        std::strcpy(crate.CrateSerial, "2T000002");
    if (KOVA_Open(&crate) != 0)
        return;
    std::uint8_t serials[KOVA_MAX_CRATES * KOVA_SERIAL_SIZE];
    if (KOVA_GetCrates(&crate, serials) == 0)
        for (int i = 0; i < KOVA_MAX_CRATES; ++i)
            FUZZ_CHECK(serials[i * KOVA_SERIAL_SIZE + KOVA_SERIAL_SIZE - 1] == 0);
    std::uint16_t ids[KOVA_MAX_SLOTS];
    (void)KOVA_GetCrateModules(&crate, ids);
    FUZZ_CHECK(KOVA_Close(&crate) == 0);
}

void ReadEeprom(Kova8Descriptor &module, std::uint8_t choice) {
    const std::uint16_t address = static_cast<std::uint16_t>(choice * 4);
    const std::uint16_t length = static_cast<std::uint16_t>(1 + choice % 64);
    std::vector<std::uint8_t> buffer(length + 1u, 0xA5);
    (void)KOVA8_ReadEeprom(&module, address, buffer.data(), length);
    FUZZ_CHECK(buffer[length] == 0xA5); // nothing written past the asked length
}

void ModuleCalls(std::uint8_t choice, std::uint8_t eeprom) {
    Kova8Descriptor module;
    FUZZ_CHECK(KOVA8_Init(&module) == 0);
    if (KOVA8_Open(&module, 0x7F000001u, Peer().Port(), "2T000002", 3, FirmwarePath().c_str()) !=
        0) {
        FUZZ_CHECK(KOVA8_IsOpened(&module) != 0);
        return;
    }
    FUZZ_CHECK(KOVA8_IsOpened(&module) == 0);
    FUZZ_CHECK(Terminated(module.ModuleName, sizeof module.ModuleName));
    FUZZ_CHECK(Terminated(module.SerialNumber, sizeof module.SerialNumber));
    FUZZ_CHECK(Terminated(module.FirmwareVersion, sizeof module.FirmwareVersion));
    if (choice & 2)
        ReadEeprom(module, eeprom);
    if (!(choice & 4)) {
        module.LChannelCount = 8;
        for (std::uint32_t c = 0; c < 8; ++c)
            module.LChannels[c] = KOVA8_CreateLChannel2(c + 1, c, 0);
        module.ReferenceVoltage = 1;
        if (KOVA8_SetADC(&module) == 0)
            FUZZ_CHECK(module.ChannelRate > 0.0);
    }
    if (KOVA8_Start(&module) == 0) {
        std::vector<std::uint32_t> words(4096);
        std::vector<std::uint32_t> marks(4096);
        std::vector<double> values(2048);
        std::uint32_t expectMark = 0;
        for (int round = 0; round < 64; ++round) {
            const std::int32_t got = KOVA8_Recv(&module, words.data(), marks.data(),
                                                static_cast<std::uint32_t>(words.size()), 1000);
            if (got <= 0)
                break;
            FUZZ_CHECK(static_cast<std::size_t>(got) <= words.size());
            for (std::int32_t i = 0; i < got; ++i)
                FUZZ_CHECK(marks[static_cast<std::size_t>(i)] == expectMark++);
            std::int32_t count = got & ~1;
            if (KOVA8_ProcessData(&module, words.data(), values.data(), &count, 0) == 0)
                for (std::int32_t i = 0; i < count; ++i)
                    FUZZ_CHECK(std::fabs(values[static_cast<std::size_t>(i)]) <= 80.0);
        }
        (void)KOVA8_Stop(&module);
    }
    if (!(choice & 2))
        ReadEeprom(module, eeprom);
    FUZZ_CHECK(KOVA8_Close(&module) == 0);
    FUZZ_CHECK(KOVA8_IsOpened(&module) != 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 2)
        return 0;
    ScriptedPeer &peer = Peer();
    (void)FirmwarePath();
    peer.SetScript(std::vector<std::uint8_t>(data + 2, data + size));
    const std::uint64_t before = peer.Finished();
    if (data[0] & 1)
        ModuleCalls(data[0], data[1]);
    else
        CrateCalls(data[0]);
    // The library gave its one link back: the peer saw it leave (a link kept open would hang
    // here, which libFuzzer reports as a time-out).
    peer.WaitFinished(before + 1);
    return 0;
}
