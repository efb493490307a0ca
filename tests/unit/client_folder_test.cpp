#include "patcher/client_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

TEST(SplitPath, PiecesLoseOneBlankEachSide) {
    EXPECT_EQ(SplitPath("a\\b\\c", '\\'), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(SplitPath("a\\\\b\\", '\\'), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(SplitPath("  a  \\ b", '\\'), (std::vector<std::string>{" a ", "b"}));
    EXPECT_EQ(SplitPath("", '\\'), std::vector<std::string>{});
}

class StagingMerge : public ::testing::Test {
protected:
    std::string Client() { return m_work.path() + "\\Orvin"; }
    TempFolder m_work;
};

TEST_F(StagingMerge, NestedFoldersReplaceFilesAndTheStagingFolderGoes) {
    m_work.Write("Orvin/a.txt", "old");
    m_work.Write("Orvin/Temp/a.txt", "new");
    m_work.Write("Orvin/Temp/data/x.dat", "x");
    m_work.Write("Orvin/Temp/data/deep/y.dat", "y");
    m_work.MakeFolder("Orvin/Temp/empty");
    CopyFolderTree(Client() + "/Temp", Client());
    DeleteFolderTree(Client() + "/Temp");
    ::rmdir((m_work / "Orvin/Temp").c_str());
    EXPECT_EQ(m_work.Read("Orvin/a.txt"), "new");
    EXPECT_EQ(m_work.Read("Orvin/data/x.dat"), "x");
    EXPECT_EQ(m_work.Read("Orvin/data/deep/y.dat"), "y");
    EXPECT_TRUE(fs::is_directory(m_work / "Orvin/empty"));
    EXPECT_FALSE(m_work.Exists("Orvin/Temp"));
}

TEST_F(StagingMerge, FileThatCannotBeCopiedStaysForTheNextRun) {
    m_work.Write("Orvin/Temp/ok.txt", "ok");
    m_work.Write("Orvin/Temp/locked.txt", "new");
    m_work.MakeFolder("Orvin/locked.txt");  // a folder stands where the file would go
    CopyFolderTree(Client() + "/Temp", Client());
    EXPECT_EQ(m_work.Read("Orvin/ok.txt"), "ok");
    EXPECT_TRUE(fs::is_directory(m_work / "Orvin/locked.txt"));
    EXPECT_EQ(m_work.Read("Orvin/Temp/locked.txt"), "new");
}

TEST_F(StagingMerge, LinksAreNeitherCopiedNorFollowed) {
    TempFolder outside;
    outside.Write("secret.txt", "secret");
    outside.Write("dir/inner.txt", "inner");
    m_work.MakeFolder("Orvin/Temp");
    fs::create_symlink(outside / "secret.txt", m_work / "Orvin/Temp/secret.txt");
    fs::create_directory_symlink(outside / "dir", m_work / "Orvin/Temp/dir");
    CopyFolderTree(Client() + "/Temp", Client());
    DeleteFolderTree(Client() + "/Temp");
    EXPECT_FALSE(m_work.Exists("Orvin/secret.txt"));
    EXPECT_FALSE(m_work.Exists("Orvin/dir"));
    EXPECT_EQ(outside.Read("secret.txt"), "secret");
    EXPECT_EQ(outside.Read("dir/inner.txt"), "inner");
    EXPECT_FALSE(m_work.Exists("Orvin/Temp/dir")) << "the link itself goes";
}

// Nothing of the player's is lost: a staged file that cannot take its place keeps Temp for the next
// start, and a Temp that is a link is neither merged nor emptied.
TEST_F(StagingMerge, TempStaysWhenAFileCannotBeMergedAndALinkedTempIsLeftAlone) {
    m_work.Write("Orvin/Temp/ok.txt", "ok");
    m_work.Write("Orvin/Temp/locked.txt", "new");
    m_work.MakeFolder("Orvin/locked.txt");
    EXPECT_FALSE(MergeStagingFolder(Client()));
    EXPECT_EQ(m_work.Read("Orvin/ok.txt"), "ok");
    EXPECT_EQ(m_work.Read("Orvin/Temp/locked.txt"), "new") << "the staged file waits for the next start";

    fs::remove_all(m_work / "Orvin/Temp");
    fs::remove_all(m_work / "Orvin/locked.txt");
    EXPECT_TRUE(MergeStagingFolder(Client())) << "no Temp is the ordinary case";

    TempFolder outside;
    outside.Write("player.txt", "the player's");
    fs::create_directory_symlink(outside.path(), m_work / "Orvin/Temp");
    EXPECT_FALSE(MergeStagingFolder(Client()));
    EXPECT_EQ(outside.Read("player.txt"), "the player's");
    EXPECT_FALSE(m_work.Exists("Orvin/player.txt"));

    fs::remove(m_work / "Orvin/Temp");
    m_work.Write("Orvin/Temp/data/x.dat", "x");
    EXPECT_TRUE(MergeStagingFolder(Client()));
    EXPECT_EQ(m_work.Read("Orvin/data/x.dat"), "x");
    EXPECT_FALSE(m_work.Exists("Orvin/Temp"));
}

TEST_F(StagingMerge, NoStagingFolderIsTheOrdinaryCase) {
    m_work.Write("Orvin/a.txt", "a");
    CopyFolderTree(Client() + "/Temp", Client());
    DeleteFolderTree(Client() + "/Temp");
    EXPECT_EQ(m_work.Read("Orvin/a.txt"), "a");
}

struct DeleteCase {
    const char* name;
    const char* line;
    const char* path;  // below the working folder
    bool deleted;
};

class DeleteList : public ::testing::TestWithParam<DeleteCase> {};

TEST_P(DeleteList, OnlyDeletableEntriesInsideTheClientFolderGo) {
    TempFolder work;
    const DeleteCase& c = GetParam();
    bool folder = std::string(c.path).find('.') == std::string::npos;
    if (folder) {
        work.MakeFolder(c.path);
    } else {
        work.Write(c.path, "x");
    }
    work.MakeFolder("Orvin");
    std::string line = c.line;
    size_t at = line.find("{work}");
    if (at != std::string::npos) line.replace(at, 6, work.path());
    work.Write("Orvin/DeleteFiles.txt", line + "\r\n");
    EXPECT_TRUE(ApplyDeleteList(work.path() + "\\Orvin"));
    EXPECT_EQ(!work.Exists(c.path), c.deleted) << c.line;
    EXPECT_FALSE(work.Exists("Orvin/DeleteFiles.txt"));
}

INSTANTIATE_TEST_SUITE_P(
    Entries, DeleteList,
    ::testing::Values(
        DeleteCase{"RelativeWithCase", "Data/Old.TXT", "Orvin/data/old.txt", true},
        DeleteCase{"RealNamesInOtherCase", "data/old.txt", "Orvin/Data/Old.Txt", true},
        DeleteCase{"FolderWithoutDot", "readme", "Orvin/readme", true},
        DeleteCase{"NonEmptyFolderStays", "data", "Orvin/data/keep.dat", false},
        DeleteCase{"NotDeletableExtension", "game.exe", "Orvin/game.exe", false},
        DeleteCase{"TextAfterFirstDot", "a.b.txt", "Orvin/a.b.txt", false},
        DeleteCase{"LeavingTheFolder", "..\\other\\x.txt", "other/x.txt", false},
        DeleteCase{"DotDotInside", "data\\..\\x.ini", "Orvin/x.ini", true},
        DeleteCase{"DotComponent", ".\\.\\x.lua", "Orvin/x.lua", true},
        DeleteCase{"Wildcard", "*.txt", "Orvin/a.txt", false},
        DeleteCase{"DriveLetter", "c:\\orvin\\a.txt", "Orvin/a.txt", false},
        DeleteCase{"LeadingBackslashIsRelative", "\\data\\x.txt", "Orvin/data/x.txt", true},
        DeleteCase{"LeadingSlashIsRelative", "/data/x.ini", "Orvin/data/x.ini", true},
        DeleteCase{"FullPathIsBelowTheClientFolder", "{work}/Orvin/a.ttf", "Orvin/a.ttf", false},
        DeleteCase{"SiblingWithSamePrefix", "{work}/Orvin2/a.txt", "Orvin2/a.txt", false},
        DeleteCase{"DotDotAtTheRoot", "..\\..\\..\\..\\..\\..\\..\\..\\tmp\\x.txt", "x.txt", false},
        DeleteCase{"ShortLine", "a", "Orvin/a", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DeleteListFile, MissingListIsReported) {
    TempFolder work;
    work.MakeFolder("Orvin");
    EXPECT_FALSE(ApplyDeleteList(work.path() + "\\Orvin"));
}

TEST(DeleteListFile, LinksInsideTheClientFolderAreNotFollowed) {
    TempFolder work, outside;
    outside.Write("victim.txt", "keep");
    work.MakeFolder("Orvin");
    fs::create_directory_symlink(outside.path(), work / "Orvin/link");
    work.Write("Orvin/DeleteFiles.txt", "link\\victim.txt\n");
    ApplyDeleteList(work.path() + "\\Orvin");
    EXPECT_EQ(outside.Read("victim.txt"), "keep");
}

TEST(DeleteListTargets, NeverLeaveTheClientFolder) {
    auto targets =
        DeleteListTargets("\\games\\orvin", {"..\\x.txt", "a\\..\\..\\orvin\\b.txt", "\\games\\orvin",
                                             "..\\..\\games\\orvin2\\a.txt", "sub\\c.ini"});
    EXPECT_EQ(targets, (std::vector<std::string>{"\\games\\orvin\\b.txt", "\\games\\orvin\\games\\orvin",
                                                 "\\games\\orvin\\sub\\c.ini"}));
}

}  // namespace
