#include "platform/profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/temp_folder.h"

using platform::GetPrivateProfileInt;
using platform::GetPrivateProfileString;
using platform::WritePrivateProfileString;

namespace {

// A file as Windows tools write it: CRLF, comments, blanks around "=", names in mixed case.
constexpr const char* kWindowsIni =
    "; written by the game\r\n"
    "[Resolution]\r\n"
    "Width = 1280\r\n"
    "height=720\r\n"
    "\r\n"
    "[window_mode]\r\n"
    ";MODE=1\r\n"
    "MODE=0\r\n"
    "title=\"  quoted  \"\r\n"
    "empty=\r\n";

struct ReadCase {
    const char* name;
    const char* section;
    const char* key;
    size_t buffer;
    const char* expected;
};

class ProfileRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ProfileRead, ReadsWhatWindowsWrote) {
    TempFolder folder;
    folder.Write("Config.ini", kWindowsIni);
    const ReadCase& c = GetParam();
    EXPECT_EQ(GetPrivateProfileString(c.section, c.key, "default", c.buffer, folder / "Config.ini"),
              c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileRead,
    ::testing::Values(ReadCase{"BlanksAroundEquals", "Resolution", "width", 32, "1280"},
                      ReadCase{"SectionAndKeyIgnoreCase", "RESOLUTION", "HEIGHT", 32, "720"},
                      ReadCase{"CommentLineIsNotAKey", "WINDOW_MODE", "MODE", 32, "0"},
                      ReadCase{"MissingKeyGivesDefault", "Resolution", "depth", 32, "default"},
                      ReadCase{"MissingSectionGivesDefault", "Sound", "width", 32, "default"},
                      ReadCase{"ValueCutToBufferLessOne", "Resolution", "width", 3, "12"},
                      ReadCase{"DefaultCutToBufferToo", "Sound", "x", 4, "def"},
                      ReadCase{"QuotesAreRemoved", "window_mode", "title", 32, "  quoted  "},
                      ReadCase{"EmptyValueIsEmpty", "window_mode", "empty", 32, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Profile, MissingFileGivesDefaults) {
    TempFolder folder;
    EXPECT_EQ(GetPrivateProfileString("Type", "server", "2", 32, folder / "none.ini"), "2");
    EXPECT_EQ(GetPrivateProfileInt("Download", "EnableStarter", 1, folder / "none.ini"), 1);
}

TEST(Profile, IntegerReadFollowsLeadingDigits) {
    TempFolder folder;
    folder.Write("a.ini", "[s]\nneg=-5\nmixed=12ab\nword=abc\nplus=+7\n");
    EXPECT_EQ(GetPrivateProfileInt("s", "neg", 9, folder / "a.ini"), -5);
    EXPECT_EQ(GetPrivateProfileInt("s", "mixed", 9, folder / "a.ini"), 12);
    EXPECT_EQ(GetPrivateProfileInt("s", "word", 9, folder / "a.ini"), 0);
    EXPECT_EQ(GetPrivateProfileInt("s", "plus", 9, folder / "a.ini"), 7);
    EXPECT_EQ(GetPrivateProfileInt("s", "absent", 9, folder / "a.ini"), 9);
}

TEST(Profile, WriteReplacesOneValueAndKeepsEveryOtherLine) {
    TempFolder folder;
    folder.Write("Config.ini", kWindowsIni);
    ASSERT_TRUE(WritePrivateProfileString("resolution", "WIDTH", "1920", folder / "Config.ini"));
    std::string expected = kWindowsIni;
    expected.replace(expected.find("Width = 1280"), 12, "WIDTH=1920");
    EXPECT_EQ(folder.Read("Config.ini"), expected);
}

TEST(Profile, WriteAddsKeyAtEndOfItsSection) {
    TempFolder folder;
    folder.Write("Config.ini", kWindowsIni);
    ASSERT_TRUE(WritePrivateProfileString("Resolution", "depth", "32", folder / "Config.ini"));
    std::string expected = kWindowsIni;
    expected.insert(expected.find("\r\n\r\n[window_mode]") + 2, "depth=32\r\n");
    EXPECT_EQ(folder.Read("Config.ini"), expected);
}

TEST(Profile, WriteCreatesFileAndSectionWithCrlf) {
    TempFolder folder;
    ASSERT_TRUE(WritePrivateProfileString("Type", "language", "0", folder / "ORLConfig.ini"));
    ASSERT_TRUE(WritePrivateProfileString("Type", "server", "1", folder / "ORLConfig.ini"));
    ASSERT_TRUE(WritePrivateProfileString("Other", "x", "y", folder / "ORLConfig.ini"));
    EXPECT_EQ(folder.Read("ORLConfig.ini"), "[Type]\r\nlanguage=0\r\nserver=1\r\n[Other]\r\nx=y\r\n");
}

TEST(Profile, WriteToLastLineWithoutLineEnd) {
    TempFolder folder;
    folder.Write("a.ini", "[s]\na=1");
    ASSERT_TRUE(WritePrivateProfileString("s", "b", "2", folder / "a.ini"));
    EXPECT_EQ(folder.Read("a.ini"), "[s]\na=1\nb=2\n");
}

TEST(Profile, WriteFailsInMissingFolderOrReadOnlyFile) {
    TempFolder folder;
    EXPECT_FALSE(WritePrivateProfileString("s", "k", "v", folder / "missing/a.ini"));
    folder.Write("ro.ini", "[s]\nk=old\n");
    ASSERT_EQ(::chmod((folder / "ro.ini").c_str(), 0444), 0);
    if (::geteuid() != 0) {
        EXPECT_FALSE(WritePrivateProfileString("s", "k", "new", folder / "ro.ini"));
        EXPECT_EQ(folder.Read("ro.ini"), "[s]\nk=old\n");
    }
}

TEST(Profile, AcceptsBackslashSeparatedPaths) {
    TempFolder folder;
    folder.Write("Orvin/Config.ini", "[Resolution]\r\nwidth=1600\r\n");
    EXPECT_EQ(GetPrivateProfileString("Resolution", "width", "", 32, folder.path() + "\\Orvin\\Config.ini"),
              "1600");
}

TEST(Profile, AtoiRule) {
    EXPECT_EQ(platform::AtoiRule("  42"), 42);
    EXPECT_EQ(platform::AtoiRule("1280x720"), 1280);
    EXPECT_EQ(platform::AtoiRule("-3"), -3);
    EXPECT_EQ(platform::AtoiRule("x1"), 0);
    EXPECT_EQ(platform::AtoiRule(""), 0);
}

}  // namespace
