#include "voicebank/BankFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "SoundFileWriter.h"

namespace {

namespace fs = std::filesystem;

TEST(BankFolder, MakesOneLevelAndTakesAnythingPresent) {
    testsupport::TempDir dir;
    bool made = false;
    EXPECT_TRUE(EnsureBankFolder(dir.file("gridlume"), &made));
    EXPECT_TRUE(made);
    EXPECT_TRUE(fs::is_directory(dir.file("gridlume")));
    EXPECT_TRUE(EnsureBankFolder(dir.file("gridlume"), &made));  // already there
    EXPECT_FALSE(made);

    std::ofstream(dir.file("plain")) << "x";
    EXPECT_TRUE(EnsureBankFolder(dir.file("plain")));
    EXPECT_TRUE(fs::is_regular_file(dir.file("plain")));

    fs::create_symlink(dir.file("nowhere"), dir.file("link"));
    EXPECT_TRUE(EnsureBankFolder(dir.file("link")));
    EXPECT_FALSE(fs::exists(dir.file("nowhere")));

    // Works as root too: no permission bits are involved.
    std::string why;
    EXPECT_FALSE(EnsureBankFolder(dir.file("missing/gridlume"), &made, &why));
    EXPECT_EQ(why, "folder " + dir.file("missing") + " does not exist");
    EXPECT_FALSE(EnsureBankFolder(dir.file("plain/gridlume")));
    EXPECT_FALSE(fs::exists(dir.file("missing")));
}

TEST(BankFolder, AnythingAtTheBankPathIsTaken) {
    testsupport::TempDir dir;
    EXPECT_FALSE(SomethingStandsAt(dir.file("A.glw")));
    std::ofstream(dir.file("A.glw")) << "bank";
    EXPECT_TRUE(SomethingStandsAt(dir.file("A.glw")));
    // Cannot be opened for reading, yet a bank could be replaced there.
    fs::create_symlink(dir.file("elsewhere.glw"), dir.file("B.glw"));
    EXPECT_TRUE(SomethingStandsAt(dir.file("B.glw")));
    fs::create_directory(dir.file("C.glw"));
    EXPECT_TRUE(SomethingStandsAt(dir.file("C.glw")));
    // A plain file where the folder should be: nothing can stand below it.
    EXPECT_FALSE(SomethingStandsAt(dir.file("A.glw/D.glw")));
    EXPECT_FALSE(SomethingStandsAt(dir.file(std::string(5000, 'n'))));
}

}  // namespace
