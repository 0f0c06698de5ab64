// The simulated DSP image KOVA8.bio: "KOVA8BIO", u32 format 1, u32 payload length, the payload,
// u32 FNV-1a checksum of everything before it. The server refuses any other image.
#pragma once

#include "device/kovaproto.h"

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace kova8fw {

constexpr std::string_view kMagic = "KOVA8BIO";
constexpr std::size_t kHeader = 16;
constexpr std::size_t kOverhead = kHeader + 4;

inline std::uint32_t Checksum(const std::uint8_t *data, std::size_t size) {
    std::uint32_t h = 2166136261u;
    for (std::size_t i = 0; i < size; ++i) {
        h ^= data[i];
        h *= 16777619u;
    }
    return h;
}

inline bool Valid(const std::uint8_t *data, std::size_t size) {
    if (size < kOverhead || size > kovaproto::kMaxFirmwareSize)
        return false;
    if (std::string_view(reinterpret_cast<const char *>(data), kMagic.size()) != kMagic)
        return false;
    if (kovaproto::GetU32(data + 8) != 1)
        return false;
    const std::uint32_t length = kovaproto::GetU32(data + 12);
    if (length != size - kOverhead)
        return false;
    return kovaproto::GetU32(data + kHeader + length) == Checksum(data, kHeader + length);
}

inline std::vector<std::uint8_t> Build(const std::vector<std::uint8_t> &payload) {
    std::vector<std::uint8_t> image(kOverhead + payload.size());
    std::memcpy(image.data(), kMagic.data(), kMagic.size());
    kovaproto::PutU32(image.data() + 8, 1);
    kovaproto::PutU32(image.data() + 12, static_cast<std::uint32_t>(payload.size()));
    if (!payload.empty())
        std::memcpy(image.data() + kHeader, payload.data(), payload.size());
    kovaproto::PutU32(image.data() + kHeader + payload.size(),
                      Checksum(image.data(), kHeader + payload.size()));
    return image;
}

// The image we ship: 4 KiB of fixed pseudo-random program words.
inline std::vector<std::uint8_t> StandardImage() {
    std::vector<std::uint8_t> payload(4096);
    std::uint32_t x = 0x4B4F5638u;
    for (auto &b : payload) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(x >> 24);
    }
    return Build(payload);
}

} // namespace kova8fw
