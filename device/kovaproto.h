// Wire protocol between the device libraries and the crate server: one TCP connection per open
// crate or module, length-prefixed little-endian messages, one request and one reply each; after
// a start the module's connection also carries data messages until the stop reply.
//
// Every message: u32 payload length, u16 type, u16 status (replies; 0 = success), payload.
// Both sides bound the payload by the type's limit before reading it, and read every field
// through Reader, which refuses to run past the payload.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kovaproto {

constexpr std::size_t kHeaderSize = 8;
constexpr std::uint32_t kMaxFirmwareSize = 256 * 1024;
constexpr std::uint32_t kMaxRequestPayload = kMaxFirmwareSize + 64;
constexpr std::uint32_t kMaxReplyPayload = 4096;
constexpr std::uint32_t kMaxDataPayload = 64 * 1024;

enum Type : std::uint16_t {
    kListCrates = 1,   // -> 16 x 16 bytes of serials
    kOpenCrate = 2,    // serial[16] (empty: no particular crate)
    kCrateModules = 3, // -> 16 x u16 identifiers of the opened crate
    kOpenModule = 10,  // serial[16], i32 slot, firmware image -> ModuleInfo
    kSetAdc = 11,      // AdcConfig -> f64 rate per channel
    kStart = 12,
    kStop = 13,
    kReadEeprom = 14, // u16 address, u16 length -> bytes
    kCloseModule = 15,
    kData = 20, // server to client while running: u32 words
    kReplyFlag = 0x8000,
};

enum Status : std::uint16_t {
    kOk = 0,
    kRefused = 1,    // a fault knob or the device said no
    kNotFound = 2,   // no such crate, slot or module
    kBadRequest = 3, // malformed or out-of-range fields
    kBusy = 4,       // the module is open on another connection
    kBadState = 5,   // not open, not configured, running, not running
    kBadFirmware = 6,
};

struct Header {
    std::uint32_t Length = 0;
    std::uint16_t Type = 0;
    std::uint16_t Status = 0;
};

inline void PutU16(std::uint8_t *p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void PutU32(std::uint8_t *p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline std::uint16_t GetU16(const std::uint8_t *p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t GetU32(const std::uint8_t *p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline void EncodeHeader(std::uint8_t *p, const Header &h) {
    PutU32(p, h.Length);
    PutU16(p + 4, h.Type);
    PutU16(p + 6, h.Status);
}

inline Header DecodeHeader(const std::uint8_t *p) {
    return Header{GetU32(p), GetU16(p + 4), GetU16(p + 6)};
}

// Largest payload a side accepts for a message type; 0 for types it never receives.
inline std::uint32_t RequestLimit(std::uint16_t type) {
    switch (type) {
    case kListCrates:
    case kCrateModules:
    case kStart:
    case kStop:
    case kCloseModule:
        return 0;
    case kOpenCrate:
        return 16;
    case kOpenModule:
        return kMaxRequestPayload;
    case kSetAdc:
        return 64;
    case kReadEeprom:
        return 4;
    default:
        return 0;
    }
}

inline bool KnownRequest(std::uint16_t type) {
    switch (type) {
    case kListCrates:
    case kOpenCrate:
    case kCrateModules:
    case kOpenModule:
    case kSetAdc:
    case kStart:
    case kStop:
    case kReadEeprom:
    case kCloseModule:
        return true;
    default:
        return false;
    }
}

// Builds one message.
class Writer {
public:
    explicit Writer(std::uint16_t type, std::uint16_t status = kOk) : Bytes(kHeaderSize) {
        EncodeHeader(Bytes.data(), Header{0, type, status});
    }
    Writer &U8(std::uint8_t v) {
        Bytes.push_back(v);
        return *this;
    }
    Writer &U16(std::uint16_t v) {
        std::uint8_t b[2];
        PutU16(b, v);
        Bytes.insert(Bytes.end(), b, b + 2);
        return *this;
    }
    Writer &U32(std::uint32_t v) {
        std::uint8_t b[4];
        PutU32(b, v);
        Bytes.insert(Bytes.end(), b, b + 4);
        return *this;
    }
    Writer &F64(double v) {
        std::uint64_t bits;
        std::memcpy(&bits, &v, 8);
        U32(static_cast<std::uint32_t>(bits));
        return U32(static_cast<std::uint32_t>(bits >> 32));
    }
    // Fixed-size text field, NUL-padded; longer text is cut so the field keeps its NUL.
    Writer &Text(std::string_view text, std::size_t size) {
        const std::size_t n = text.size() < size ? text.size() : size - 1;
        Bytes.insert(Bytes.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n));
        Bytes.insert(Bytes.end(), size - n, std::uint8_t{0});
        return *this;
    }
    Writer &Raw(const void *data, std::size_t size) {
        const auto *p = static_cast<const std::uint8_t *>(data);
        Bytes.insert(Bytes.end(), p, p + size);
        return *this;
    }
    // The finished message, its length field filled in.
    std::vector<std::uint8_t> Finish() {
        PutU32(Bytes.data(), static_cast<std::uint32_t>(Bytes.size() - kHeaderSize));
        return std::move(Bytes);
    }

private:
    std::vector<std::uint8_t> Bytes;
};

// Reads fields of one payload; every read past the end fails and leaves Ok() false.
class Reader {
public:
    Reader(const std::uint8_t *data, std::size_t size) : Data(data), Size(size) {}
    bool Ok() const { return Good; }
    bool AtEnd() const { return Pos == Size; }
    std::size_t Left() const { return Size - Pos; }

    std::uint8_t U8() { return Take(1) ? Data[Pos - 1] : 0; }
    std::uint16_t U16() { return Take(2) ? GetU16(Data + Pos - 2) : 0; }
    std::uint32_t U32() { return Take(4) ? GetU32(Data + Pos - 4) : 0; }
    std::int32_t I32() { return static_cast<std::int32_t>(U32()); }
    double F64() {
        const std::uint64_t lo = U32();
        const std::uint64_t hi = U32();
        const std::uint64_t bits = lo | (hi << 32);
        double v;
        std::memcpy(&v, &bits, 8);
        return v;
    }
    // A fixed-size text field; the text ends at the first NUL or at the field's end.
    std::string Text(std::size_t size) {
        if (!Take(size))
            return {};
        const char *p = reinterpret_cast<const char *>(Data + Pos - size);
        std::size_t n = 0;
        while (n < size && p[n] != 0)
            ++n;
        return std::string(p, n);
    }
    const std::uint8_t *Bytes(std::size_t size) { return Take(size) ? Data + Pos - size : nullptr; }

private:
    bool Take(std::size_t n) {
        if (!Good || n > Size - Pos) {
            Good = false;
            return false;
        }
        Pos += n;
        return true;
    }
    const std::uint8_t *Data;
    std::size_t Size;
    std::size_t Pos = 0;
    bool Good = true;
};

// Module identity in the open reply.
struct ModuleInfo {
    std::string Name; // at most 14 characters on the wire
    std::uint8_t Variant = 0;
    std::string Serial;   // at most 23
    std::string Firmware; // at most 31
};

inline std::vector<std::uint8_t> EncodeModuleInfo(const ModuleInfo &m) {
    return Writer(kOpenModule | kReplyFlag)
        .Text(m.Name, 15)
        .U8(m.Variant)
        .Text(m.Serial, 24)
        .Text(m.Firmware, 32)
        .Finish();
}

inline std::optional<ModuleInfo> DecodeModuleInfo(Reader &r) {
    ModuleInfo m;
    m.Name = r.Text(15);
    m.Variant = r.U8();
    m.Serial = r.Text(24);
    m.Firmware = r.Text(32);
    if (!r.Ok() || !r.AtEnd())
        return std::nullopt;
    return m;
}

// ADC configuration as the descriptor holds it.
struct AdcConfig {
    std::uint32_t RecordSize = 0;
    std::uint32_t Mode = 0;
    std::uint32_t Switch1 = 0;
    std::uint32_t Switch2 = 0;
    std::uint32_t Count = 0;
    std::array<std::uint32_t, 8> Channels{};
    std::uint32_t Reference = 0;
    std::uint32_t Reserved92 = 0;
};

inline std::vector<std::uint8_t> EncodeAdcConfig(const AdcConfig &c) {
    Writer w(kSetAdc);
    w.U32(c.RecordSize).U32(c.Mode).U32(c.Switch1).U32(c.Switch2).U32(c.Count);
    for (auto ch : c.Channels)
        w.U32(ch);
    w.U32(c.Reference).U32(c.Reserved92);
    return w.Finish();
}

inline std::optional<AdcConfig> DecodeAdcConfig(Reader &r) {
    AdcConfig c;
    c.RecordSize = r.U32();
    c.Mode = r.U32();
    c.Switch1 = r.U32();
    c.Switch2 = r.U32();
    c.Count = r.U32();
    for (auto &ch : c.Channels)
        ch = r.U32();
    c.Reference = r.U32();
    c.Reserved92 = r.U32();
    if (!r.Ok() || !r.AtEnd())
        return std::nullopt;
    return c;
}

} // namespace kovaproto
