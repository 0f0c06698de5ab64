#include "measurement/correctioncoefs.h"

#include "measurement/rangetable.h"

#include <cstring>

namespace {

// Code scale of the ADC (2^23) and the offset factor; the factor is applied
// in extended precision and the product rounded to double, as the module's
// calibration software computes it.
constexpr std::int32_t kCodeMid = 8388608;
constexpr long double kOffsetFactor = 1.39434289932250969353L;
constexpr double kScaleFactor = 1.70989918776368782849e-7; // 1 / 5848298

std::int32_t Read24(const std::uint8_t *p) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) |
                                     (static_cast<std::uint32_t>(p[1]) << 8) |
                                     (static_cast<std::uint32_t>(p[2]) << 16));
}

} // namespace

void ClearCoefsTable(TCorrectionCoefsTable &table) { std::memset(&table, 0, sizeof(table)); }

std::uint16_t CoefsBlockAddress(int referenceIndex) {
    return referenceIndex == 0 ? kCoefsBlockAddress25V : kCoefsBlockAddress50V;
}

double CoefsFullScaleMv(int rangeCode) {
    static constexpr double kFullScale[4] = {10.0, 20.0, 40.0, 80.0};
    return kFullScale[rangeCode & 3];
}

double OffsetFromCode(std::int32_t offsetCode, int rangeCode) {
    const auto product = static_cast<double>(static_cast<long double>(offsetCode - kCodeMid) *
                                             kOffsetFactor);
    return product * CoefsFullScaleMv(rangeCode) / static_cast<double>(kCodeMid);
}

double ScaleFromCode(std::int32_t scaleCode) {
    return static_cast<double>(scaleCode) * kScaleFactor;
}

void DecodeCoefsBlock(std::span<const std::uint8_t> block, int referenceIndex,
                      TCorrectionCoefsTable &table) {
    if (block.size() < kCoefsBlockLength || referenceIndex < 0 ||
        referenceIndex >= kCoefsReferenceCount) {
        return;
    }
    for (int code = 0; code < kCoefsRangeCount; ++code) {
        const int range = RangeIndexFromModuleCode(code);
        for (int channel = 0; channel < kCoefsChannelCount; ++channel) {
            const std::uint8_t *record =
                block.data() + kCoefsRecordSize * (kCoefsChannelCount * code + channel);
            TCorrectionCoefsEntry &entry = table.Entries[referenceIndex][range][channel];
            entry.OffsetCode = Read24(record);
            entry.ScaleCode = Read24(record + 3);
            entry.Offset = OffsetFromCode(entry.OffsetCode, code);
            entry.Scale = ScaleFromCode(entry.ScaleCode);
        }
    }
}
