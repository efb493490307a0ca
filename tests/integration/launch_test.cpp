// The hand-over to the game: what the updater and the game client are started with, the portal
// hand-over file, the instance check and the prerequisite installer, with real stand-in programs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>

#include "launch/game_launch.h"
#include "launch/process_control.h"
#include "platform/command_line.h"
#include "platform/files.h"
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

// Runs the installer directly: the tests cannot answer an elevation prompt.
class DirectElevation : public IElevation {
public:
    std::optional<pid_t> StartElevated(const std::string& path) override {
        std::string native = platform::NativePath(path);
        started.push_back(native);
        if (!platform::FileExists(native)) return std::nullopt;
        pid_t pid = 0;
        std::vector<char*> argv{native.data(), nullptr};
        if (::posix_spawn(&pid, native.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
            return std::nullopt;
        return pid;
    }
    std::vector<std::string> started;
};

class HandOver : public WorkingFolderTest {
protected:
    void SetUp() override {
        WorkingFolderTest::SetUp();
        unsetenv("WINEPREFIX");
        PortalCommandString.clear();
        m_savedArguments = platform::CommandLineArguments();
        platform::SetCommandLineArguments({"orl"});
        m_updater = InstallSubstitute(m_work / "Orvin", "VelmoraGameUpdate.exe");
        m_client = InstallSubstitute(m_work / "Orvin", "VelmoraEac.exe");
        m_host.ComboAddString(IDC_SERVER, " 오르빈");
        m_host.ComboSetCurSel(IDC_SERVER, 0);
        ASSERT_TRUE(m_dlg.Create(m_host));
        m_dlg.m_elevation = &m_elevation;
    }
    void TearDown() override {
        unsetenv("WINEPREFIX");
        PortalCommandString.clear();
        platform::SetCommandLineArguments(m_savedArguments);
        WorkingFolderTest::TearDown();
    }
    std::string ClientFolder() { return fs::canonical(m_work / "Orvin").string(); }
    // A compatibility prefix without the runtime components.
    void PrefixWithoutComponents() {
        m_work.MakeFolder("prefix/drive_c/windows/system32");
        setenv("WINEPREFIX", (m_work / "prefix").c_str(), 1);
    }
    std::string Installer(const std::string& mode = "") {
        return InstallSubstitute(m_work / "Orvin/redist", "RedistInstaller.exe", mode);
    }

    RecordingHost m_host;
    CPLXDlg m_dlg;
    DirectElevation m_elevation;
    std::string m_updater;
    std::string m_client;
    std::vector<std::string> m_savedArguments;
};

TEST_F(HandOver, UpdaterGetsTheTokenAndTheSettingsInTheClientFolder) {
    m_dlg.m_launch.curdir = "/home/player/velmora";
    m_dlg.m_launch.language = 0;
    m_dlg.m_launch.server = -1;
    m_dlg.LaunchGameUpdater();
    auto runs = WaitForSubstituteRuns(m_updater, 1);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].args, (std::vector<std::string>{m_updater, "-kq7=?MZ", "curdir:/home/player/velmora",
                                                      "language:0", "server:-1"}));
    EXPECT_EQ(runs[0].cwd, ClientFolder());
    EXPECT_FALSE(m_host.IsWindowAlive());
    EXPECT_FALSE(m_work.Exists("vip.qft"));
}

TEST_F(HandOver, PortalArgumentReachesTheUpdaterThroughTheHandOverFile) {
    platform::SetCommandLineArguments({"orl", "a", "token=1 fromQLauncher x", "c"});
    m_dlg.LaunchGameUpdater();
    EXPECT_EQ(WaitForSubstituteRuns(m_updater, 1).size(), 1u);
    EXPECT_EQ(m_work.Read("vip.qft"), "token=1 fromQLauncher x");
}

TEST(PortalCommand, TakesTheLastMarkedArgumentOrAllOfThem) {
    struct Row {
        std::vector<std::string> arguments;
        std::string expected;
        bool handedOver;
    };
    TempFolder folder;
    std::string previous = platform::GetCurrentDirectory();
    ASSERT_EQ(::chdir(folder.path().c_str()), 0);
    for (const Row& row : {Row{{"orl"}, "", false}, Row{{"orl", "a", "b"}, "a b", false},
                           Row{{"orl", "a", "xfromQLauncher", "c"}, "xfromQLauncher", true},
                           Row{{"orl", "fromQLauncher1", "fromQLauncher2"}, "fromQLauncher2", true}}) {
        PortalCommandString.clear();
        std::filesystem::remove(folder / "vip.qft");
        WritePortalHandOver(row.arguments);
        EXPECT_EQ(PortalCommandString, row.expected);
        EXPECT_EQ(folder.Exists("vip.qft"), row.handedOver) << row.expected;
        if (row.handedOver) {
            EXPECT_EQ(folder.Read("vip.qft"), row.expected);
        }
    }
    PortalCommandString.clear();
    ASSERT_EQ(::chdir(previous.c_str()), 0);
}

TEST_F(HandOver, CurrentClientReplacesTheRunningGameClient) {
    std::string old = InstallSubstitute(m_work / "old", "VelmoraEac.exe", "forever");
    ChildProcess running(old);
    running.WaitStarted();
    m_dlg.LaunchAntiCheatClient();
    EXPECT_TRUE(running.Ended());
    auto runs = WaitForSubstituteRuns(m_client, 1);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].args, (std::vector<std::string>{m_client, "/useeac--korea"}));
    EXPECT_EQ(runs[0].cwd, ClientFolder());
    EXPECT_FALSE(m_host.IsWindowAlive());
}

TEST_F(HandOver, FourRunningGameClientsRefuseTheStart) {
    std::string path = InstallSubstitute(m_work / "running", "VelmoraEac.exe", "forever");
    std::vector<std::unique_ptr<ChildProcess>> clients;
    for (int i = 0; i < 3; ++i) {
        clients.push_back(std::make_unique<ChildProcess>(path));
        clients.back()->WaitStarted();
    }
    EXPECT_TRUE(m_dlg.PassInstanceCheck());
    EXPECT_TRUE(m_host.boxes.empty());
    clients.push_back(std::make_unique<ChildProcess>(path));
    clients.back()->WaitStarted();
    EXPECT_FALSE(m_dlg.PassInstanceCheck());
    ASSERT_EQ(m_host.boxes.size(), 1u);
    EXPECT_EQ(m_host.boxes[0].text, platform::LoadStringById(127));
    EXPECT_EQ(m_host.boxes[0].caption, "Warning!");
    EXPECT_FALSE(m_host.IsWindowAlive());
}

TEST_F(HandOver, StartButtonStopsAtTheInstanceLimit) {
    std::string path = InstallSubstitute(m_work / "running", "VelmoraEac.exe", "forever");
    std::vector<std::unique_ptr<ChildProcess>> clients;
    for (int i = 0; i < 4; ++i) {
        clients.push_back(std::make_unique<ChildProcess>(path));
        clients.back()->WaitStarted();
    }
    m_dlg.OnLButtonUp(0, 700, 400);
    ASSERT_EQ(m_host.boxes.size(), 1u) << "no start command after the refusal";
    EXPECT_EQ(m_host.boxes[0].text, platform::LoadStringById(127));
    EXPECT_FALSE(m_host.IsWindowAlive());
    EXPECT_TRUE(m_work.Exists("ORLConfig.ini")) << "the settings were saved before the check";
}

TEST_F(HandOver, PresentComponentsNeedNoInstaller) {
    EXPECT_EQ(m_dlg.EnsurePrerequisites(), 0);
    m_work.Write("prefix/drive_c/windows/system32/d3dx9_43.dll", "");
    m_work.Write("prefix/drive_c/windows/system32/api-ms-win-crt-runtime-l1-1-0.dll", "");
    setenv("WINEPREFIX", (m_work / "prefix").c_str(), 1);
    EXPECT_TRUE(CheckPrerequisites());
    EXPECT_EQ(m_dlg.EnsurePrerequisites(), 0);
    EXPECT_TRUE(m_host.boxes.empty());
    EXPECT_TRUE(m_host.modalRuns.empty());
    // A 64-bit prefix needs the extension library in its 32-bit system folder as well.
    m_work.MakeFolder("prefix/drive_c/windows/syswow64");
    EXPECT_FALSE(CheckPrerequisites());
    m_work.Write("prefix/drive_c/windows/syswow64/d3dx9_43.dll", "");
    EXPECT_TRUE(CheckPrerequisites());
}

TEST_F(HandOver, DecliningTheInstallerLetsTheLaunchGoOn) {
    PrefixWithoutComponents();
    m_host.AnswerNextBoxes({IDCANCEL});
    EXPECT_EQ(m_dlg.EnsurePrerequisites(), 0);
    ASSERT_EQ(m_host.boxes.size(), 1u);
    EXPECT_EQ(m_host.boxes[0].text, platform::LoadStringById(129));
    EXPECT_TRUE(m_elevation.started.empty());
}

TEST_F(HandOver, InstallerThatEndsClosesTheBox) {
    PrefixWithoutComponents();
    std::string installer = Installer("sleep 300");
    EXPECT_EQ(m_dlg.EnsurePrerequisites(), 0);
    EXPECT_EQ(m_host.modalRuns, std::vector<int>{IDD_INSTALLING});
    EXPECT_EQ(m_elevation.started, std::vector<std::string>{installer});
    EXPECT_EQ(ReadSubstituteRuns(installer).size(), 1u);
}

TEST_F(HandOver, MissingInstallerClosesTheBoxAtOnce) {
    PrefixWithoutComponents();
    EXPECT_EQ(m_dlg.EnsurePrerequisites(), 0);
    EXPECT_EQ(m_host.modalRuns, std::vector<int>{IDD_INSTALLING});
}

TEST_F(HandOver, EscapeWhileTheInstallerRunsStopsTheLaunch) {
    PrefixWithoutComponents();
    std::string installer = Installer("forever");
    m_host.modalEscapeAfterMs = 300;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(m_dlg.EnsurePrerequisites(), -1);
    // The worker is joined before the call returns; it looks at the cancel request once a second.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    TerminateProcessesByName("RedistInstaller.exe");
}

TEST_F(HandOver, RunningInstallerRefusesAndNothingStarts) {
    PrefixWithoutComponents();
    ChildProcess running(InstallSubstitute(m_work / "elsewhere", "RedistInstaller.exe", "forever"));
    running.WaitStarted();
    m_dlg.LaunchGameUpdater();
    ASSERT_EQ(m_host.boxes.size(), 2u);
    EXPECT_EQ(m_host.boxes[1].text, platform::LoadStringById(128));
    EXPECT_EQ(m_host.boxes[1].caption, "Velmora");
    EXPECT_TRUE(ReadSubstituteRuns(m_updater).empty());
    EXPECT_FALSE(m_host.IsWindowAlive());
}

TEST_F(HandOver, SharedBlockTellsTheInstallerItRuns) {
    PrefixWithoutComponents();
    Installer("sleep 1500");
    std::atomic<int> seen{-1};
    std::thread reader([&] {
        for (int i = 0; i < 100 && seen < 0; ++i) {
            int fd = ::shm_open(kSharedBlockName, O_RDONLY, 0);
            if (fd >= 0) {
                void* view = ::mmap(nullptr, 16, PROT_READ, MAP_SHARED, fd, 0);
                ::close(fd);
                if (view != MAP_FAILED) {
                    const int32_t* values = static_cast<const int32_t*>(view);
                    if (values[0] == 1 && values[1] == 1 && values[2] == 0 && values[3] == 0) seen = 1;
                    ::munmap(view, 16);
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    EXPECT_EQ(m_dlg.EnsurePrerequisites(), 0);
    reader.join();
    EXPECT_EQ(seen, 1);
}

}  // namespace
