// Crate library: a client of the crate server. The connection's socket lives in a session
// object whose address the record's library bytes hold; nothing is global.
#include "device/kovaapi.h"
#include "device/kovaclient.h"

#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr std::uint32_t kMagic = 0x4B435243u; // marks an open connection record
constexpr auto kReplyTimeout = std::chrono::milliseconds(5000);

struct CrateSession {
    kovaclient::Connection Conn{8192};
};

CrateSession *SessionOf(const KovaCrateConnection *crate) {
    std::uint32_t magic;
    std::memcpy(&magic, crate->LibraryData, 4);
    if (magic != kMagic)
        return nullptr;
    CrateSession *s;
    std::memcpy(&s, crate->LibraryData + 4, sizeof s);
    return s;
}

void Attach(KovaCrateConnection *crate, CrateSession *s) {
    const std::uint32_t magic = s ? kMagic : 0;
    std::memcpy(crate->LibraryData, &magic, 4);
    std::memcpy(crate->LibraryData + 4, &s, sizeof s);
}

// One request, one reply with the given payload size; status of the reply or 1.
std::int32_t Request(CrateSession *s, std::vector<std::uint8_t> message, std::uint16_t type,
                     std::size_t replySize, std::vector<std::uint8_t> &payload) {
    const auto deadline = kovaclient::Clock::now() + kReplyTimeout;
    if (!s->Conn.Send(message, deadline))
        return 1;
    kovaproto::Header header;
    std::uint32_t dataLeft = 0;
    if (s->Conn.ReadReply(type, kovaproto::kMaxReplyPayload, header, payload, dataLeft, deadline) !=
        kovaclient::Io::Ok)
        return 1;
    if (header.Status != kovaproto::kOk)
        return 1;
    return payload.size() == replySize ? 0 : 1;
}

} // namespace

extern "C" {

int32_t KOVA_Init(KovaCrateConnection *crate) {
    if (!crate)
        return 1;
    std::memset(crate, 0, sizeof *crate);
    crate->ServerAddress = KOVA_SERVER_ADDRESS;
    crate->ServerPort = KOVA_SERVER_PORT;
    return 0;
}

int32_t KOVA_Open(KovaCrateConnection *crate) {
    if (!crate || SessionOf(crate))
        return 1;
    try {
        auto s = std::make_unique<CrateSession>();
        if (!s->Conn.Connect(crate->ServerAddress, crate->ServerPort, kReplyTimeout))
            return 1;
        const std::string serial(crate->CrateSerial,
                                 strnlen(crate->CrateSerial, sizeof crate->CrateSerial - 1));
        std::vector<std::uint8_t> payload;
        if (Request(s.get(), kovaproto::Writer(kovaproto::kOpenCrate).Text(serial, 16).Finish(),
                    kovaproto::kOpenCrate, 0, payload) != 0) {
            s->Conn.Close();
            return 1;
        }
        Attach(crate, s.release());
        return 0;
    } catch (...) {
        return 1;
    }
}

int32_t KOVA_Close(KovaCrateConnection *crate) {
    if (!crate)
        return 1;
    CrateSession *s = SessionOf(crate);
    if (!s)
        return 1;
    s->Conn.Close();
    delete s;
    Attach(crate, nullptr);
    return 0;
}

int32_t KOVA_GetCrates(KovaCrateConnection *crate, uint8_t *serials) {
    if (!crate || !serials)
        return 1;
    CrateSession *s = SessionOf(crate);
    if (!s)
        return 1;
    try {
        std::vector<std::uint8_t> payload;
        constexpr std::size_t size = KOVA_MAX_CRATES * KOVA_SERIAL_SIZE;
        if (Request(s, kovaproto::Writer(kovaproto::kListCrates).Finish(), kovaproto::kListCrates,
                    size, payload) != 0)
            return 1;
        std::memcpy(serials, payload.data(), size);
        for (int i = 0; i < KOVA_MAX_CRATES; ++i)
            serials[i * KOVA_SERIAL_SIZE + KOVA_SERIAL_SIZE - 1] = 0;
        return 0;
    } catch (...) {
        return 1;
    }
}

int32_t KOVA_GetCrateModules(KovaCrateConnection *crate, uint16_t *ids) {
    if (!crate || !ids)
        return 1;
    CrateSession *s = SessionOf(crate);
    if (!s)
        return 1;
    try {
        std::vector<std::uint8_t> payload;
        if (Request(s, kovaproto::Writer(kovaproto::kCrateModules).Finish(),
                    kovaproto::kCrateModules, 2 * KOVA_MAX_SLOTS, payload) != 0)
            return 1;
        for (int i = 0; i < KOVA_MAX_SLOTS; ++i)
            ids[i] = kovaproto::GetU16(payload.data() + 2 * i);
        return 0;
    } catch (...) {
        return 1;
    }
}

} // extern "C"
