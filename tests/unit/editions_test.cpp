#include "installer/editions.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "support/temp_folder.h"

namespace {

struct EditionCase {
    const char* name;
    int server;
    const char* folder;
    const char* fullPath;
    const char* serverDir;
    const char* archive;
};

class Editions : public WorkingFolderTest, public ::testing::WithParamInterface<EditionCase> {};

TEST_P(Editions, NamesFollowTheServerIndex) {
    const EditionCase& c = GetParam();
    EXPECT_EQ(ResolveClientFolder(c.server), m_work.path() + "\\" + c.folder);
    EXPECT_EQ(BuildEditionPath(c.server, "/full"), c.fullPath);
    EXPECT_EQ(BuildServerDir(c.server), c.serverDir);
    EXPECT_EQ(BuildArchiveName(c.server), c.archive);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, Editions,
    ::testing::Values(
        EditionCase{"Server0", 0, "Orvin", "live/VEL-KOR/full", "live/real", "Velmora_Orvin.zip"},
        EditionCase{"Server1", 1, "Kessa", "live/VEL-KOR-KESSA/full", "live/test", "Velmora_Kessa.zip"},
        EditionCase{"Server2", 2, "Orvin", "live/VEL-KOR/full", "live/real", "Velmora_Orvin.zip"},
        EditionCase{"Server7", 7, "Orvin", "live/VEL-KOR/full", "live/real", "Velmora_Orvin.zip"},
        EditionCase{"NegativeServer", -1, "Orvin", "live/VEL-KOR/full", "live/real", "Velmora_Orvin.zip"}),
    [](const auto& info) { return std::string(info.param.name); });

struct OverrideCase {
    const char* name;
    const char* ini;
    const char* expectedSuffix;  // after the working folder
};

class CurrentClientOverride : public WorkingFolderTest, public ::testing::WithParamInterface<OverrideCase> {};

TEST_P(CurrentClientOverride, AppliesToBothEditions) {
    m_work.Write("config_stage.ini", GetParam().ini);
    for (int server : {0, 1}) {
        EXPECT_EQ(ResolveClientFolder(server), m_work.path() + GetParam().expectedSuffix)
            << "server " << server;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, CurrentClientOverride,
    ::testing::Values(
        OverrideCase{"Plain", "[PATH]\r\nCurrentClient=Client\r\n", "\\Client"},
        OverrideCase{"TrailingBackslashRemoved", "[PATH]\r\nCurrentClient=Client\\\r\n", "\\Client"},
        OverrideCase{"OnlyOneSeparatorRemoved", "[PATH]\r\nCurrentClient=Client//\r\n", "\\Client/"},
        OverrideCase{"EmptyIsTheWorkingFolder", "[PATH]\r\nCurrentClient=\r\n", ""}),
    [](const auto& info) { return std::string(info.param.name); });

struct LengthCase {
    const char* name;
    size_t length;
};

class LongWorkingFolder : public WorkingFolderTest, public ::testing::WithParamInterface<LengthCase> {};

TEST_P(LongWorkingFolder, HoldsTheClientFolder) {
    std::string working = EnterFolderOfLength(m_work, GetParam().length);
    ASSERT_EQ(platform::GetCurrentDirectory(), working);
    EXPECT_EQ(ResolveClientFolder(0), working + "\\Orvin");
    m_work.Write(working.substr(m_work.path().size() + 1) + "/config_stage.ini",
                 "[PATH]\r\nCurrentClient=Client\r\n");
    EXPECT_EQ(ResolveClientFolder(1), working + "\\Client");
}

INSTANTIATE_TEST_SUITE_P(Lengths, LongWorkingFolder,
                         ::testing::Values(LengthCase{"Chars259", 259}, LengthCase{"Chars260", 260},
                                           LengthCase{"Chars1000", 1000}, LengthCase{"Chars4000", 4000}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WorkingFolderTest, NoneStringPrefixCountsAsNotSet) {
    m_work.Write("config_stage.ini", "[PATH]\r\nCurrentClient=NoneString2\r\n");
    EXPECT_EQ(ResolveClientFolder(1), m_work.path() + "\\Kessa");
}

}  // namespace
