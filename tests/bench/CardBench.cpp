// glwtool card ls on a card of 500 banks of mixed sizes (a few short rows
// to 16 full-length stereo rows, about 290 MB in all), as the musician
// runs it: the program started, every bank read and checked, the lines
// printed. Also ListCardBanks alone, in this process, after
// KeepFreedBankBuffers as the window and glwtool call it at their start
// (without it each bank's buffers are faulted in again: several seconds
// for this card). The banks are made
// once per run; the files are then in the page cache, as on a card the
// system read a moment ago (a first read from a real card is bound by the
// card's read speed instead). GLW_BENCH_CARD=FOLDER makes the card there and
// leaves it (to try it by hand, or copy it onto a real card).

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "BankWriter.h"
#include "SoundFileWriter.h"
#include "core/CardBanks.h"

extern char** environ;

namespace {

constexpr int BankCount = 500;

// The card: mostly kits of short one-shots, some banks of longer loops,
// a tenth filled to the top with full-length stereo rows.
const std::string& Card() {
    static testsupport::TempDir temporary;
    static const std::string root =
        std::getenv("GLW_BENCH_CARD") != nullptr ? std::getenv("GLW_BENCH_CARD") : temporary.path();
    static const bool made = [] {
        const auto file = [](const std::string& name) { return root + '/' + name; };
        std::mt19937 random(34);
        const auto pick = [&random](int low, int high) {
            return std::uniform_int_distribution<int>(low, high)(random);
        };
        (void)::mkdir(root.c_str(), 0755);
        (void)::mkdir(file("gridlume").c_str(), 0755);
        for (int n = 0; n < BankCount; ++n) {
            std::vector<testsupport::TestRow> rows;
            const int kind = pick(0, 9);
            const int filled = kind == 0 ? 16 : pick(1, 16);
            for (int row = 1; row <= filled; ++row) {
                const int seconds100 = kind == 0 ? 97 : kind < 4 ? pick(20, 97) : pick(3, 30);
                const int frames = std::min(MaxVoiceFrames, seconds100 * 441 / 16 * 16 + 16);
                rows.push_back({row, kind == 0 || pick(0, 2) == 0 ? 2 : 1, frames});
            }
            if (!testsupport::WriteTestBank(file("gridlume/BANK" + std::to_string(n) + ".glw"),
                                            rows, n))
                return false;
        }
        return true;
    }();
    (void)made;
    return root;
}

void BM_CardLsProgram(benchmark::State& state) {
    const std::string card = Card();
    const std::string devNull = "/dev/null";
    for (auto _ : state) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, devNull.c_str(), O_WRONLY, 0);
        std::vector<std::string> args = {GLWTOOL_PATH, "card", "ls", card};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        int status = -1;
        if (posix_spawn(&pid, GLWTOOL_PATH, &actions, nullptr, argv.data(), environ) == 0)
            (void)waitpid(pid, &status, 0);
        posix_spawn_file_actions_destroy(&actions);
        if (status != 0) state.SkipWithError("glwtool card ls failed");
    }
}
BENCHMARK(BM_CardLsProgram)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

void BM_ListCardBanks(benchmark::State& state) {
    KeepFreedBankBuffers();
    const std::string card = Card();
    std::uintmax_t bytes = 0;
    for (auto _ : state) {
        const CardListing listing = ListCardBanks(card);
        if (listing.banks.size() != BankCount) state.SkipWithError("not every bank listed");
        bytes = listing.bankBytes;
    }
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK(BM_ListCardBanks)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

}  // namespace

BENCHMARK_MAIN();
