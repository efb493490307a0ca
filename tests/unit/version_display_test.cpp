#include <gtest/gtest.h>

#include "core/launcher_globals.h"
#include "support/recording_host.h"
#include "support/temp_folder.h"
#include "window/control_ids.h"
#include "window/plx_dlg.h"

namespace {

class VersionDisplay : public WorkingFolderTest {
protected:
    void SetUp() override {
        WorkingFolderTest::SetUp();
        m_dlg.Create(m_host);
        m_host.ComboAddString(IDC_SERVER, " 오르빈");
        m_host.ComboAddString(IDC_SERVER, " 케사");
        m_host.ComboSetCurSel(IDC_SERVER, 0);
        for (int i = 0; i < 3; ++i) {
            static const int modes[][2] = {{1024, 768}, {1280, 1024}, {1920, 1080}};
            m_dlg.m_displayModes.push_back(
                std::make_unique<DisplayMode>(DisplayMode{modes[i][0], modes[i][1], i}));
            m_host.ComboAddString(IDC_RESOLUTION, "mode");
        }
    }
    std::string Line() { return m_host.Control(IDC_VERSION).text; }
    RecordingHost m_host;
    CPLXDlg m_dlg;
};

struct ListCase {
    const char* name;
    std::string bytes;
    const char* shown;
    const char* version;
};

class VersionFile : public VersionDisplay, public ::testing::WithParamInterface<ListCase> {};

TEST_P(VersionFile, ShowsAndKeepsTheVersion) {
    m_work.Write("Orvin/List.mfm", GetParam().bytes);
    m_dlg.RefreshVersionDisplay();
    EXPECT_EQ(Line(), std::string("Version : ") + GetParam().shown + " -  오르빈");
    EXPECT_EQ(g_clientVersion, GetParam().version);
}

INSTANTIATE_TEST_SUITE_P(
    Files, VersionFile,
    ::testing::Values(ListCase{"PaddedWithZeros", std::string("1.2.3\0\0\0\0\0\0\0", 12), "1.2.3", "1.2.3"},
                      ListCase{"ElevenBytesIsNoVersion", std::string("1.2.3\0\0\0\0\0\0", 11), "UNKNOWN", ""},
                      ListCase{"OnlyTwelveBytesCount",
                               std::string("1.0\0\0\0\0\0\0\0\0\0", 12) + std::string(88, 'x'), "1.0", "1.0"},
                      ListCase{"TwelveCharactersTakenWhole", "123456789012", "123456789012", "123456789012"},
                      ListCase{"EmptyVersion", std::string(12, '\0'), "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(VersionDisplay, RemovedFileEmptiesTheClientVersion) {
    m_work.Write("Orvin/List.mfm", std::string("7\0\0\0\0\0\0\0\0\0\0\0", 12));
    m_dlg.RefreshVersionDisplay();
    EXPECT_EQ(g_clientVersion, "7");
    std::remove((m_work / "Orvin/List.mfm").c_str());
    m_dlg.RefreshVersionDisplay();
    EXPECT_EQ(g_clientVersion, "");
    EXPECT_EQ(Line(), "Version : UNKNOWN -  오르빈");
}

TEST_F(VersionDisplay, ConfigIniSetsResolutionRowAndWindowMode) {
    m_work.Write("Orvin/Config.ini",
                 "[Resolution]\r\nwidth=1920\r\nheight=1080\r\n[WINDOW_MODE]\r\nMODE=1\r\n");
    m_dlg.RefreshVersionDisplay();
    EXPECT_EQ(m_host.Control(IDC_RESOLUTION).curSel, 2);
    EXPECT_EQ(m_host.Control(IDC_WINDOW_MODE).check, 1);
    m_work.Write("Orvin/Config.ini",
                 "[Resolution]\r\nwidth=1366\r\nheight=768\r\n[WINDOW_MODE]\r\nMODE=0\r\n");
    m_dlg.RefreshVersionDisplay();
    EXPECT_EQ(m_host.Control(IDC_RESOLUTION).curSel, 2) << "an unlisted mode leaves the row";
    EXPECT_EQ(m_host.Control(IDC_WINDOW_MODE).check, 0);
}

TEST_F(VersionDisplay, MissingConfigIniLeavesTheControlsAndRedraws) {
    m_host.ComboSetCurSel(IDC_RESOLUTION, 1);
    m_host.SetCheck(IDC_WINDOW_MODE, 1);
    int redraws = m_host.redraws;
    m_dlg.RefreshVersionDisplay();
    EXPECT_EQ(m_host.Control(IDC_RESOLUTION).curSel, 1);
    EXPECT_EQ(m_host.Control(IDC_WINDOW_MODE).check, 1);
    EXPECT_EQ(m_host.redraws, redraws + 1);
}

TEST_F(VersionDisplay, FollowsTheSelectedServersFolder) {
    m_work.Write("Kessa/List.mfm", std::string("2.0\0\0\0\0\0\0\0\0\0", 12));
    m_dlg.m_typeSettings.server = 1;
    m_host.ComboSetCurSel(IDC_SERVER, 1);
    m_dlg.RefreshVersionDisplay();
    EXPECT_EQ(Line(), "Version : 2.0 -  케사");
    EXPECT_EQ(m_dlg.GetAntiCheatClientPath(), m_work.path() + "\\Kessa/VelmoraEac.exe");
}

}  // namespace
