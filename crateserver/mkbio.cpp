// Writes the simulated DSP image KOVA8.bio to the given path.
#include "device/kova8firmware.h"

#include <cstdio>
#include <fstream>

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kova8-mkbio OUTPUT\n");
        return 1;
    }
    const auto image = kova8fw::StandardImage();
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(image.data()),
              static_cast<std::streamsize>(image.size()));
    return out ? 0 : 1;
}
