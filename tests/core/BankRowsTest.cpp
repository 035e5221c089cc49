// An opened bank's rows as row files, and the backups a save keeps.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include <sys/stat.h>

#include "SoundFileWriter.h"
#include "convert/VoiceLoad.h"
#include "core/BankBackup.h"
#include "core/BankRows.h"
#include "voicebank/BankHead.h"
#include "voicebank/VoiceBankBuilder.h"
#include "voicebank/VoiceBankImage.h"

namespace {

namespace fs = std::filesystem;

TEST(BankRows, RowFilesLoadBackAsTheBanksRowsExactly) {
    testsupport::TempDir dir;
    auto image = std::make_unique<VoiceBankImage>();
    ASSERT_TRUE(InitVoiceBankImage(image.get()));
    AudioData& mono = image->voices[2];
    mono = AudioData{1, 44100, 16, 32, {}, {}};
    AudioData& stereo = image->voices[15];
    stereo = AudioData{2, 44100, 16, MaxVoiceFrames, {}, {}};
    for (int i = 0; i < MaxVoiceFrames; ++i) {
        stereo.left[i] = static_cast<int16_t>(i * 31);
        stereo.right[i] = static_cast<int16_t>(-i * 17);
        if (i < 32) mono.left[i] = static_cast<int16_t>(32767 - i);
    }
    // A name field with a slash must not reach outside the folder.
    const std::string bankPath = dir.file("a");
    ASSERT_TRUE(ExportImageToFile(*image, bankPath.c_str()));
    std::ifstream in(bankPath, std::ios::binary);
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    const VoiceBankReport fixed = [&] {
        // Rebuilt under the odd name, so the file is a valid bank.
        VoiceBankImage copy = *image;
        EXPECT_TRUE(FillVoiceAddresses(&copy, "a/b"));
        std::vector<uint8_t> file;
        EXPECT_TRUE(BuildVoiceBankFile(&copy, &file));
        EXPECT_TRUE(testsupport::WriteFile(bankPath, file));
        return CheckVoiceBank(file.data(), file.size());
    }();
    ASSERT_TRUE(fixed.valid);

    OpenedBankFile opened;
    std::string reason;
    ASSERT_TRUE(ReadBankForOpening(bankPath, &opened, &reason)) << reason;
    std::array<std::string, VoiceSlotCount> paths;
    ASSERT_TRUE(WriteBankRows(opened, dir.file("banks"), &paths, &reason)) << reason;
    const std::string folder = dir.file("banks/" + OpenedBankFolderName("a/b", opened.crc));
    EXPECT_EQ(fs::path(folder).filename().string().substr(0, 4), "a_b-");
    for (int i = 0; i < VoiceSlotCount; ++i) {
        if (i != 2 && i != 15) {
            EXPECT_TRUE(paths[size_t(i)].empty()) << i;
            continue;
        }
        // Labelled by bank and row.
        EXPECT_EQ(paths[size_t(i)], folder + (i == 2 ? "/a_b 03.wav" : "/a_b 16.wav"));
        auto record = std::make_unique<AudioData>();
        VoiceLoadOutcome outcome;
        ASSERT_TRUE(LoadVoice(paths[size_t(i)].c_str(), {}, false, record.get(), &outcome));
        EXPECT_TRUE(*record == image->voices[size_t(i)]) << i;  // no second fade
    }

    // A damaged bank is refused with the checker's words.
    bytes.resize(3000);
    ASSERT_TRUE(testsupport::WriteFile(bankPath, bytes));
    EXPECT_FALSE(ReadBankForOpening(bankPath, &opened, &reason));
    EXPECT_FALSE(reason.empty());
}

// The profile keeps the rows' paths as UTF-8 text: a stored name that is not
// UTF-8 must still give a path that comes back the same.
TEST(BankRows, FolderAndFileNamesArePlainAscii) {
    EXPECT_EQ(OpenedBankFolderName("A\xff"
                                   "B\xfe"
                                   "C",
                                   0xabcdef01u),
              "A_B_C-abcdef01");
    EXPECT_EQ(OpenedBankFileName("Caf\xc3\xa9\x7f"), "Caf___");
    EXPECT_EQ(OpenedBankFileName(""), "bank");
}

// A FIFO would block the open for good; a missing file is told apart.
TEST(BankRows, NoRegularFileIsRefusedBeforeItIsOpened) {
    testsupport::TempDir dir;
    const std::string fifo = dir.file("x.glw");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    OpenedBankFile opened;
    std::string reason;
    bool missing = true;
    EXPECT_FALSE(ReadBankForOpening(fifo, &opened, &reason, &missing));
    EXPECT_NE(reason.find("not a regular file"), std::string::npos) << reason;
    EXPECT_FALSE(missing);
    EXPECT_FALSE(ReadBankForOpening(dir.file("gone.glw"), &opened, &reason, &missing));
    EXPECT_TRUE(missing);
    EXPECT_FALSE(ReadBankForOpening(dir.path(), &opened, &reason, &missing));
    EXPECT_FALSE(missing);
}

TEST(BankBackup, KeepsTheNewestTwentyCopiesOfAName) {
    testsupport::TempDir dir;
    const std::string bank = dir.file("CARD.glw");
    const std::string root = dir.file("backups");
    fs::create_directories(root + "/CARD");
    std::ofstream(root + "/CARD/notes.txt") << "mine";  // not a copy: left alone
    const std::time_t start = 1'800'000'000;
    std::vector<std::string> made;
    for (int n = 0; n < 24; ++n) {
        ASSERT_TRUE(testsupport::WriteFile(bank, testsupport::Bytes(size_t(n + 1), uint8_t(n))));
        std::string copy, reason;
        // Two saves within one second each time: the second gets "-2".
        ASSERT_TRUE(BackUpBank(bank, root, start + n / 2, &copy, &reason)) << reason;
        made.push_back(copy);
    }
    EXPECT_NE(made[0], made[1]);
    EXPECT_EQ(made[1].substr(made[1].size() - 6), "-2.glw");
    size_t copies = 0;
    for (const auto& entry : fs::directory_iterator(root + "/CARD"))
        copies += entry.path().extension() == ".glw" ? 1 : 0;
    EXPECT_EQ(copies, 20u);
    for (int n = 0; n < 24; ++n) EXPECT_EQ(fs::exists(made[size_t(n)]), n >= 4) << n;
    EXPECT_EQ(fs::file_size(made.back()), 24u);
    EXPECT_TRUE(fs::exists(root + "/CARD/notes.txt"));

    // A file larger than any bank is neither read into memory nor replaced.
    fs::resize_file(bank, bank::LargestBankFileRead + 1);
    std::string copy, reason;
    EXPECT_FALSE(BackUpBank(bank, root, start + 99, &copy, &reason));
    EXPECT_NE(reason.find("larger than any bank"), std::string::npos) << reason;
    EXPECT_NE(reason.find(std::to_string(bank::LargestBankFileRead + 1) +
                          " bytes, a bank at most " + std::to_string(bank::MaxFileBytes)),
              std::string::npos)
        << reason;
}

TEST(BankBackup, TheCopyJustMadeStaysAndTheSameBankIsKeptOnce) {
    testsupport::TempDir dir;
    const std::string bank = dir.file("KIT.glw");
    const std::string root = dir.file("backups");
    const std::time_t noon = 1'800'000'000;  // 2027-01-15 08:00:00 UTC
    std::string copy, reason;
    std::vector<std::string> made;
    for (int n = 0; n < 20; ++n) {
        ASSERT_TRUE(testsupport::WriteFile(bank, testsupport::Bytes(8, uint8_t(n))));
        ASSERT_TRUE(BackUpBank(bank, root, noon + n, &copy, &reason)) << reason;
        made.push_back(copy);
    }
    EXPECT_EQ(fs::path(made[0]).filename(), "KIT-20270115-080000.glw");  // UTC
    // Saved again unchanged: the newest copy already holds it.
    ASSERT_TRUE(BackUpBank(bank, root, noon + 50, &copy, &reason)) << reason;
    EXPECT_EQ(copy, made.back());
    // A clock set back: the new copy's stamp sorts first, yet the oldest
    // copy by age goes, not the new one.
    ASSERT_TRUE(testsupport::WriteFile(bank, testsupport::Bytes(8, 99)));
    ASSERT_TRUE(BackUpBank(bank, root, noon - 86'400, &copy, &reason)) << reason;
    EXPECT_TRUE(fs::exists(copy));
    EXPECT_FALSE(fs::exists(made[0]));
    EXPECT_TRUE(fs::exists(made[1]));
    // The copy a restore puts back is spared even when it is the oldest.
    ASSERT_TRUE(testsupport::WriteFile(bank, testsupport::Bytes(8, 98)));
    ASSERT_TRUE(BackUpBank(bank, root, noon + 60, &copy, &reason, BackupsKeptPerBank, made[1]));
    EXPECT_TRUE(fs::exists(made[1]));
    EXPECT_FALSE(fs::exists(made[2]));

    // A file where the backup folder should be is named as such.
    ASSERT_TRUE(testsupport::WriteFile(dir.file("plain"), testsupport::Bytes(1, 1)));
    EXPECT_FALSE(BackUpBank(bank, dir.file("plain"), noon, &copy, &reason));
    EXPECT_NE(reason.find("is a file, not a folder"), std::string::npos) << reason;
    EXPECT_FALSE(BackUpBank(bank, "relative", noon, &copy, &reason));
    EXPECT_NE(reason.find("not an absolute path"), std::string::npos) << reason;
}

// A name's backup folder that is a link leads elsewhere: no copy is made
// there and pruning takes none of the files it leads to.
TEST(BankBackup, AFolderThatIsALinkIsNeverWrittenNorPruned) {
    testsupport::TempDir dir;
    const std::string bank = dir.file("KIT.glw");
    const std::string root = dir.file("backups");
    const std::string elsewhere = dir.file("elsewhere");
    fs::create_directories(root);
    fs::create_directories(elsewhere);
    for (int n = 0; n < 21; ++n) {
        const std::string name = "/KIT-20270101-0000" + std::to_string(10 + n) + ".glw";
        ASSERT_TRUE(testsupport::WriteFile(elsewhere + name, testsupport::Bytes(8, uint8_t(n))));
    }
    fs::create_directory_symlink(elsewhere, root + "/KIT");
    ASSERT_TRUE(testsupport::WriteFile(bank, testsupport::Bytes(8, 99)));
    std::string copy, reason;
    EXPECT_FALSE(BackUpBank(bank, root, 1'800'000'000, &copy, &reason, 1));
    EXPECT_NE(reason.find("is a link"), std::string::npos) << reason;
    EXPECT_EQ(std::distance(fs::directory_iterator(elsewhere), fs::directory_iterator()), 21);
    EXPECT_TRUE(ListBankBackups(root, "KIT").empty());
}

}  // namespace
