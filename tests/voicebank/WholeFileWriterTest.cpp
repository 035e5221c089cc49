// Saving onto a card that fills up or misbehaves never costs the bank that
// was already there, and leaves no temporary file.

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "SoundFileWriter.h"
#include "voicebank/VoiceBankBuilder.h"
#include "voicebank/VoiceBankImage.h"

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

int Write(const std::string& path, const Bytes& bytes) {
    return WriteWholeFile(path.c_str(), bytes.data(), static_cast<ptrdiff_t>(bytes.size()));
}

}  // namespace

TEST(WholeFileWriter, WritesAndReplaces) {
    TempDir dir;
    const std::string path = dir.file("BANK.glw");
    const Bytes first(5000, 0x11), second(3000, 0x22);
    ASSERT_EQ(Write(path, first), 1);
    EXPECT_EQ(ReadFile(path), first);
    ::chmod(path.c_str(), 0640);
    ASSERT_EQ(Write(path, second), 1);
    EXPECT_EQ(ReadFile(path), second);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);  // the replaced file keeps its mode
    EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"BANK.glw"});

    EXPECT_EQ(WriteWholeFile(nullptr, first.data(), 1), 0);
    EXPECT_EQ(WriteWholeFile(path.c_str(), nullptr, 1), 0);
    EXPECT_EQ(WriteWholeFile(path.c_str(), first.data(), 0), 0);
    EXPECT_EQ(ReadFile(path), second);
}

TEST(WholeFileWriter, AWriteThatFallsShortKeepsTheOldFile) {
    // The card fills up part-way: a file-size limit below the new length
    // makes the write fall short (SIGXFSZ ignored, as a full card would).
    TempDir dir;
    const std::string path = dir.file("OLD.glw");
    const Bytes old(4096, 0x5A);
    ASSERT_EQ(Write(path, old), 1);
    const Bytes bigger(1 << 20, 0xA5);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {65536, 65536};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::_exit(Write(path, bigger) == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the short write must be reported as a failure";
    EXPECT_EQ(ReadFile(path), old);
    EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"OLD.glw"});
}

TEST(WholeFileWriter, FailuresLeaveNothingBehind) {
    TempDir dir;
    const Bytes bytes(100, 1);
    // The folder is gone (card pulled).
    EXPECT_EQ(Write(dir.file("gone/BANK.glw"), bytes), 0);
    EXPECT_FALSE(fs::exists(dir.file("gone")));
    // Something that is not a file stands at the path.
    fs::create_directory(dir.file("BANK.glw"));
    fs::path inside = dir.file("BANK.glw/keep");
    ASSERT_TRUE(WriteFile(inside.string(), bytes));
    EXPECT_EQ(Write(dir.file("BANK.glw"), bytes), 0);
    EXPECT_EQ(ReadFile(inside.string()), bytes);
    EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"BANK.glw"});

    if (::geteuid() != 0) {  // root writes into read-only folders anyway
        const std::string ro = dir.file("ro");
        fs::create_directory(ro);
        ASSERT_TRUE(WriteFile(ro + "/B.glw", bytes));
        ::chmod(ro.c_str(), 0555);
        EXPECT_EQ(Write(ro + "/B.glw", Bytes(10, 9)), 0);
        EXPECT_EQ(ReadFile(ro + "/B.glw"), bytes);
        EXPECT_EQ(Entries(ro), std::vector<std::string>{"B.glw"});
    }
}

TEST(Export, WritesTheBuiltBankUnderThePathsBaseName) {
    TempDir dir;
    auto image = std::make_unique<VoiceBankImage>();
    ASSERT_EQ(InitVoiceBankImage(image.get()), 1);
    image->slots[1].channels = 1;
    image->slots[1].frames = 64;
    image->slots[1].left[3] = 777;
    const auto before = std::make_unique<VoiceBankImage>(*image);

    const std::string path = dir.file("KIT-01.glw");
    ASSERT_EQ(ExportImageToFile(*image, path.c_str()), 1);
    auto copy = std::make_unique<VoiceBankImage>(*image);
    ASSERT_EQ(FillVoiceAddresses(copy.get(), "KIT-01"), 1);
    std::vector<uint8_t> expected;
    ASSERT_EQ(BuildVoiceBankFile(copy.get(), &expected), 1);
    EXPECT_EQ(ReadFile(path), expected);
    EXPECT_EQ(std::memcmp(before.get(), image.get(), sizeof(VoiceBankImage)), 0);

    EXPECT_EQ(ExportImageToFile(*image, ""), 0);
    EXPECT_EQ(ExportImageToFile(*image, dir.file("none/X.glw").c_str()), 0);
}
