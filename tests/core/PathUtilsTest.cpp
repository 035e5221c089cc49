#include "core/PathUtils.h"

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
    EXPECT_TRUE(DirectoryExists("/"));
    EXPECT_TRUE(CreateDirectoryTree("/"));
    EXPECT_FALSE(DirectoryExists(nullptr));
    EXPECT_FALSE(DirectoryExists(""));
    EXPECT_FALSE(CreateDirectoryTree(nullptr));
    EXPECT_FALSE(CreateDirectoryTree(""));
    // A relative path is never taken as existing, so nothing is made
    // relative to wherever the program happens to run.
    testsupport::TempDir dir;
    const fs::path before = fs::current_path();
    fs::current_path(dir.path());
    EXPECT_FALSE(DirectoryExists("."));
    EXPECT_FALSE(CreateDirectoryTree("made/here"));
    EXPECT_FALSE(fs::exists(fs::path(dir.path()) / "made"));
    fs::current_path(before);
}

TEST(PathUtils, CreatesTheMissingChainWithOrWithoutTrailingSlash) {
    testsupport::TempDir dir;
    const std::string deep = dir.file("a/b/c");
    EXPECT_FALSE(DirectoryExists(deep.c_str()));
    EXPECT_TRUE(CreateDirectoryTree(deep.c_str()));
    EXPECT_TRUE(fs::is_directory(deep));
    EXPECT_TRUE(DirectoryExists(deep.c_str()));
    // Existing: nothing to do, still success.
    EXPECT_TRUE(CreateDirectoryTree((deep + "/").c_str()));
    const std::string other = dir.file("x/y/");
    EXPECT_TRUE(CreateDirectoryTree(other.c_str()));
    EXPECT_TRUE(fs::is_directory(dir.file("x/y")));
}

TEST(PathUtils, AFileInTheWayFails) {
    testsupport::TempDir dir;
    std::ofstream(dir.file("file")) << "x";
    EXPECT_FALSE(DirectoryExists(dir.file("file").c_str()));
    EXPECT_FALSE(CreateDirectoryTree(dir.file("file").c_str()));
    EXPECT_FALSE(CreateDirectoryTree(dir.file("file/sub").c_str()));
}

TEST(PathUtils, OverLongPathIsRefusedNotCut) {
    testsupport::TempDir dir;
    // Components short enough for the filesystem, the whole too long.
    std::string path = dir.path();
    while (path.size() < static_cast<size_t>(PATH_MAX) + 10) path += "/abcdefghij";
    EXPECT_FALSE(FitsPathMax(path));
    EXPECT_FALSE(CreateDirectoryTree(path.c_str()));
    EXPECT_FALSE(DirectoryExists(path.c_str()));
    EXPECT_FALSE(fs::exists(dir.file("abcdefghij")));  // nothing made on the way
}

}  // namespace
