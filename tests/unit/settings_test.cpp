#include <gtest/gtest.h>

#include "settings/config_files.h"
#include "settings/settings_records.h"
#include "support/temp_folder.h"

namespace {

TEST(DisplaySettings, MissingFileKeepsTheRecordAndFirstSaveCreatesIt) {
    TempFolder folder;
    DisplaySettings settings;
    EXPECT_FALSE(settings.Load(folder / "Config.ini"));
    EXPECT_EQ(settings.width, 1024);
    EXPECT_EQ(settings.height, 768);
    EXPECT_EQ(settings.windowMode, 0);
    settings.Save(folder / "Config.ini");
    EXPECT_EQ(folder.Read("Config.ini"),
              "[Resolution]\r\nwidth=1024\r\nheight=768\r\n[WINDOW_MODE]\r\nMODE=0\r\n");
}

TEST(DisplaySettings, ValuesFollowTheAtoiRuleAndDefaults) {
    TempFolder folder;
    folder.Write("Config.ini", "[Resolution]\r\nwidth=1280x720\r\n[Other]\r\n");
    DisplaySettings settings{1, 2, 3};
    ASSERT_TRUE(settings.Load(folder / "Config.ini"));
    EXPECT_EQ(settings.width, 1280);
    EXPECT_EQ(settings.height, 768);
    EXPECT_EQ(settings.windowMode, 0);
}

TEST(DisplaySettings, RoundTripsThroughTheFile) {
    TempFolder folder;
    DisplaySettings saved{1920, 1080, 1};
    saved.Save(folder / "Config.ini");
    DisplaySettings loaded;
    ASSERT_TRUE(loaded.Load(folder / "Config.ini"));
    EXPECT_EQ(loaded.width, 1920);
    EXPECT_EQ(loaded.height, 1080);
    EXPECT_EQ(loaded.windowMode, 1);
    DisplaySettings negative{-5, 0, 0};
    negative.Save(folder / "Config.ini");
    ASSERT_TRUE(loaded.Load(folder / "Config.ini"));
    EXPECT_EQ(loaded.width, -5);
}

TEST(TypeSettings, FileWithoutTheSectionGivesTwoAndTwo) {
    TempFolder folder;
    TypeSettings settings;
    EXPECT_FALSE(settings.Load(folder / "ORLConfig.ini"));
    EXPECT_EQ(settings.language, 0);
    EXPECT_EQ(settings.server, 0);
    folder.Write("ORLConfig.ini", "[Other]\r\n");
    ASSERT_TRUE(settings.Load(folder / "ORLConfig.ini"));
    EXPECT_EQ(settings.language, 2);
    EXPECT_EQ(settings.server, 2);
    TypeSettings{1, 1}.Save(folder / "ORLConfig.ini");
    EXPECT_EQ(folder.Read("ORLConfig.ini"), "[Other]\r\n[Type]\r\nlanguage=1\r\nserver=1\r\n");
}

struct BannerCase {
    const char* name;
    const char* ini;
    size_t count;
};

class BannerEntries : public ::testing::TestWithParam<BannerCase> {};

TEST_P(BannerEntries, ListEndsAtGapEmptyOrLoadFinish) {
    TempFolder work;
    work.MakeFolder("Orvin");
    work.Write("Orvin/orl.ini", GetParam().ini);
    auto entries = ReadBannerEntries(work.path() + "\\Orvin", work.path());
    ASSERT_EQ(entries.size(), GetParam().count);
    for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].bannerUrl, "https://b/" + std::to_string(i + 1));
        EXPECT_EQ(entries[i].imageUrl, "https://i/" + std::to_string(i + 1));
    }
}

std::string Pairs(std::initializer_list<int> keys) {
    std::string banners = "[BannerURL]\r\n", images = "[ImageURL]\r\n";
    for (int k : keys) {
        banners += std::to_string(k) + "=https://b/" + std::to_string(k) + "\r\n";
        images += std::to_string(k) + "=https://i/" + std::to_string(k) + "\r\n";
    }
    return banners + images;
}

const std::string kThree = Pairs({1, 2, 3});
const std::string kGap = Pairs({1, 2, 4});
const std::string kSix = Pairs({1, 2, 3, 4, 5, 6});
const std::string kImage2Empty =
    "[BannerURL]\r\n1=https://b/1\r\n2=https://b/2\r\n[ImageURL]\r\n1=https://i/1\r\n2=\r\n";
const std::string kMarker =
    "[BannerURL]\r\n1=https://b/1\r\n2=Load_Finish\r\n[ImageURL]\r\n1=https://i/1\r\n2=https://i/2\r\n";

INSTANTIATE_TEST_SUITE_P(Cases, BannerEntries,
                         ::testing::Values(BannerCase{"Three", kThree.c_str(), 3},
                                           BannerCase{"GapEndsTheList", kGap.c_str(), 2},
                                           BannerCase{"OnlyFiveCount", kSix.c_str(), 5},
                                           BannerCase{"EmptyImageEnds", kImage2Empty.c_str(), 1},
                                           BannerCase{"LoadFinishEnds", kMarker.c_str(), 1},
                                           BannerCase{"NoSections", "", 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BannerEntriesFallback, WorkingFolderOrlIniWhenClientFolderHasNone) {
    TempFolder work;
    work.Write("orl.ini", Pairs({1}));
    EXPECT_EQ(ReadBannerEntries(work.path() + "\\Orvin", work.path()).size(), 1u);
    work.Write("Orvin/orl.ini", "");
    EXPECT_EQ(ReadBannerEntries(work.path() + "\\Orvin", work.path()).size(), 0u);
}

TEST(ConfigStage, StarterSwitchAndCurrentClient) {
    TempFolder work;
    EXPECT_TRUE(StarterEnabled(work.path()));
    EXPECT_EQ(ReadCurrentClient(work.path()), "NoneString");
    work.Write("config_stage.ini", "[Download]\r\nEnableStarter=0\r\n[PATH]\r\nCurrentClient=Client\\\r\n");
    EXPECT_FALSE(StarterEnabled(work.path()));
    EXPECT_EQ(ReadCurrentClient(work.path()), "Client\\");
    work.Write("config_stage.ini", "[Download]\r\nEnableStarter=7\r\n");
    EXPECT_TRUE(StarterEnabled(work.path()));
}

TEST(ServerList, UpdateDirFromClientFolderWithDefault) {
    TempFolder work;
    EXPECT_EQ(ReadUpdateDir(work.path(), "live/real"), "live/real");
    work.Write("serverlist.ini", "[UpdateServer]\r\ndir=live/beta\r\n");
    EXPECT_EQ(ReadUpdateDir(work.path(), "live/real"), "live/beta");
}

}  // namespace
