#include "platform/files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "support/temp_folder.h"

namespace {

TEST(Files, WildcardsFollowTheWindowsSearch) {
    struct Case {
        const char* pattern;
        const char* name;
        bool match;
    } cases[] = {
        {"*.*", "readme", true},      {"*.*", "a.txt", true},      {"New_*.*", "New_A", true},
        {"New_*.*", "New_a.b", true}, {"New_*.*", "Old_A", false}, {"New_*.*", "new_A", false},
        {"?.txt", "a.txt", true},     {"?.txt", "ab.txt", false},  {"*", ".", true},
        {"a*b", "axxb", true},        {"a*b", "axxc", false},      {"[a].txt", "[a].txt", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::WildcardMatch(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
}

TEST(Files, FindListsSortedEntriesWithAttributes) {
    TempFolder folder;
    folder.Write("b.txt", "12345");
    folder.Write("a.dat", "");
    folder.MakeFolder("sub");
    std::filesystem::create_directory_symlink(folder / "sub", folder / "link");
    auto found = platform::FindFiles(folder.path() + "\\*.*");
    std::vector<std::string> names;
    for (const auto& entry : found) names.push_back(entry.name);
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", "a.dat", "b.txt", "link", "sub"}));
    EXPECT_EQ(found[3].size, 5u);
    EXPECT_EQ(found[5].attributes, platform::kAttrDirectory);
    EXPECT_NE(found[4].attributes, platform::kAttrDirectory) << "a link to a folder is not a plain folder";
    EXPECT_TRUE(platform::FindFiles(folder / "missing/*.*").empty());
    EXPECT_EQ(platform::FindFiles(folder / "b.txt").size(), 1u);
    EXPECT_TRUE(platform::FindFiles(folder / "c.txt").empty());
}

TEST(Files, DeleteAndRemoveHaveTheWindowsOutcomes) {
    TempFolder folder;
    folder.Write("dir/file", "x");
    EXPECT_FALSE(platform::DeleteFile(folder / "dir")) << "a folder is not deleted as a file";
    EXPECT_FALSE(platform::RemoveDirectory(folder / "dir")) << "a folder goes only when empty";
    EXPECT_TRUE(platform::DeleteFile(folder.path() + "\\dir\\file"));
    EXPECT_FALSE(platform::DeleteFile(folder / "dir/file"));
    EXPECT_TRUE(platform::RemoveDirectory(folder / "dir"));
    EXPECT_TRUE(platform::CreateDirectory(folder / "new"));
    EXPECT_FALSE(platform::CreateDirectory(folder / "new"));
}

TEST(Files, CopyAndMoveReplaceOnlyWhenAsked) {
    TempFolder folder;
    folder.Write("a", "new");
    folder.Write("b", "old");
    EXPECT_FALSE(platform::CopyFile(folder / "a", folder / "b", true));
    EXPECT_EQ(folder.Read("b"), "old");
    EXPECT_TRUE(platform::CopyFile(folder / "a", folder / "b", false));
    EXPECT_EQ(folder.Read("b"), "new");
    folder.MakeFolder("d");
    EXPECT_FALSE(platform::CopyFile(folder / "d", folder / "e", false)) << "a folder is not copied as a file";
    folder.Write("c", "moved");
    EXPECT_FALSE(platform::MoveFile(folder / "c", folder / "b", false));
    EXPECT_TRUE(platform::MoveFile(folder / "c", folder / "b", true));
    EXPECT_EQ(folder.Read("b"), "moved");
    EXPECT_FALSE(folder.Exists("c"));
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
        left.push_back(entry.path().filename().string());
    }
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"a", "b", "d"})) << "no temporary is left behind";
}

}  // namespace
