// Runs saved inputs through a fuzz target's entry function without libFuzzer, so the normal
// test suite keeps every input that once broke something, and the seeds, working.
// Arguments: files or folders (read recursively; names starting with '.' are skipped).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

namespace {

namespace fs = std::filesystem;

bool Hidden(const fs::path &p) {
    const std::string name = p.filename().string();
    return !name.empty() && name.front() == '.';
}

void Collect(const fs::path &p, std::vector<fs::path> &files) {
    if (fs::is_directory(p)) {
        for (const auto &entry : fs::recursive_directory_iterator(p))
            if (entry.is_regular_file() && !Hidden(entry.path()))
                files.push_back(entry.path());
    } else if (fs::is_regular_file(p)) {
        files.push_back(p);
    }
}

} // namespace

int main(int argc, char **argv) {
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        if (!fs::exists(argv[i])) {
            std::fprintf(stderr, "replay: %s does not exist\n", argv[i]);
            return 1;
        }
        Collect(argv[i], files);
    }
    std::sort(files.begin(), files.end());
    for (const auto &file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                      std::istreambuf_iterator<char>()};
        if (!in.good() && !in.eof()) {
            std::fprintf(stderr, "replay: cannot read %s\n", file.string().c_str());
            return 1;
        }
        std::fprintf(stderr, "replay: %s (%zu bytes)\n", file.string().c_str(), bytes.size());
        // A copy of exactly the input's size, so a read past its end shows under ASan.
        std::vector<std::uint8_t> input(bytes.begin(), bytes.end());
        static std::uint8_t none = 0;
        LLVMFuzzerTestOneInput(input.empty() ? &none : input.data(), input.size());
    }
    std::fprintf(stderr, "replay: %zu inputs, all passed\n", files.size());
    return 0;
}
