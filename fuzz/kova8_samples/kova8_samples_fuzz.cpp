// The module's sample words through KOVA8_ProcessData: any words, any count within the
// buffer (odd and negative ones too), millivolts or volts. A good block gives one value per
// pair, each inside its range; a bad one fails and says how many values came before it.
#include "fuzzcheck.h"

#include "device/kova8api.h"
#include "device/kova8format.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 1)
        return 0;
    // First byte: bit 0 volts, bit 1 a count one off (odd), bit 2 a negative count.
    const std::uint8_t mode = data[0];
    const std::size_t words = (size - 1) / 4;
    // Never empty: an empty vector's data() may be null, which the function rightly refuses.
    std::vector<std::uint32_t> raw(words > 0 ? words : 1);
    if (words > 0)
        std::memcpy(raw.data(), data + 1, 4 * words);
    std::vector<double> values(words / 2 + 1, NAN);

    std::int32_t count = static_cast<std::int32_t>(words);
    if ((mode & 2) && count > 0)
        count -= 1;
    if (mode & 4)
        count = -count - 1;
    const std::int32_t asked = count;
    const bool volts = (mode & 1) != 0;
    Kova8Descriptor module;
    KOVA8_Init(&module);
    const std::int32_t status =
        KOVA8_ProcessData(&module, raw.data(), values.data(), &count, volts ? 1 : 0);

    bool allValid = asked >= 0 && asked % 2 == 0;
    for (std::int32_t i = 0; allValid && i < asked / 2; ++i)
        allValid = kova8::SampleValid(raw[2 * static_cast<std::size_t>(i)],
                                      raw[2 * static_cast<std::size_t>(i) + 1]);
    FUZZ_CHECK((status == 0) == allValid);
    FUZZ_CHECK(count >= 0 && count <= (asked > 0 ? asked / 2 : 0));
    if (status == 0)
        FUZZ_CHECK(count == asked / 2);
    const double limit = (volts ? 0.001 : 1.0) * 80.0;
    for (std::int32_t i = 0; i < count; ++i) {
        const double v = values[static_cast<std::size_t>(i)];
        FUZZ_CHECK(std::isfinite(v) && std::fabs(v) <= limit);
    }
    // Nothing past the values it says it wrote.
    for (std::size_t i = static_cast<std::size_t>(count); i < values.size(); ++i)
        FUZZ_CHECK(std::isnan(values[i]));
    return 0;
}
