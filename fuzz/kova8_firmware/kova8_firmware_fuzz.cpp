// The firmware image check: any bytes as an image. An image taken as valid is exactly what
// the builder makes from its payload, so nothing else can pass for it.
#include "fuzzcheck.h"

#include "device/kova8firmware.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    // Exactly the input's bytes, so a read past the image's end shows under ASan.
    const std::vector<std::uint8_t> image(data, data + size);
    if (!kova8fw::Valid(image.data(), image.size()))
        return 0;
    FUZZ_CHECK(size >= kova8fw::kOverhead);
    const std::vector<std::uint8_t> payload(image.begin() + kova8fw::kHeader, image.end() - 4);
    FUZZ_CHECK(kova8fw::Build(payload) == image);
    return 0;
}
