// Natural order of sound file names is a total order that puts numbers by
// value; a folder lists only its own visible sound files, in that order.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "SoundFileWriter.h"
#include "convert/SoundFiles.h"

using namespace testsupport;

namespace {

TEST(SoundFiles, NaturalOrderIsByNumberThenCaseThenBytes) {
    // Each name sorts strictly before the next one.
    const std::vector<std::string> sorted = {
        "",       "01",     "1",       "1a",    "9",      "10",         "a",
        "a2",     "a02b",   "a2b",     "a10",   "A10x",   "a10x",       "a000000000000000000099",
        "a100",   "B3",     "b3",      "kick2", "kick10", "kick10.wav", "Kick10b",
        "snare_", "snarea", "\xc3\xa9"};
    for (size_t i = 0; i < sorted.size(); ++i) {
        for (size_t j = 0; j < sorted.size(); ++j) {
            EXPECT_EQ(NaturalLess(sorted[i], sorted[j]), i < j)
                << '"' << sorted[i] << "\" against \"" << sorted[j] << '"';
        }
    }
}

TEST(SoundFiles, FolderListsVisibleSoundFilesInNaturalOrder) {
    TempDir dir;
    for (const char* name : {"kick10.WAV", "kick2.wav", "Hat.aiff", "clap.aif", "loop.flac",
                             ".hidden.wav", "notes.txt", "noext"})
        ASSERT_TRUE(WriteFile(dir.file(name), Bytes{0}));
    std::filesystem::create_directory(dir.file("sub.wav"));
    std::filesystem::create_symlink(dir.file("gone.wav"), dir.file("dangling.wav"));

    const auto names = [&](bool convert) {
        std::vector<std::filesystem::path> files;
        EXPECT_TRUE(ListSoundFiles(dir.path(), convert, &files));
        std::vector<std::string> out;
        for (const auto& f : files) out.push_back(f.filename().string());
        return out;
    };
    EXPECT_EQ(names(false),
              (std::vector<std::string>{"clap.aif", "Hat.aiff", "kick2.wav", "kick10.WAV"}));
    EXPECT_EQ(names(true), (std::vector<std::string>{"clap.aif", "Hat.aiff", "kick2.wav",
                                                     "kick10.WAV", "loop.flac"}));

    std::vector<std::filesystem::path> files;
    std::string why;
    EXPECT_FALSE(ListSoundFiles(dir.file("missing"), false, &files, &why));
    EXPECT_FALSE(why.empty());
}

}  // namespace
