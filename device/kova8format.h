// Words and memory images of the KOVA8 module, shared by the module library, the crate server
// and the in-process fake, so that all three agree bit for bit.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <string_view>

namespace kova8 {

constexpr int kChannels = 8;
constexpr int kRangeCodes = 8;
constexpr std::uint32_t kCodeMax = 0xFFFFFF;
constexpr std::uint32_t kCodeMid = 0x800000;

// EEPROM: two coefficient blocks of 64 records of 6 bytes (offset code, scale code).
constexpr std::uint16_t kEepromSize = 1024;
constexpr std::uint16_t kBlock5V = 100;
constexpr std::uint16_t kBlock2V5 = 600;
constexpr std::uint16_t kBlockSize = 384;
constexpr std::uint32_t kNominalOffsetCode = 8388608;
constexpr std::uint32_t kNominalScaleCode = 5848298;

// Logical channel word: 0xA in the top nibble, range code in bits 8-10, channel index in 0-2.
constexpr std::uint32_t kLChannelTag = 0xA0000000u;

constexpr std::uint32_t MakeLChannel(std::uint32_t channel, std::uint32_t rangeCode,
                                     std::uint32_t flags) {
    if (channel < 1 || channel > kChannels || rangeCode >= kRangeCodes || flags != 0)
        return 0;
    return kLChannelTag | (rangeCode << 8) | (channel - 1);
}

constexpr bool LChannelValid(std::uint32_t word) {
    return (word & ~0x0000'0707u) == kLChannelTag;
}
constexpr int LChannelIndex(std::uint32_t word) {
    return static_cast<int>(word & 7u);
}
constexpr int LChannelRange(std::uint32_t word) {
    return static_cast<int>((word >> 8) & 7u);
}

// Range codes 0-3 are bipolar, 4-7 unipolar; full scale 10, 20, 40, 80 mV in each group.
constexpr double FullScaleMv(int rangeCode) {
    return 10.0 * (1 << (rangeCode & 3));
}
constexpr bool Bipolar(int rangeCode) {
    return rangeCode < 4;
}

// Quantises an input to the 24-bit code of the range; beyond the range it clips at the limits.
inline std::uint32_t CodeFromMv(int rangeCode, double mv) {
    const double fs = FullScaleMv(rangeCode);
    double code = Bipolar(rangeCode) ? std::nearbyint(mv / fs * 8388608.0) + 8388608.0
                                     : std::nearbyint(mv / fs * 16777216.0);
    if (!(code >= 0.0)) // also catches NaN
        code = 0.0;
    if (code > kCodeMax)
        code = kCodeMax;
    return static_cast<std::uint32_t>(code);
}

inline double MvFromCode(int rangeCode, std::uint32_t code) {
    const double fs = FullScaleMv(rangeCode);
    return Bipolar(rangeCode) ? (static_cast<double>(code) - 8388608.0) / 8388608.0 * fs
                              : static_cast<double>(code) / 16777216.0 * fs;
}

// A sample is two words: a header (0xC8 tag, range code in bits 4-6, channel index in 0-2) and
// the 24-bit code with a check byte on top.
constexpr std::uint32_t kSampleTag = 0xC8000000u;

constexpr std::uint32_t CheckByte(std::uint32_t header, std::uint32_t code) {
    return ((code ^ (code >> 8) ^ (code >> 16) ^ header ^ 0x5Au) & 0xFFu);
}

constexpr std::uint32_t SampleHeader(int channel, int rangeCode) {
    return kSampleTag | (static_cast<std::uint32_t>(rangeCode & 7) << 4) |
           static_cast<std::uint32_t>(channel & 7);
}

constexpr std::uint32_t SampleCodeWord(std::uint32_t header, std::uint32_t code) {
    return (code & kCodeMax) | (CheckByte(header, code & kCodeMax) << 24);
}

constexpr bool SampleValid(std::uint32_t header, std::uint32_t codeWord) {
    return (header & ~0x0000'0077u) == kSampleTag &&
           (codeWord >> 24) == CheckByte(header, codeWord & kCodeMax);
}

// Converts word pairs; returns the number of values written, or -1 at the first malformed pair
// or an odd or negative word count (valuesWritten then holds how many were written before).
inline int DecodeSamples(const std::uint32_t *raw, std::int32_t words, double *values, bool volts,
                         int *valuesWritten) {
    *valuesWritten = 0;
    if (words < 0 || (words & 1) != 0)
        return -1;
    const double unit = volts ? 0.001 : 1.0;
    const int n = words / 2;
    for (int i = 0; i < n; ++i) {
        const std::uint32_t h = raw[2 * i];
        const std::uint32_t c = raw[2 * i + 1];
        if (!SampleValid(h, c))
            return -1;
        values[i] = MvFromCode(static_cast<int>((h >> 4) & 7u), c & kCodeMax) * unit;
        *valuesWritten = i + 1;
    }
    return n;
}

constexpr std::uint32_t Fnv1a(std::string_view text) {
    std::uint32_t h = 2166136261u;
    for (char ch : text) {
        h ^= static_cast<unsigned char>(ch);
        h *= 16777619u;
    }
    return h;
}

inline void PutCode24(std::uint8_t *at, std::uint32_t code) {
    at[0] = static_cast<std::uint8_t>(code);
    at[1] = static_cast<std::uint8_t>(code >> 8);
    at[2] = static_cast<std::uint8_t>(code >> 16);
}

inline std::uint32_t GetCode24(const std::uint8_t *at) {
    return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
           (static_cast<std::uint32_t>(at[2]) << 16);
}

// Record k (= 8 x range code + channel) of a block.
inline void PutRecord(std::uint8_t *block, int k, std::uint32_t offsetCode,
                      std::uint32_t scaleCode) {
    PutCode24(block + 6 * k, offsetCode);
    PutCode24(block + 6 * k + 3, scaleCode);
}

// Factory-like codes a little off nominal, the same for the same serial every time.
inline std::array<std::uint8_t, kEepromSize> DefaultEeprom(std::string_view serial) {
    std::array<std::uint8_t, kEepromSize> image{};
    std::uint32_t h = Fnv1a(serial);
    for (std::uint16_t base : {kBlock5V, kBlock2V5}) {
        for (int k = 0; k < 64; ++k) {
            h = h * 1664525u + 1013904223u;
            const std::uint32_t off = kNominalOffsetCode + (h >> 8) % 2001u - 1000u;
            h = h * 1664525u + 1013904223u;
            const std::uint32_t scale = kNominalScaleCode + (h >> 8) % 20001u - 10000u;
            PutRecord(image.data() + base, k, off, scale);
        }
    }
    return image;
}

} // namespace kova8

#include "device/kova8api.h"

namespace kova8 {

// Why a configuration cannot run; 0 when it can.
enum AdcConfigError : std::int32_t {
    kAdcOk = 0,
    kAdcBadRecordSize = 1,
    kAdcBadChannelCount = 2,
    kAdcBadChannelWord = 3,
    kAdcDuplicateChannel = 4,
    kAdcBadReference = 5,
};

inline std::int32_t CheckAdcConfig(const Kova8Descriptor &d, std::uint8_t variant) {
    if (d.RecordSize != KOVA8_DESCRIPTOR_SIZE)
        return kAdcBadRecordSize;
    if (d.LChannelCount < 1 || d.LChannelCount > kChannels)
        return kAdcBadChannelCount;
    unsigned seen = 0;
    for (std::uint32_t i = 0; i < d.LChannelCount; ++i) {
        const std::uint32_t w = d.LChannels[i];
        if (!LChannelValid(w))
            return kAdcBadChannelWord;
        const unsigned bit = 1u << LChannelIndex(w);
        if (seen & bit)
            return kAdcDuplicateChannel;
        seen |= bit;
    }
    if (d.ReferenceVoltage > 1 || (d.ReferenceVoltage == 0 && variant == 0))
        return kAdcBadReference;
    return kAdcOk;
}

} // namespace kova8
