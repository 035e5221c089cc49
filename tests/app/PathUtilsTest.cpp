#include "app/model/PathUtils.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>

#include "SoundFileWriter.h"

namespace {

namespace fs = std::filesystem;

TEST(PathUtils, ParentPathCutsAtTheLastSlash) {
    EXPECT_EQ(GetParentPath("/a/b"), "/a");
    EXPECT_EQ(GetParentPath("/a/b/"), "/a/b");
    EXPECT_EQ(GetParentPath("/a"), "/");
    EXPECT_EQ(GetParentPath("/"), "");
    EXPECT_EQ(GetParentPath(""), "");
    EXPECT_EQ(GetParentPath("relative"), "");
}

TEST(PathUtils, RootAndRelativePaths) {
    EXPECT_EQ(DirectoryExists("/"), 1);
    EXPECT_EQ(CreateDirectoryTree("/"), 1);
    EXPECT_EQ(DirectoryExists(nullptr), 0);
    EXPECT_EQ(DirectoryExists(""), 0);
    EXPECT_EQ(CreateDirectoryTree(nullptr), 0);
    EXPECT_EQ(CreateDirectoryTree(""), 0);
    // A relative path is never taken as existing, so nothing is made
    // relative to wherever the program happens to run.
    testsupport::TempDir dir;
    const fs::path before = fs::current_path();
    fs::current_path(dir.path());
    EXPECT_EQ(DirectoryExists("."), 0);
    EXPECT_EQ(CreateDirectoryTree("made/here"), 0);
    EXPECT_FALSE(fs::exists(fs::path(dir.path()) / "made"));
    fs::current_path(before);
}

TEST(PathUtils, CreatesTheMissingChainWithOrWithoutTrailingSlash) {
    testsupport::TempDir dir;
    const std::string deep = dir.file("a/b/c");
    EXPECT_EQ(DirectoryExists(deep.c_str()), 0);
    EXPECT_EQ(CreateDirectoryTree(deep.c_str()), 1);
    EXPECT_TRUE(fs::is_directory(deep));
    EXPECT_EQ(DirectoryExists(deep.c_str()), 1);
    // Existing: nothing to do, still success.
    EXPECT_EQ(CreateDirectoryTree((deep + "/").c_str()), 1);
    const std::string other = dir.file("x/y/");
    EXPECT_EQ(CreateDirectoryTree(other.c_str()), 1);
    EXPECT_TRUE(fs::is_directory(dir.file("x/y")));
}

TEST(PathUtils, AFileInTheWayFails) {
    testsupport::TempDir dir;
    std::ofstream(dir.file("file")) << "x";
    EXPECT_EQ(DirectoryExists(dir.file("file").c_str()), 0);
    EXPECT_EQ(CreateDirectoryTree(dir.file("file").c_str()), 0);
    EXPECT_EQ(CreateDirectoryTree(dir.file("file/sub").c_str()), 0);
}

TEST(PathUtils, OverLongPathIsRefusedNotCut) {
    testsupport::TempDir dir;
    // Components short enough for the filesystem, the whole too long.
    std::string path = dir.path();
    while (path.size() < static_cast<size_t>(PATH_MAX) + 10) path += "/abcdefghij";
    EXPECT_FALSE(FitsPathMax(path));
    EXPECT_EQ(CreateDirectoryTree(path.c_str()), 0);
    EXPECT_EQ(DirectoryExists(path.c_str()), 0);
    EXPECT_FALSE(fs::exists(dir.file("abcdefghij")));  // nothing made on the way
}

}  // namespace
