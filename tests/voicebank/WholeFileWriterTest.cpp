// Saving onto a card that fills up or misbehaves never costs the bank that
// was already there, and leaves no temporary file.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <memory>

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

bool Write(const std::string& path, const Bytes& bytes) {
    return WriteWholeFile(path.c_str(), bytes.data(), static_cast<ptrdiff_t>(bytes.size()));
}

}  // namespace

TEST(WholeFileWriter, WritesAndReplaces) {
    TempDir dir;
    const std::string path = dir.file("BANK.glw");
    const Bytes first(5000, 0x11), second(3000, 0x22);
    ASSERT_TRUE(Write(path, first));
    EXPECT_EQ(ReadFile(path), first);
    ::chmod(path.c_str(), 0640);
    ASSERT_TRUE(Write(path, second));
    EXPECT_EQ(ReadFile(path), second);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);  // the replaced file keeps its mode
    EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"BANK.glw"});

    EXPECT_FALSE(WriteWholeFile(nullptr, first.data(), 1));
    EXPECT_FALSE(WriteWholeFile(path.c_str(), nullptr, 1));
    EXPECT_FALSE(WriteWholeFile(path.c_str(), first.data(), 0));
    EXPECT_EQ(ReadFile(path), second);
}

TEST(WholeFileWriter, AWriteThatFallsShortKeepsTheOldFile) {
    // The card fills up part-way: a file-size limit below the new length
    // makes the write fall short (SIGXFSZ ignored, as a full card would).
    TempDir dir;
    const std::string path = dir.file("OLD.glw");
    const Bytes old(4096, 0x5A);
    ASSERT_TRUE(Write(path, old));
    const Bytes bigger(1 << 20, 0xA5);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {
            65536, 65536
        };
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
    EXPECT_FALSE(Write(dir.file("gone/BANK.glw"), bytes));
    EXPECT_FALSE(fs::exists(dir.file("gone")));
    // Something that is not a file stands at the path.
    fs::create_directory(dir.file("BANK.glw"));
    fs::path inside = dir.file("BANK.glw/keep");
    ASSERT_TRUE(WriteFile(inside.string(), bytes));
    EXPECT_FALSE(Write(dir.file("BANK.glw"), bytes));
    EXPECT_EQ(ReadFile(inside.string()), bytes);
    EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"BANK.glw"});

    if (::geteuid() != 0) {  // root writes into read-only folders anyway
        const std::string ro = dir.file("ro");
        fs::create_directory(ro);
        ASSERT_TRUE(WriteFile(ro + "/B.glw", bytes));
        ::chmod(ro.c_str(), 0555);
        EXPECT_FALSE(Write(ro + "/B.glw", Bytes(10, 9)));
        EXPECT_EQ(ReadFile(ro + "/B.glw"), bytes);
        EXPECT_EQ(Entries(ro), std::vector<std::string>{"B.glw"});
    }
}

// A card unmounted after the new file was written, just before it would
// replace the old one: the path leads elsewhere now, yet the card keeps no
// temporary file.
TEST(WholeFileWriter, ACardGoneBeforeTheRenameKeepsNoTemporaryFile) {
    TempDir dir;
    fs::create_directories(dir.file("card/gridlume"));
    const Bytes old(100, 1);
    ASSERT_TRUE(WriteFile(dir.file("card/gridlume/B.glw"), old));
    const Bytes bytes(200, 2);
    WriteFailure failure;
    EXPECT_FALSE(WriteWholeFile(dir.file("card/gridlume/B.glw").c_str(), bytes.data(),
                                static_cast<ptrdiff_t>(bytes.size()), &failure,
                                [&dir](std::string* reason) {
                                    fs::rename(dir.file("card"), dir.file("pulled"));
                                    *reason = "the card is gone";
                                    return false;
                                }));
    EXPECT_EQ(failure.reason, "the card is gone");
    EXPECT_EQ(Entries(dir.file("pulled/gridlume")), std::vector<std::string>{"B.glw"});
    EXPECT_EQ(ReadFile(dir.file("pulled/gridlume/B.glw")), old);
}

namespace {

// Marks a folder immutable for its lifetime: nothing can be created, renamed
// or removed in it, not even by root (who ignores plain permissions).
class ImmutableFolder {
public:
    explicit ImmutableFolder(const std::string& path)
        : fd_(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        int flags = 0;
        if (fd_ < 0 || ::ioctl(fd_, FS_IOC_GETFLAGS, &flags) != 0) return;
        flags |= FS_IMMUTABLE_FL;
        ok_ = ::ioctl(fd_, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ~ImmutableFolder() {
        int flags = 0;
        if (ok_ && ::ioctl(fd_, FS_IOC_GETFLAGS, &flags) == 0) {
            flags &= ~FS_IMMUTABLE_FL;
            ::ioctl(fd_, FS_IOC_SETFLAGS, &flags);
        }
        if (fd_ >= 0) ::close(fd_);
    }
    ImmutableFolder(const ImmutableFolder&) = delete;
    ImmutableFolder& operator=(const ImmutableFolder&) = delete;
    [[nodiscard]] bool ok() const { return ok_; }

private:
    int fd_;
    bool ok_ = false;
};

}  // namespace

TEST(WholeFileWriter, AReadOnlyFolderKeepsTheOldFile) {
    TempDir dir;
    const std::string card = dir.file("gridlume");
    fs::create_directory(card);
    const Bytes old(2048, 0x42);
    ASSERT_TRUE(Write(card + "/B.glw", old));
    ImmutableFolder readOnly(card);
    if (!readOnly.ok()) GTEST_SKIP() << "this filesystem cannot make a folder read-only for root";
    EXPECT_FALSE(Write(card + "/B.glw", Bytes(4096, 0x17)));
    EXPECT_FALSE(Write(card + "/NEW.glw", Bytes(4096, 0x17)));
    EXPECT_EQ(ReadFile(card + "/B.glw"), old);
    EXPECT_EQ(Entries(card), std::vector<std::string>{"B.glw"});
}

TEST(WholeFileWriter, AFullCardKeepsTheOldBank) {
    // A real small filesystem that fills up part-way through the new bank,
    // mounted in a private mount namespace of a child process.
    TempDir dir;
    const std::string card = dir.file("card");
    fs::create_directory(card);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("glwcard", card.c_str(), "tmpfs", 0, "size=256k") != 0)
            ::_exit(77);  // no way to mount here
        const Bytes old(100 * 1024, 0x42);
        const Bytes bigger(400 * 1024, 0x24);
        const std::string bank = card + "/B.glw";
        int failures = 0;
        failures += Write(bank, old) != 1;
        failures += Write(bank, bigger) != 0;  // does not fit
        failures += ReadFile(bank) != old;
        failures += Entries(card) != std::vector<std::string>{"B.glw"};
        // Room is left for a bank that fits: nothing half-written stays.
        failures += Write(card + "/C.glw", Bytes(100 * 1024, 7)) != 1;
        ::_exit(failures);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "cannot mount a small filesystem here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "failed checks in the child";
}

TEST(Export, WritesTheBuiltBankUnderThePathsBaseName) {
    TempDir dir;
    auto image = std::make_unique<VoiceBankImage>();
    ASSERT_TRUE(InitVoiceBankImage(image.get()));
    image->voices[1].channels = 1;
    image->voices[1].frames = 64;
    image->voices[1].left[3] = 777;
    const auto before = std::make_unique<VoiceBankImage>(*image);

    const std::string path = dir.file("KIT-01.glw");
    ASSERT_TRUE(ExportImageToFile(*image, path.c_str()));
    auto copy = std::make_unique<VoiceBankImage>(*image);
    ASSERT_TRUE(FillVoiceAddresses(copy.get(), "KIT-01"));
    std::vector<uint8_t> expected;
    ASSERT_TRUE(BuildVoiceBankFile(copy.get(), &expected));
    EXPECT_EQ(ReadFile(path), expected);
    EXPECT_TRUE(*before == *image);

    EXPECT_FALSE(ExportImageToFile(*image, ""));
    EXPECT_FALSE(ExportImageToFile(*image, dir.file("none/X.glw").c_str()));
}
