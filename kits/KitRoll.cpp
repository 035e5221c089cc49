#include "kits/KitRoll.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>

#include "convert/SoundFiles.h"

namespace fs = std::filesystem;

bool ListSoundFilesUnder(const std::string& dir, bool convert, std::vector<std::string>* out,
                         std::string* why, const std::atomic<bool>& cancelled) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        *why = ec ? ec.message() : "not a folder";
        return false;
    }
    fs::recursive_directory_iterator it(dir, fs::directory_options::skip_permission_denied, ec);
    if (ec) {
        *why = ec.message();
        return false;
    }
    std::vector<std::pair<std::string, std::string>> found;  // below dir, whole path
    for (; it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (ec) {
            *why = ec.message();
            return false;
        }
        if (cancelled) return false;
        const fs::path& path = it->path();
        if (path.filename().string().rfind('.', 0) == 0) {
            if (it->is_directory(ec)) it.disable_recursion_pending();
            continue;
        }
        // is_regular_file follows a link to its file; a FIFO or device is
        // never a sound file here.
        if (!it->is_regular_file(ec) || !IsSoundFileName(path, convert)) continue;
        found.emplace_back(fs::relative(path, dir, ec).string(), path.string());
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return NaturalLess(a.first, b.first); });
    out->clear();
    for (auto& [relative, whole] : found) out->push_back(std::move(whole));
    return true;
}

uint64_t NextRandom(uint64_t* state) {
    uint64_t z = (*state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

namespace {

// A number below n (n > 0), each as likely: draws past the last whole
// multiple of n are drawn again.
uint64_t Below(uint64_t* state, uint64_t n) {
    const uint64_t limit = UINT64_MAX - UINT64_MAX % n;
    uint64_t r = 0;
    do r = NextRandom(state);
    while (r >= limit);
    return r % n;
}

}  // namespace

std::array<std::string, 16> RollRows(const std::array<std::vector<std::string>, 16>& pools,
                                     const std::vector<std::string>& taken, uint64_t seed) {
    std::array<std::string, 16> chosen;
    std::set<std::string> used(taken.begin(), taken.end());
    uint64_t state = seed;
    for (size_t k = 0; k < pools.size(); ++k) {
        std::vector<const std::string*> left;
        for (const std::string& file : pools[k])
            if (used.count(file) == 0) left.push_back(&file);
        if (left.empty()) continue;
        chosen[k] = *left[Below(&state, left.size())];
        used.insert(chosen[k]);
    }
    return chosen;
}
