// The hand-overs through real Wine, in the prefix the test run shares: the Windows stand-in records
// the command line and the working folder it got, so the test sees what a Windows program sees.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "launch/game_launch.h"
#include "platform/command_line.h"
#include "platform/compat_runner.h"
#include "platform/processes.h"
#include "platform/resources.h"
#include "prereq/redist_installer.h"
#include "support/recording_host.h"
#include "support/substitutes.h"
#include "support/temp_folder.h"
#include "window/control_ids.h"
#include "window/dialog_templates.h"
#include "window/plx_dlg.h"

namespace fs = std::filesystem;

namespace {

// Wine's start of a program in a made prefix takes a second or two; a loaded machine takes longer.
constexpr int kWineStartMs = 120000;

// The program's name as Wine writes it at the head of a command line: its Windows path, quoted.
std::string ProgramToken(const std::string& path) { return "\"" + WindowsPath(path) + "\""; }

class ThroughWine : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(platform::FindProgram("wine").empty()) << "wine is not installed (scripts/setup.sh)";
        ASSERT_TRUE(fs::exists(std::string(ORL_TEST_WINEPREFIX) + "/system.reg")) << "the shared prefix";
        m_previous = fs::current_path().string();
        PortalCommandString.clear();
        m_savedArguments = platform::CommandLineArguments();
        platform::SetCommandLineArguments({"orl"});
    }
    void TearDown() override {
        platform::SetCommandLineArguments(m_savedArguments);
        fs::current_path(m_previous);
    }
    // Makes folder (below the temp folder) the working folder, with the Windows stand-ins as the
    // edition's game programs, and opens the window there.
    void OpenIn(const std::string& folder) {
        m_working = m_folder / folder;
        fs::create_directories(m_working);
        fs::current_path(m_working);
        m_updater = InstallWindowsSubstitute(m_working + "/Orvin", "VelmoraGameUpdate.exe");
        m_client = InstallWindowsSubstitute(m_working + "/Orvin", "VelmoraEac.exe");
        m_window = std::make_unique<Window>();
        m_window->host.ComboAddString(IDC_SERVER, " 오르빈");
        m_window->host.ComboSetCurSel(IDC_SERVER, 0);
        ASSERT_TRUE(m_window->dlg.Create(m_window->host));
    }
    std::string Client() { return m_working + "/Orvin"; }
    GameRunner SharedPrefix() { return {platform::FindCompatRunner(""), ORL_TEST_WINEPREFIX}; }

    TempFolder m_folder;
    ScopedEnvironment m_env{{{"WINEPREFIX", ORL_TEST_WINEPREFIX}, {"ORL_WINE", ""}, {"PROTONPATH", ""}}};
    // The launcher window of one hand-over.
    struct Window {
        RecordingHost host;
        CPLXDlg dlg;
    };
    std::unique_ptr<Window> m_window;
    std::string m_working, m_updater, m_client, m_previous;
    std::vector<std::string> m_savedArguments;
};

TEST_F(ThroughWine, HandOversGiveTheWindowsProgramsTheirExactCommandLines) {
    struct Row {
        const char* folder;
        bool updater;
    };
    for (const Row& row : {Row{"plain", true}, Row{"plain", false}, Row{"My Games/velmora", true},
                           Row{"My Games/velmora", false}}) {
        SCOPED_TRACE(std::string(row.folder) + (row.updater ? " updater" : " client"));
        OpenIn(row.folder);
        std::string program = row.updater ? m_updater : m_client;
        std::string arguments;
        if (row.updater) {
            m_window->dlg.m_launch.curdir = m_working;
            m_window->dlg.m_launch.language = 0;
            m_window->dlg.m_launch.server = 0;
            m_window->dlg.LaunchGameUpdater();
            arguments = "-kq7=?MZ curdir:" + m_working + " language:0 server:0";
        } else {
            m_window->dlg.LaunchAntiCheatClient();
            arguments = "/useeac--korea";
        }
        auto runs = WaitForWindowsRuns(program, 1, kWineStartMs);
        ASSERT_EQ(runs.size(), 1u);
        EXPECT_EQ(runs[0].commandLine, ProgramToken(program) + " " + arguments);
        EXPECT_EQ(runs[0].cwd, WindowsPath(Client()));
        EXPECT_TRUE(m_window->host.boxes.empty()) << "a made prefix with Wine's own components asks nothing";
        EXPECT_TRUE(m_window->host.modalRuns.empty());
        EXPECT_FALSE(m_window->host.IsWindowAlive());
    }
}

TEST_F(ThroughWine, FreshPrefixHasTheComponents) {
    OpenIn("plain");
    GameRunner runner = SharedPrefix();
    ASSERT_TRUE(runner.runner);
    EXPECT_TRUE(CheckPrerequisites(platform::PrefixWindowsFolder(*runner.runner, runner.prefix)));
    m_window->dlg.m_gameRunner = runner;
    EXPECT_EQ(m_window->dlg.EnsurePrerequisites(), 0);
    EXPECT_TRUE(m_window->host.boxes.empty());
}

TEST_F(ThroughWine, MissingComponentRunsTheInstallerThroughTheRunner) {
    OpenIn("My Games");
    // The shared prefix, linked file by file, without the extension library: the shared one stays whole.
    GameRunner runner{platform::FindCompatRunner(""), m_folder / "prefix"};
    ASSERT_TRUE(runner.runner);
    fs::copy(
        ORL_TEST_WINEPREFIX, runner.prefix,
        fs::copy_options::recursive | fs::copy_options::create_hard_links | fs::copy_options::copy_symlinks);
    fs::remove(platform::PrefixWindowsFolder(*runner.runner, runner.prefix) + "/system32/d3dx9_43.dll");
    std::string installer = InstallWindowsSubstitute(Client() + "/redist", "RedistInstaller.exe");
    m_window->dlg.m_gameRunner = runner;
    int result = m_window->dlg.EnsurePrerequisites();
    EXPECT_EQ(result, 0);
    ASSERT_EQ(m_window->host.boxes.size(), 1u);
    EXPECT_EQ(m_window->host.boxes[0].text, platform::LoadStringById(129));
    EXPECT_EQ(m_window->host.modalRuns, std::vector<int>{IDD_INSTALLING});
    // The box closed when the installer had ended, so its record is there already.
    auto runs = WaitForWindowsRuns(installer, 1, kWineStartMs);
    ASSERT_EQ(runs.size(), 1u) << "the Windows installer ran in the prefix";
    EXPECT_EQ(runs[0].commandLine, ProgramToken(installer));
}

}  // namespace
