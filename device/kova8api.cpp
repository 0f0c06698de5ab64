// Module library: a client of the crate server. The open module's socket, receive buffer and
// run state live in a session object whose address the descriptor's library bytes hold, so a
// descriptor carries everything and may move from one thread to another between calls.
#include "device/kova8api.h"
#include "device/kova8format.h"
#include "device/kovaclient.h"

#include <bit>
#include <cstring>
#include <fstream>
#include <memory>

static_assert(std::endian::native == std::endian::little, "sample words travel as they lie");

namespace {

constexpr std::uint32_t kMagic = 0x384B5653u; // marks a descriptor with an open session
constexpr std::size_t kMagicAt = 0;           // inside LibraryData2
constexpr std::size_t kSessionAt = 8;
constexpr auto kReplyTimeout = std::chrono::milliseconds(5000);
constexpr auto kOpenTimeout = std::chrono::milliseconds(30000); // firmware load included
constexpr std::size_t kReceiveBuffer = 1 << 20;

struct ModuleSession {
    kovaclient::Connection Conn{kReceiveBuffer};
    std::uint8_t Variant = 0;
    bool Configured = false;
    bool Running = false;
    bool Broken = false;
    std::uint32_t DataLeft = 0; // bytes of the current data message still to hand out
    std::uint32_t RunWords = 0;
};

ModuleSession *SessionOf(const Kova8Descriptor *d) {
    std::uint32_t magic;
    std::memcpy(&magic, d->LibraryData2 + kMagicAt, 4);
    if (magic != kMagic)
        return nullptr;
    ModuleSession *s;
    std::memcpy(&s, d->LibraryData2 + kSessionAt, sizeof s);
    return s;
}

void Attach(Kova8Descriptor *d, ModuleSession *s) {
    const std::uint32_t magic = s ? kMagic : 0;
    std::memcpy(d->LibraryData2 + kMagicAt, &magic, 4);
    std::memcpy(d->LibraryData2 + kSessionAt, &s, sizeof s);
}

void CopyText(char *to, std::size_t size, const std::string &text) {
    std::memset(to, 0, size);
    std::memcpy(to, text.data(), std::min(text.size(), size - 1));
}

// One request and its reply; the reply's status, or -1 when the link broke (it is then
// unusable and marked so).
int Request(ModuleSession *s, const std::vector<std::uint8_t> &message, std::uint16_t type,
            std::vector<std::uint8_t> &payload, std::chrono::milliseconds timeout) {
    if (s->Broken)
        return -1;
    const auto deadline = kovaclient::Clock::now() + timeout;
    kovaproto::Header header;
    if (!s->Conn.Send(message, deadline) ||
        s->Conn.ReadReply(type, kovaproto::kMaxReplyPayload, header, payload, s->DataLeft,
                          deadline) != kovaclient::Io::Ok) {
        s->Broken = true;
        return -1;
    }
    return header.Status;
}

bool ReadFile(const char *path, std::vector<std::uint8_t> &bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0 || size > static_cast<std::streamoff>(kovaproto::kMaxFirmwareSize))
        return false;
    in.seekg(0);
    bytes.resize(static_cast<std::size_t>(size));
    in.read(reinterpret_cast<char *>(bytes.data()), size);
    return static_cast<bool>(in) || in.gcount() == size;
}

} // namespace

extern "C" {

int32_t KOVA8_Init(Kova8Descriptor *module) {
    if (!module)
        return 1;
    // A session still attached here is dropped, not closed: the bytes may be a copy or
    // uninitialised, and freeing through them would be worse than a leaked socket.
    std::memset(module, 0, sizeof *module);
    module->RecordSize = KOVA8_DESCRIPTOR_SIZE;
    return 0;
}

int32_t KOVA8_Open(Kova8Descriptor *module, uint32_t serverAddress, uint16_t serverPort,
                   const char *crateSerial, int32_t slot, const char *firmwareFile) {
    if (!module || !crateSerial || !firmwareFile || SessionOf(module))
        return 1;
    if (strnlen(crateSerial, 16) >= 16 || slot < 1 || slot > 16)
        return 1;
    try {
        std::vector<std::uint8_t> firmware;
        if (!ReadFile(firmwareFile, firmware))
            return 1;
        auto s = std::make_unique<ModuleSession>();
        if (!s->Conn.Connect(serverAddress, serverPort, kReplyTimeout))
            return 1;
        const auto message = kovaproto::Writer(kovaproto::kOpenModule)
                                 .Text(crateSerial, 16)
                                 .U32(static_cast<std::uint32_t>(slot))
                                 .Raw(firmware.data(), firmware.size())
                                 .Finish();
        std::vector<std::uint8_t> payload;
        if (Request(s.get(), message, kovaproto::kOpenModule, payload, kOpenTimeout) !=
            kovaproto::kOk) {
            s->Conn.Close();
            return 1;
        }
        kovaproto::Reader r(payload.data(), payload.size());
        const auto info = kovaproto::DecodeModuleInfo(r);
        if (!info) {
            s->Conn.Close();
            return 1;
        }
        CopyText(module->ModuleName, sizeof module->ModuleName, info->Name);
        module->Variant = info->Variant;
        CopyText(module->SerialNumber, sizeof module->SerialNumber, info->Serial);
        CopyText(module->FirmwareVersion, sizeof module->FirmwareVersion, info->Firmware);
        s->Variant = info->Variant;
        Attach(module, s.release());
        return 0;
    } catch (...) {
        return 1;
    }
}

int32_t KOVA8_IsOpened(Kova8Descriptor *module) {
    return module && SessionOf(module) ? 0 : 1;
}

int32_t KOVA8_Close(Kova8Descriptor *module) {
    if (!module)
        return 1;
    ModuleSession *s = SessionOf(module);
    if (!s)
        return 1;
    try {
        std::vector<std::uint8_t> payload;
        Request(s, kovaproto::Writer(kovaproto::kCloseModule).Finish(), kovaproto::kCloseModule,
                payload, std::chrono::milliseconds(1000));
    } catch (...) {
    }
    s->Conn.Close();
    delete s;
    Attach(module, nullptr);
    return 0;
}

uint32_t KOVA8_CreateLChannel2(uint32_t channel, uint32_t rangeCode, uint32_t flags) {
    return kova8::MakeLChannel(channel, rangeCode, flags);
}

int32_t KOVA8_SetADC(Kova8Descriptor *module) {
    if (!module)
        return 1;
    ModuleSession *s = SessionOf(module);
    if (!s || s->Running || s->Broken)
        return 1;
    if (kova8::CheckAdcConfig(*module, s->Variant) != kova8::kAdcOk)
        return 1;
    try {
        kovaproto::AdcConfig c;
        c.RecordSize = module->RecordSize;
        c.Mode = module->AcquisitionMode;
        c.Switch1 = module->Switch1;
        c.Switch2 = module->Switch2;
        c.Count = module->LChannelCount;
        std::copy(module->LChannels, module->LChannels + 8, c.Channels.begin());
        c.Reference = module->ReferenceVoltage;
        c.Reserved92 = module->Reserved92;
        std::vector<std::uint8_t> payload;
        if (Request(s, kovaproto::EncodeAdcConfig(c), kovaproto::kSetAdc, payload, kReplyTimeout) !=
            kovaproto::kOk)
            return 1;
        kovaproto::Reader r(payload.data(), payload.size());
        const double rate = r.F64();
        if (!r.Ok() || !r.AtEnd() || !(rate > 0.0))
            return 1;
        module->ChannelRate = rate;
        s->Configured = true;
        return 0;
    } catch (...) {
        return 1;
    }
}

int32_t KOVA8_Start(Kova8Descriptor *module) {
    if (!module)
        return 1;
    ModuleSession *s = SessionOf(module);
    if (!s || !s->Configured || s->Running || s->Broken)
        return 1;
    try {
        std::vector<std::uint8_t> payload;
        if (Request(s, kovaproto::Writer(kovaproto::kStart).Finish(), kovaproto::kStart, payload,
                    kReplyTimeout) != kovaproto::kOk)
            return 1;
        s->Running = true;
        s->DataLeft = 0;
        s->RunWords = 0;
        return 0;
    } catch (...) {
        return 1;
    }
}

int32_t KOVA8_Stop(Kova8Descriptor *module) {
    if (!module)
        return 1;
    ModuleSession *s = SessionOf(module);
    if (!s)
        return 1;
    try {
        std::vector<std::uint8_t> payload;
        const int status = Request(s, kovaproto::Writer(kovaproto::kStop).Finish(),
                                   kovaproto::kStop, payload, kReplyTimeout);
        // The server ends the stream whatever it answers, so the run is over either way.
        s->Running = false;
        s->DataLeft = 0;
        return status == kovaproto::kOk ? 0 : 1;
    } catch (...) {
        return 1;
    }
}

int32_t KOVA8_Recv(Kova8Descriptor *module, uint32_t *data, uint32_t *timeMarks, uint32_t words,
                   uint32_t timeoutMs) {
    if (!module)
        return -1;
    ModuleSession *s = SessionOf(module);
    if (!s || !s->Running || s->Broken || (!data && words > 0) || words > 0x7FFFFFFFu)
        return -1;
    kovaclient::Connection &c = s->Conn;
    std::uint32_t got = 0;
    bool haveDeadline = false;
    kovaclient::Clock::time_point deadline;
    while (got < words) {
        if (s->DataLeft == 0) {
            if (c.Available() >= kovaproto::kHeaderSize) {
                const kovaproto::Header h = kovaproto::DecodeHeader(c.Data());
                if (h.Type != kovaproto::kData || h.Length > kovaproto::kMaxDataPayload ||
                    h.Length % 4 != 0) {
                    s->Broken = true;
                    break;
                }
                c.Consume(kovaproto::kHeaderSize);
                s->DataLeft = h.Length;
                continue;
            }
        } else {
            const std::size_t ready = std::min<std::size_t>(s->DataLeft, c.Available()) / 4;
            const std::uint32_t take =
                static_cast<std::uint32_t>(std::min<std::size_t>(ready, words - got));
            if (take > 0) {
                std::memcpy(data + got, c.Data(), 4 * std::size_t{take});
                if (timeMarks)
                    for (std::uint32_t i = 0; i < take; ++i)
                        timeMarks[got + i] = s->RunWords + i;
                c.Consume(4 * std::size_t{take});
                s->DataLeft -= 4 * take;
                s->RunWords += take;
                got += take;
                continue;
            }
        }
        if (!haveDeadline) {
            deadline = kovaclient::Clock::now() + std::chrono::milliseconds(timeoutMs);
            haveDeadline = true;
        }
        const kovaclient::Io r = c.Fill(deadline);
        if (r == kovaclient::Io::Timeout)
            break;
        if (r == kovaclient::Io::Broken) {
            s->Broken = true;
            break;
        }
    }
    if (got == 0 && s->Broken)
        return -1;
    return static_cast<int32_t>(got);
}

int32_t KOVA8_ProcessData(Kova8Descriptor *, const uint32_t *raw, double *values, int32_t *count,
                          int32_t volts) {
    if (!count)
        return 1;
    if (!raw || !values) {
        *count = 0;
        return 1;
    }
    int written = 0;
    const int n = kova8::DecodeSamples(raw, *count, values, volts != 0, &written);
    *count = written;
    return n < 0 ? 1 : 0;
}

int32_t KOVA8_ReadEeprom(Kova8Descriptor *module, uint16_t address, uint8_t *buffer,
                         uint16_t length) {
    if (!module || !buffer || std::uint32_t{address} + length > kova8::kEepromSize)
        return 1;
    ModuleSession *s = SessionOf(module);
    if (!s || s->Running || s->Broken)
        return 1;
    try {
        std::vector<std::uint8_t> payload;
        if (Request(s, kovaproto::Writer(kovaproto::kReadEeprom).U16(address).U16(length).Finish(),
                    kovaproto::kReadEeprom, payload, kReplyTimeout) != kovaproto::kOk ||
            payload.size() != length)
            return 1;
        std::memcpy(buffer, payload.data(), length);
        return 0;
    } catch (...) {
        return 1;
    }
}

} // extern "C"
