// glwtool card as the musician runs it: the lines ls prints, the exit codes,
// and a removed bank coming back through glwtool restore.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "BankWriter.h"
#include "SoundFileWriter.h"
#include "ToolRunner.h"

namespace {

namespace fs = std::filesystem;
using testsupport::WriteTestBank;

class CardCommand : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir.file("card/gridlume"));
        ASSERT_EQ(setenv("XDG_DATA_HOME", dir.file("data").c_str(), 1), 0);
    }
    void TearDown() override { unsetenv("XDG_DATA_HOME"); }
    ToolRun Run(std::vector<std::string> args) {
        args.insert(args.begin(), "card");
        return RunGlwtool(args, dir.path());
    }
    [[nodiscard]] std::string Bank(const std::string& name) const {
        return dir.file("card/gridlume/" + name + ".glw");
    }
    testsupport::TempDir dir;
};

TEST_F(CardCommand, LsPrintsOneLinePerBankAndMarksADamagedOneWithTheReason) {
    EXPECT_EQ(Run({"ls", dir.file("card")}).exitCode, 0);
    EXPECT_EQ(Run({"ls", dir.file("card")}).out, "");
    ASSERT_TRUE(WriteTestBank(Bank("KIT"), {{1, 1, 1600}, {9, 2, 3200}}));
    ASSERT_TRUE(WriteTestBank(Bank("BAD"), {{1, 1, 160}}));
    testsupport::Bytes bad = testsupport::ReadFile(Bank("BAD"));
    bad.resize(bad.size() - 2);
    ASSERT_TRUE(testsupport::WriteFile(Bank("BAD"), bad));
    const timespec times[2] = {{1772600406, 0}, {1772600406, 0}};  // 2026-03-04 05:00:06 UTC
    ASSERT_EQ(utimensat(AT_FDCWD, Bank("KIT").c_str(), times, 0), 0);

    const ToolRun run = Run({"ls", dir.file("card")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string bad0 = "BAD\tdamaged\t" + std::to_string(bad.size()) + '\t';
    ASSERT_EQ(run.out.compare(0, bad0.size(), bad0), 0) << run.out;
    const size_t kit = run.out.find("\nKIT\t");
    ASSERT_NE(kit, std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\tbodyLength is " + std::to_string(bad.size() - 30)), std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.substr(kit + 1),
              "KIT\t2\t" + std::to_string(fs::file_size(Bank("KIT"))) + "\t2026-03-04T05:00:06Z\n");
    EXPECT_EQ(Run({"ls", Bank("KIT")}).exitCode, 2);
    EXPECT_NE(Run({"ls", "--help"}).out.find("modified (UTC"), std::string::npos);
}

TEST_F(CardCommand, RefusalsExitWithTheirCodesAndARemovedBankComesBackByteForByte) {
    ASSERT_TRUE(WriteTestBank(Bank("KIT"), {{1, 1, 1600}, {9, 2, 3200}}));
    ASSERT_TRUE(WriteTestBank(Bank("BASS"), {{16, 1, 320}}));
    const std::string card = dir.file("card");
    const testsupport::Bytes kit = testsupport::ReadFile(Bank("KIT"));
    EXPECT_EQ(Run({"mv", card, "KIT", "a b"}).exitCode, 2);
    EXPECT_EQ(Run({"mv", card, "KIT", "BASS"}).exitCode, 1);
    EXPECT_EQ(Run({"cp", card, "NONE", "X"}).exitCode, 1);
    EXPECT_EQ(Run({"rm", dir.file("nocard"), "KIT"}).exitCode, 2);
    EXPECT_TRUE(testsupport::ReadFile(Bank("KIT")) == kit);

    ToolRun run = Run({"backup", card, dir.file("copy")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, dir.file("copy") + '\n');
    ASSERT_EQ(Run({"rm", card, "KIT"}).exitCode, 0);
    EXPECT_FALSE(fs::exists(Bank("KIT")));
    ASSERT_TRUE(WriteTestBank(Bank("BASS"), {{3, 1, 320}, {16, 1, 320}}));
    run = Run({"diff", card, dir.file("copy")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "changed\tBASS\t3\ngone\tKIT\n");

    run = RunGlwtool({"restore", "KIT", card}, dir.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(testsupport::ReadFile(Bank("KIT")) == kit);
    ASSERT_EQ(Run({"restore", card, dir.file("copy")}).exitCode, 0);
    EXPECT_EQ(Run({"diff", card, dir.file("copy")}).exitCode, 0);

    // A bank whose file name is its stored name in other letters (as a FAT
    // card may show it) comes back as well.
    fs::rename(Bank("KIT"), Bank("kit"));
    ASSERT_EQ(Run({"rm", card, "kit"}).exitCode, 0);
    run = RunGlwtool({"restore", "kit", card}, dir.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(testsupport::ReadFile(Bank("kit")) == kit);
}

}  // namespace
