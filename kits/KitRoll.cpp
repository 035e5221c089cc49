#include "kits/KitRoll.h"

#include <set>

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
