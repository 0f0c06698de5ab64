#pragma once
// The module's ADC correction coefficients: per reference voltage, input range
// and channel an offset and a scale, kept as read from the EEPROM and converted
// to physical values.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

inline constexpr int kCoefsReferenceCount = 2; // 0 = 2.5 V, 1 = 5.0 V
inline constexpr int kCoefsRangeCount = 8;
inline constexpr int kCoefsChannelCount = 8;

// One EEPROM block: 64 records of a 24-bit offset code and a 24-bit scale code.
inline constexpr std::uint16_t kCoefsBlockAddress25V = 600;
inline constexpr std::uint16_t kCoefsBlockAddress50V = 100;
inline constexpr std::uint16_t kCoefsBlockLength = 384;
inline constexpr std::size_t kCoefsBlockBufferSize = 385;
inline constexpr int kCoefsRecordSize = 6;

struct TCorrectionCoefsEntry {
    std::int32_t OffsetCode;
    std::int32_t ScaleCode;
    double Offset; // millivolts
    double Scale;  // dimensionless
};

struct TCorrectionCoefsTable {
    // [reference index][range index][channel index]
    TCorrectionCoefsEntry
        Entries[kCoefsReferenceCount][kCoefsRangeCount][kCoefsChannelCount];
    std::uint16_t Reserved; // always zero
};

static_assert(sizeof(TCorrectionCoefsEntry) == 24);
static_assert(offsetof(TCorrectionCoefsTable, Reserved) == 128 * sizeof(TCorrectionCoefsEntry));

// Fills a whole table (entries and trailing word) with zero bytes.
void ClearCoefsTable(TCorrectionCoefsTable &table);

// The EEPROM byte address of a reference index's block.
std::uint16_t CoefsBlockAddress(int referenceIndex);

// Full scale in millivolts of the range with a module range code 0..7.
double CoefsFullScaleMv(int rangeCode);

double OffsetFromCode(std::int32_t offsetCode, int rangeCode);
double ScaleFromCode(std::int32_t scaleCode);

// Decodes one block (at least 384 bytes) into the given reference's half of
// the table; record (code b, channel c) goes to the range index of code b.
void DecodeCoefsBlock(std::span<const std::uint8_t> block, int referenceIndex,
                      TCorrectionCoefsTable &table);
