// Saving a bank from a worker: the volume still the chosen one, the name by
// the rule, and a failed write that loses no backup.

#include "core/BankSave.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <memory>

#include "SoundFileWriter.h"
#include "voicebank/VoiceBankImage.h"

namespace {

namespace fs = std::filesystem;

// Files larger than this cannot be written while it lives (EFBIG): a card
// that fills up during the write, without a full card.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        (void)getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        (void)setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        (void)setrlimit(RLIMIT_FSIZE, &old_);
        (void)std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

TEST(BankSave, AFailedWriteKeepsOldBankAndBackupsAndAGoneCardGetsNothing) {
    testsupport::TempDir card;
    testsupport::TempDir data;
    fs::create_directory(card.file("gridlume"));
    auto image = std::make_unique<VoiceBankImage>();
    ASSERT_TRUE(InitVoiceBankImage(image.get()));
    image->voices[0] = AudioData{1, 44100, 16, 20000, {}, {}};

    BankSaveRequest request;
    request.path = card.file("gridlume/KIT.glw");
    ASSERT_TRUE(TakeVolumeIdentity({card.path() + "/", "CARD"}, &request.volume));
    request.backupsRoot = data.file("backups");
    request.now = 1'800'000'000;
    const testsupport::Bytes old(3000, 7);
    ASSERT_TRUE(testsupport::WriteFile(request.path, old));
    BankSaveOutcome first = ExportVoiceBank(*image, request);
    ASSERT_TRUE(first.saved) << first.reason;
    ASSERT_TRUE(fs::exists(first.backupPath));
    EXPECT_TRUE(testsupport::ReadFile(first.backupPath) == old);

    // Three failed saves of another bank: no copy made, none removed.
    image->voices[1] = AudioData{2, 44100, 16, 30000, {}, {}};
    const testsupport::Bytes saved = testsupport::ReadFile(request.path);
    for (int n = 1; n <= 3; ++n) {
        request.now += n;
        FileSizeLimit limit(4096);
        const BankSaveOutcome failed = ExportVoiceBank(*image, request);
        EXPECT_FALSE(failed.saved);
        EXPECT_FALSE(failed.reason.empty());
    }
    EXPECT_TRUE(testsupport::ReadFile(request.path) == saved);
    size_t copies = 0;
    for (const auto& entry : fs::directory_iterator(data.file("backups/KIT"))) {
        (void)entry;
        ++copies;
    }
    EXPECT_EQ(copies, 1u);

    // A name against the rule is refused before anything is written.
    request.path = card.file("gridlume/my bank_x.glw");
    BankSaveOutcome refused = ExportVoiceBank(*image, request);
    EXPECT_FALSE(refused.saved);
    EXPECT_NE(refused.reason.find("only ASCII letters"), std::string::npos) << refused.reason;
    EXPECT_FALSE(fs::exists(request.path));

    // The card's root gone since it was listed: nothing is made there.
    request.path = card.file("gridlume/KIT.glw");
    fs::remove_all(card.path());
    refused = ExportVoiceBank(*image, request);
    EXPECT_NE(refused.reason.find("no longer there"), std::string::npos) << refused.reason;
    EXPECT_FALSE(fs::exists(card.path()));
}

}  // namespace
