// Replays files or folders of inputs through a fuzz target without libFuzzer,
// so the targets build and their corpus runs with any compiler.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

static int RunFile(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    if (!f) {
        std::fprintf(stderr, "cannot read %s\n", p.c_str());
        return 1;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)),
                               std::istreambuf_iterator<char>());
    // A copy of exactly the input's length, so reads past it are caught.
    std::vector<uint8_t> exact(bytes);
    LLVMFuzzerTestOneInput(exact.empty() ? nullptr : exact.data(), exact.size());
    return 0;
}

int main(int argc, char** argv) {
    int inputs = 0;
    int failures = 0;
    for (int i = 1; i < argc; ++i) {
        const fs::path arg(argv[i]);
        if (fs::is_directory(arg)) {
            for (const auto& e : fs::recursive_directory_iterator(arg)) {
                if (!e.is_regular_file()) continue;
                failures += RunFile(e.path());
                ++inputs;
            }
        } else {
            failures += RunFile(arg);
            ++inputs;
        }
    }
    std::printf("replayed %d inputs\n", inputs);
    return failures == 0 && inputs > 0 ? 0 : 1;
}
