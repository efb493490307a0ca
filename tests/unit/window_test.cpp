// The launcher window's flows against the recording host: the build sequence and its layout, the
// progress display, the painted buttons, the pending-file pass, the banners and the two lists.
#include <gtest/gtest.h>

#include "core/launcher_globals.h"
#include "platform/command_line.h"
#include "platform/resources.h"
#include "settings/display_modes.h"
#include "settings/server_selection.h"
#include "support/fake_clock.h"
#include "support/recording_host.h"
#include "support/temp_folder.h"
#include "window/control_ids.h"
#include "window/plx_dlg.h"

namespace {

class FixedModes : public platform::IDisplayModeSource {
public:
    std::optional<std::vector<platform::ScreenMode>> ListModes() override { return modes; }
    std::optional<std::vector<platform::ScreenMode>> modes;
};

class Window : public WorkingFolderTest {
protected:
    void SetUp() override {
        WorkingFolderTest::SetUp();
        AdapterModes().pairs.clear();
        m_saved = platform::CommandLineArguments();
        platform::SetCommandLineArguments({"orl"});
    }
    void TearDown() override {
        platform::SetCommandLineArguments(m_saved);
        AdapterModes().pairs.clear();
        WorkingFolderTest::TearDown();
    }
    // A fresh orl.ini keeps the start-up from asking the update server for one.
    void WriteBanners(const std::vector<std::string>& pages) {
        std::string text = "[BannerURL]\r\n";
        for (size_t i = 0; i < pages.size(); ++i)
            text += std::to_string(i + 1) + "=https://link/" + pages[i] + "\r\n";
        text += "[ImageURL]\r\n";
        for (size_t i = 0; i < pages.size(); ++i)
            text += std::to_string(i + 1) + "=https://page/" + pages[i] + "\r\n";
        m_work.Write("Orvin/orl.ini", text);
    }
    bool Build() {
        m_dlg.m_clock = &m_clock;
        m_dlg.m_modeSource = &m_modes;
        if (!m_work.Exists("Orvin/orl.ini")) WriteBanners({});
        return m_dlg.Create(m_host);
    }
    Rect At(int id) { return m_host.Control(id).rect; }

    RecordingHost m_host;
    CPLXDlg m_dlg;
    FakeClock m_clock;
    FixedModes m_modes;
    std::vector<std::string> m_saved;
};

TEST_F(Window, BuildSequencePlacesEveryControl) {
    ASSERT_TRUE(Build());
    EXPECT_EQ(At(IDC_START), (Rect{619, 358, 132, 66})) << "the start picture sets the size";
    EXPECT_EQ(m_host.Control(IDC_START).bitmapId, IDB_START_PRESSED);
    EXPECT_EQ(At(IDC_CLOSE), (Rect{735, 5, 20, 20}));
    EXPECT_EQ(At(IDC_REINSTALL), (Rect{650, 5, 67, 30}));
    EXPECT_EQ(m_host.Control(IDC_REINSTALL).bitmapId, IDB_REINSTALL);
    EXPECT_EQ(At(IDC_COMMUNITY), (Rect{491, 110, 67, 30}));
    EXPECT_EQ(At(IDC_RESOLUTION), (Rect{380, 399, 94, 150}));
    EXPECT_EQ(At(IDC_WINDOW_MODE), (Rect{595, 402, 14, 14}));
    EXPECT_EQ(At(IDC_SERVER), (Rect{290, 399, 74, 150}));
    EXPECT_EQ(At(IDC_PERCENT), (Rect{-8, -178, 14, 13}));
    EXPECT_EQ(At(IDC_VERSION), (Rect{31, 353, 302, 20}));
    EXPECT_EQ(At(IDC_EXPLORER_NOTICE), (Rect{414, 146, 350, 205}));
    EXPECT_EQ(m_host.Control(IDC_EXPLORER_NOTICE).region, (Rect{5, 2, 327, 181}));
    EXPECT_EQ(m_host.Control(IDC_EXPLORER_NOTICE).navigations,
              std::vector<std::string>{platform::WebHost() + "/notice/launcher_notice_new01.asp"});
    EXPECT_EQ(m_host.Control(IDC_VERSION).font, "궁서 10");
    EXPECT_EQ(m_host.Control(IDC_PERCENT).textBackground, 0x2A2722u);
    EXPECT_EQ(m_host.Control(IDC_VERSION).textBackground, kTransparent);
    EXPECT_EQ(m_host.Control(IDC_SERVER).background, 0x000000u);
    EXPECT_EQ(m_host.windowIcon, IDR_MAINFRAME);
}

TEST_F(Window, WindowIsCentredOnTheScreen) {
    for (auto [screen, expected] : {std::pair{Size{1920, 1080}, Rect{580, 326, 760, 429}},
                                    std::pair{Size{1366, 768}, Rect{303, 170, 760, 429}}}) {
        RecordingHost host;
        host.screen = screen;
        CPLXDlg dlg;
        dlg.m_clock = &m_clock;
        WriteBanners({});
        ASSERT_TRUE(dlg.Create(host));
        EXPECT_EQ(host.windowRect, expected);
    }
}

struct ProgressRow {
    int percent;
    int barWidth;
    const char* label;
    Rect labelRect;
};

TEST_F(Window, ProgressSetsTheBarAndTheLabel) {
    ASSERT_TRUE(Build());
    for (const ProgressRow& row :
         {ProgressRow{0, 0, "0%", {40, 380, 14, 13}}, ProgressRow{20, 108, "20%", {148, 380, 20, 13}},
          ProgressRow{50, 272, "50%", {312, 380, 20, 13}}, ProgressRow{99, 539, "99%", {579, 380, 20, 13}},
          ProgressRow{100, 544, "100%", {584, 380, 26, 13}}, ProgressRow{-1, 0, "-1%", {35, 380, 20, 13}}}) {
        for (int kind : {1, 2}) {
            EXPECT_EQ(m_dlg.SendMessage(kProgressMessage, kind, row.percent), 1);
            EXPECT_EQ(At(IDC_PROGRESS), (Rect{40, 378, row.barWidth, 15})) << row.percent;
            EXPECT_EQ(m_host.Control(IDC_PERCENT).text, row.label);
            EXPECT_EQ(At(IDC_PERCENT), row.labelRect) << row.percent;
        }
    }
    int moves = m_host.Control(IDC_PROGRESS).moves;
    EXPECT_EQ(m_dlg.SendMessage(kProgressMessage, 0, 0), 1);
    EXPECT_EQ(m_dlg.SendMessage(kAnsweredMessage, 5, 5), 1);
    EXPECT_EQ(m_host.Control(IDC_PROGRESS).moves, moves);
    EXPECT_EQ(m_host.Control(IDC_PERCENT).text, "-1%");
}

struct PointerRow {
    int x, y;
    unsigned flags;
    int start, close, reinstall, community;
};

TEST_F(Window, ButtonsShowTheirPictureForThePointer) {
    ASSERT_TRUE(Build());
    const int S = IDB_START, SH = IDB_START_HOVER, SP = IDB_START_PRESSED;
    const int C = IDB_CLOSE, CH = IDB_CLOSE_HOVER, CP = IDB_CLOSE_PRESSED;
    const int R = IDB_REINSTALL, RH = IDB_REINSTALL_HOVER, RP = IDB_REINSTALL_PRESSED;
    const int M = IDB_COMMUNITY, MH = IDB_COMMUNITY_HOVER, MP = IDB_COMMUNITY_PRESSED;
    for (const PointerRow& row :
         {PointerRow{10, 10, 0, S, C, R, M}, PointerRow{619, 358, 0, SH, C, R, M},
          PointerRow{751, 423, MK_LBUTTON, SP, C, R, M}, PointerRow{752, 423, 0, S, C, R, M},
          PointerRow{619, 424, 0, S, C, R, M}, PointerRow{735, 6, 0, S, CH, R, M},
          PointerRow{755, 26, MK_LBUTTON, S, CP, R, M}, PointerRow{650, 5, MK_LBUTTON, S, C, RP, M},
          PointerRow{717, 35, 0, S, C, RH, M}, PointerRow{491, 110, 0, S, C, R, MH},
          PointerRow{558, 140, MK_LBUTTON, S, C, R, MP}}) {
        // Every second movement updates the pictures; the one between only clears the drag flag.
        m_dlg.OnMouseMove(row.flags, row.x, row.y);
        EXPECT_EQ(m_host.Control(IDC_START).bitmapId, row.start) << row.x << "," << row.y;
        EXPECT_EQ(m_host.Control(IDC_CLOSE).bitmapId, row.close) << row.x << "," << row.y;
        EXPECT_EQ(m_host.Control(IDC_REINSTALL).bitmapId, row.reinstall) << row.x << "," << row.y;
        EXPECT_EQ(m_host.Control(IDC_COMMUNITY).bitmapId, row.community) << row.x << "," << row.y;
        m_dlg.OnMouseMove(0, 0, 0);
        EXPECT_EQ(m_host.Control(IDC_START).bitmapId, row.start) << "the movement between changes nothing";
    }
}

TEST_F(Window, PressOnTheBackgroundDragsTheWindowOnTheNextMovement) {
    ASSERT_TRUE(Build());
    m_dlg.OnLButtonDown(MK_LBUTTON, 100, 200);
    m_dlg.OnMouseMove(MK_LBUTTON, 110, 205);
    EXPECT_EQ(m_host.drags, 1);
    // A press on the start button does not drag at first: the movement shows it pressed.
    m_dlg.OnLButtonDown(MK_LBUTTON, 700, 400);
    EXPECT_EQ(m_host.Control(IDC_START).bitmapId, IDB_START_PRESSED);
    m_dlg.OnMouseMove(MK_LBUTTON, 701, 400);
    EXPECT_EQ(m_host.drags, 1);
    m_dlg.OnMouseMove(MK_LBUTTON, 702, 400);
    EXPECT_EQ(m_host.drags, 2);
    // The reinstall button has no pressed picture of its own on the press and drags like the background.
    m_dlg.OnLButtonDown(MK_LBUTTON, 660, 10);
    EXPECT_EQ(m_host.Control(IDC_REINSTALL).bitmapId, IDB_REINSTALL);
    m_dlg.OnMouseMove(MK_LBUTTON, 661, 10);
    EXPECT_EQ(m_host.drags, 3);
}

TEST_F(Window, ReleasesRunTheButtonsActions) {
    ASSERT_TRUE(Build());
    m_dlg.OnLButtonUp(0, 450, 120);
    m_dlg.OnLButtonUp(0, 500, 120);
    m_dlg.OnLButtonUp(0, 600, 120);
    EXPECT_EQ(m_host.openedUrls,
              (std::vector<std::string>{platform::LoadStringById(111), platform::LoadStringById(112),
                                        platform::WebHost() + "/"}));
    // With a client installed, the start button saves both settings files, then runs the start
    // command (the update host is unreachable here, so it ends with message 114).
    m_work.Write("Orvin/VelmoraEac.exe", "");
    m_dlg.OnLButtonUp(0, 700, 400);
    while (m_dlg.m_bPatchBusy) m_dlg.PatchDownloadStep();
    EXPECT_TRUE(m_work.Exists("Orvin/Config.ini"));
    EXPECT_TRUE(m_work.Exists("ORLConfig.ini"));
    ASSERT_EQ(m_host.boxes.size(), 1u);
    EXPECT_EQ(m_host.boxes[0].text, platform::LoadStringById(114));
    m_dlg.OnLButtonUp(0, 740, 10);
    EXPECT_FALSE(m_host.IsWindowAlive());
}

TEST_F(Window, FocusResetsTheFilledButtonPictures) {
    ASSERT_TRUE(Build());
    m_dlg.OnSetFocus();
    EXPECT_EQ(m_host.Control(IDC_START).bitmapId, IDB_START);
    EXPECT_EQ(m_host.Control(IDC_CLOSE).bitmapId, IDB_CLOSE) << "the template's picture stays";
    EXPECT_EQ(m_dlg.m_bmpClose.bitmapId, 0) << "the close slot stays empty until the pointer moves";
}

TEST_F(Window, WindowModeBoxWritesConfigIni) {
    ASSERT_TRUE(Build());
    m_host.SetCheck(IDC_WINDOW_MODE, 1);
    m_dlg.OnCommand(IDC_WINDOW_MODE, BN_CLICKED);
    EXPECT_NE(m_work.Read("Orvin/Config.ini").find("MODE=1"), std::string::npos);
}

TEST_F(Window, LongWorkingFolderReachesTheClientAndTheGame) {
    std::string working = EnterFolderOfLength(m_work, 300);
    std::string below = working.substr(m_work.path().size() + 1);
    m_work.Write(below + "/Orvin/orl.ini", "[BannerURL]\r\n[ImageURL]\r\n");
    ASSERT_TRUE(Build());
    EXPECT_EQ(m_dlg.GetClientFolder(), working + "\\Orvin");
    EXPECT_EQ(m_dlg.m_launch.curdir, working);
}

TEST_F(Window, PendingFilesTakeTheirPlace) {
    m_work.Write("New_A.dll", "new a");
    m_work.Write("A.dll", "old a");
    m_work.Write("New_B.dat", "new b");
    ASSERT_TRUE(Build());
    EXPECT_EQ(m_work.Read("A.dll"), "new a");
    EXPECT_EQ(m_work.Read("B.dat"), "new b") << "a replacement without an old file takes its place";
    EXPECT_FALSE(m_work.Exists("New_A.dll"));
    EXPECT_EQ(m_clock.sleeps, 0);
}

TEST_F(Window, StubbornFilesShareElevenRetries) {
    // Folders of the files' names cannot be replaced by a file.
    for (const char* name : {"A.dll", "B.dll", "C.dll"}) {
        m_work.Write(std::string("New_") + name, "new");
        m_work.Write(std::string(name) + "/keep", "x");
    }
    ASSERT_TRUE(Build());
    EXPECT_EQ(m_clock.sleeps, 11);
    ASSERT_EQ(m_host.boxes.size(), 1u);
    EXPECT_EQ(m_host.boxes[0].text, platform::LoadStringById(109));
    EXPECT_EQ(m_host.boxes[0].flags, MB_OK | MB_ICONSTOP);
    EXPECT_TRUE(m_work.Exists("New_A.dll"));
    // The build stopped there: the lists were not filled.
    EXPECT_TRUE(m_host.Control(IDC_SERVER).items.empty());
}

TEST_F(Window, BannersFromTheFile) {
    struct Row {
        std::vector<std::string> pages;
        std::vector<int> dotsX;
    };
    for (const Row& row : {Row{{}, {198}}, Row{{"a"}, {198}}, Row{{"a", "b", "c"}, {172, 198, 224}},
                           Row{{"a", "b", "c", "d", "e"}, {146, 172, 198, 224, 250}},
                           Row{{"a", "b", "c", "d", "e", "f"}, {146, 172, 198, 224, 250}}}) {
        WriteBanners(row.pages);
        RecordingHost host;
        CPLXDlg dlg;
        dlg.m_clock = &m_clock;
        ASSERT_TRUE(dlg.Create(host));
        ASSERT_EQ(dlg.m_dotsShown.size(), row.dotsX.size());
        for (size_t j = 0; j < row.dotsX.size(); ++j) {
            // Placed 13 x 13, a dot takes the 12 x 13 of its picture.
            EXPECT_EQ(host.Control(dlg.m_dotsShown[j]).rect, (Rect{row.dotsX[j], 332, 12, 13}));
            EXPECT_EQ(host.Control(dlg.m_dotsShown[j]).bitmapId, j == 0 ? IDB_DOT_ON : IDB_DOT_OFF);
        }
        EXPECT_FALSE(host.Control(IDC_DOT4).shown == (row.dotsX.size() < 5));
        if (row.pages.empty()) {
            EXPECT_FALSE(host.Control(IDC_BANNER_LINK).shown);
            EXPECT_EQ(host.Control(IDC_EXPLORER_BANNER).rect, (Rect{15, 111, 383, 218}));
            EXPECT_EQ(host.Control(IDC_EXPLORER_BANNER).navigations,
                      std::vector<std::string>{platform::WebHost() + "/launcher/new_banner_L.html"});
        } else {
            EXPECT_EQ(host.Control(IDC_EXPLORER_BANNER).rect, (Rect{3, 95, 446, 300}));
            EXPECT_EQ(host.Control(IDC_EXPLORER_BANNER).order, ZOrder::Bottom);
            EXPECT_EQ(host.Control(IDC_EXPLORER_BANNER).navigations.back(), "https://page/a");
        }
    }
}

TEST_F(Window, BannersTurnEveryThreeSecondsAndDotsPickOne) {
    WriteBanners({"a", "b", "c"});
    ASSERT_TRUE(Build());
    auto& pages = m_host.Control(IDC_EXPLORER_BANNER).navigations;
    g_frameTime = 1.0f;
    for (int i = 0; i < 9; ++i) m_dlg.TickBanners();
    EXPECT_EQ(pages, (std::vector<std::string>{"https://page/a", "https://page/b", "https://page/c",
                                               "https://page/a"}));
    m_dlg.TickBanners();
    m_dlg.OnCommand(IDC_DOT1, BN_CLICKED);
    EXPECT_EQ(pages.back(), "https://page/b");
    EXPECT_EQ(m_host.Control(IDC_DOT1).bitmapId, IDB_DOT_ON);
    m_dlg.TickBanners();
    m_dlg.TickBanners();
    EXPECT_EQ(pages.back(), "https://page/b") << "the click restarted the three seconds";
    m_dlg.OnCommand(IDC_DOT3, BN_CLICKED);
    EXPECT_EQ(m_dlg.m_bannerIndex, 1) << "a dot without a banner is ignored";
    m_dlg.TickBanners();
    EXPECT_EQ(pages.back(), "https://page/c");
    g_frameTime = 0.0f;
}

TEST_F(Window, BannerClicksOpenOnlyWebLinks) {
    m_work.Write("Orvin/orl.ini",
                 "[BannerURL]\r\n1=https://shop.example/x\r\n2=file:///etc/passwd\r\n3=/usr/bin/xterm\r\n"
                 "[ImageURL]\r\n1=https://p/1\r\n2=https://p/2\r\n3=https://p/3\r\n");
    ASSERT_TRUE(Build());
    for (int dot : {IDC_DOT0, IDC_DOT1, IDC_DOT2}) {
        m_dlg.OnCommand(dot, BN_CLICKED);
        m_dlg.OnCommand(IDC_BANNER_LINK, BN_CLICKED);
    }
    EXPECT_EQ(m_host.openedUrls, std::vector<std::string>{"https://shop.example/x"});
}

TEST_F(Window, LoadedBannerPageTakesItsFinalPlace) {
    WriteBanners({});
    ASSERT_TRUE(Build());
    m_dlg.OnWebNavigateComplete(IDC_EXPLORER_BANNER, 7, "x");
    m_dlg.OnWebNavigateComplete(IDC_EXPLORER_BANNER, 8, "y");
    m_dlg.OnWebDocumentComplete(IDC_EXPLORER_BANNER, 8, "y");
    EXPECT_EQ(At(IDC_EXPLORER_BANNER), (Rect{15, 111, 383, 218})) << "not the tracked page";
    m_dlg.OnWebDocumentComplete(IDC_EXPLORER_BANNER, 7, "x");
    EXPECT_EQ(At(IDC_EXPLORER_BANNER), (Rect{13, 107, 432, 280}));
}

struct SelectionRow {
    const char* name;
    std::string typeIni;
    std::vector<std::string> arguments;
    int language, server;
    int selected;
};

class Selection : public Window, public ::testing::WithParamInterface<SelectionRow> {};

TEST_P(Selection, FileAndCommandLineChooseServerAndLanguage) {
    const SelectionRow& row = GetParam();
    if (!row.typeIni.empty()) m_work.Write("ORLConfig.ini", row.typeIni);
    std::vector<std::string> arguments{"orl"};
    arguments.insert(arguments.end(), row.arguments.begin(), row.arguments.end());
    platform::SetCommandLineArguments(arguments);
    m_work.Write("Kessa/orl.ini", "");
    ASSERT_TRUE(Build());
    EXPECT_EQ(m_dlg.m_typeSettings.language, row.language);
    EXPECT_EQ(m_dlg.m_typeSettings.server, row.server);
    EXPECT_EQ(m_dlg.m_launch.language, row.language);
    EXPECT_EQ(m_dlg.m_launch.server, row.server);
    EXPECT_EQ(m_host.ComboGetCurSel(IDC_SERVER), row.selected);
    EXPECT_EQ(m_host.Control(IDC_SERVER).items, (std::vector<std::string>{" 오르빈", " 케사"}));
}

const std::string kKessaTaiwanEnglish = "[Type]\r\nLanguage=1\r\nServer=1\r\n";

INSTANTIATE_TEST_SUITE_P(
    Rows, Selection,
    ::testing::Values(
        SelectionRow{"NothingGiven", "", {}, 0, 0, 0},
        SelectionRow{"FromTheFile", kKessaTaiwanEnglish, {}, 1, 1, 1},
        SelectionRow{"CommandLineFoldsCase", kKessaTaiwanEnglish, {"LANGUAGE:1", "Server:0"}, 1, 0, 0},
        SelectionRow{"BothKeysInOneArgument", "", {"x-language:1server:0"}, 1, 0, 0},
        SelectionRow{"OnlyOneKey", "", {"language:1"}, 0, 0, 0},
        SelectionRow{"TwoMeansNone", "", {"language:2", "server:1"}, 0, 0, 0},
        SelectionRow{"NumberTooLargeIsIgnored", "", {"language:99999999999", "server:1"}, 0, 0, 0},
        SelectionRow{"NotANumberIsIgnored", "", {"language:x", "server:1"}, 0, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Window, ServerChangeRebuildsForTheOtherClient) {
    WriteBanners({"a", "b"});
    m_work.Write("Kessa/orl.ini", "[BannerURL]\r\n1=https://k\r\n[ImageURL]\r\n1=https://kessa-page\r\n");
    m_work.Write("Kessa/List.mfm", std::string("2.5") + std::string(9, '\0'));
    ASSERT_TRUE(Build());
    EXPECT_EQ(m_dlg.BackgroundBitmapId(), IDB_BACKGROUND_ORVIN);
    m_host.ComboSetCurSel(IDC_SERVER, 1);
    m_dlg.OnCommand(IDC_SERVER, CBN_SELCHANGE);
    EXPECT_EQ(m_host.Control(IDC_SERVER).text.rfind("Server : ", 0), 0u);
    EXPECT_EQ(m_dlg.m_typeSettings.server, 1);
    EXPECT_EQ(m_dlg.m_launch.server, 1);
    EXPECT_EQ(m_dlg.BackgroundBitmapId(), IDB_BACKGROUND_KESSA);
    EXPECT_EQ(m_dlg.m_dotsShown.size(), 1u);
    EXPECT_EQ(m_host.Control(IDC_EXPLORER_BANNER).navigations.back(), "https://kessa-page");
    EXPECT_EQ(m_host.Control(IDC_EXPLORER_NOTICE).navigations.size(), 2u);
    EXPECT_EQ(g_clientVersion, "2.5");
}

TEST(LanguageServerNames, NamesAndValues) {
    LanguageNames languages;
    ServerNames servers;
    EXPECT_EQ(languages.FromString("English"), Language_English);
    EXPECT_EQ(languages.FromString("english"), Language_None);
    EXPECT_EQ(servers.FromString("Kessa"), Server_Kessa);
    EXPECT_EQ(servers.ToString(Server_Orvin), "Orvin");
    EXPECT_EQ(languages.ToString(static_cast<nLanguageType>(-1)), "");
}

struct ModeRow {
    const char* name;
    std::optional<std::vector<platform::ScreenMode>> adapter;
    std::string stored;  // Config.ini's resolution, "" for none
    std::vector<std::string> rows;
    int selected;
};

class ModeList : public Window, public ::testing::WithParamInterface<ModeRow> {};

TEST_P(ModeList, OffersTheAdaptersModes) {
    m_modes.modes = GetParam().adapter;
    if (!GetParam().stored.empty()) m_work.Write("Orvin/Config.ini", GetParam().stored);
    ASSERT_TRUE(Build());
    EXPECT_EQ(m_host.Control(IDC_RESOLUTION).items, GetParam().rows);
    EXPECT_EQ(m_host.ComboGetCurSel(IDC_RESOLUTION), GetParam().selected);
}

std::string Stored(int w, int h) {
    return "[Resolution]\r\nwidth=" + std::to_string(w) + "\r\nheight=" + std::to_string(h) + "\r\n";
}

const std::vector<platform::ScreenMode> kAdapter = {{800, 600},  {1024, 768},  {1024, 768},
                                                    {1280, 720}, {1280, 1024}, {1920, 1080}};

INSTANTIATE_TEST_SUITE_P(
    Adapters, ModeList,
    ::testing::Values(
        ModeRow{"TheAdapterExample", kAdapter, "", {"1024 x 768", "1280 x 1024", "1920 x 1080"}, 0},
        ModeRow{"StoredModeIsSelected",
                kAdapter,
                Stored(1920, 1080),
                {"1024 x 768", "1280 x 1024", "1920 x 1080"},
                2},
        ModeRow{"StoredModeNotListed",
                kAdapter,
                Stored(1366, 768),
                {"1024 x 768", "1280 x 1024", "1920 x 1080"},
                0},
        ModeRow{"OneQualifyingModeGivesTheFallback",
                std::vector<platform::ScreenMode>{{800, 600}, {1920, 1080}},
                Stored(1600, 900),
                {"1024 x 768", "1600 x 900"},
                1},
        ModeRow{"NoDisplayGivesTheFallback", std::nullopt, "", {"1024 x 768", "1600 x 900"}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Window, PickedModeIsWrittenToConfigIni) {
    m_modes.modes = kAdapter;
    ASSERT_TRUE(Build());
    m_host.ComboSetCurSel(IDC_RESOLUTION, 1);
    m_dlg.OnCommand(IDC_RESOLUTION, CBN_SELCHANGE);
    EXPECT_EQ(m_dlg.m_displaySettings.width, 1280);
    EXPECT_EQ(m_dlg.m_displaySettings.height, 1024);
    std::string ini = m_work.Read("Orvin/Config.ini");
    EXPECT_NE(ini.find("width=1280"), std::string::npos) << ini;
}

TEST(AdapterModes, DistinctPairsUpToTheCapacity) {
    AdapterModeTable table;
    for (int i = 0; i < 400; ++i) {
        table.Add(1024 + i, 768);
        table.Add(1024 + i, 768);
    }
    EXPECT_EQ(table.pairs.size(), kAdapterModeCapacity);
    EXPECT_EQ(table.pairs.front(), (std::pair<int32_t, int32_t>{1024, 768}));
}

}  // namespace
