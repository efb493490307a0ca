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
#include <fstream>

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
    }
    void TearDown() override {
        unsetenv("WINEPREFIX");
        PortalCommandString.clear();
        platform::SetCommandLineArguments(m_savedArguments);
        WorkingFolderTest::TearDown();
    }
    std::string ClientFolder() { return fs::canonical(m_work / "Orvin").string(); }
    // A hand-over to a Windows program whose prefix lacks the runtime components. The installer
    // stand-in is native, so it starts without the runner.
    void PrefixWithoutComponents() {
        m_work.MakeFolder("prefix/drive_c/windows/system32");
        m_dlg.m_gameRunner = GameRunner{platform::CompatRunner{}, m_work / "prefix"};
    }
    std::string Installer(const std::string& mode = "") {
        return InstallSubstitute(m_work / "Orvin/redist", "RedistInstaller.exe", mode);
    }

    RecordingHost m_host;
    CPLXDlg m_dlg;
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

TEST_F(HandOver, NativeGameProgramsNeedNoComponents) {
    PrefixWithoutComponents();
    m_dlg.m_gameRunner.reset();
    EXPECT_EQ(m_dlg.EnsurePrerequisites(), 0);
    EXPECT_TRUE(m_host.boxes.empty());
    EXPECT_TRUE(m_host.modalRuns.empty());
}

TEST_F(HandOver, PresentComponentsNeedNoInstaller) {
    PrefixWithoutComponents();
    m_work.Write("prefix/drive_c/windows/system32/d3dx9_43.dll", "");
    m_work.Write("prefix/drive_c/windows/system32/api-ms-win-crt-runtime-l1-1-0.dll", "");
    EXPECT_EQ(m_dlg.EnsurePrerequisites(), 0);
    EXPECT_TRUE(m_host.boxes.empty());
    EXPECT_TRUE(m_host.modalRuns.empty());
}

TEST(Prerequisites, ComponentsInThePrefixFolders) {
    const std::string builtin = std::string(64, 'M') + "Wine builtin DLL" + std::string(100, '\0');
    struct Row {
        const char* name;
        std::vector<std::pair<std::string, std::string>> files;  // below drive_c/windows
        bool wow64;
        bool present;
    };
    const Row rows[] = {
        {"BothInSystem32",
         {{"system32/d3dx9_43.dll", ""}, {"system32/api-ms-win-crt-runtime-l1-1-0.dll", ""}},
         false,
         true},
        {"ExtensionLibraryMissing", {{"system32/api-ms-win-crt-runtime-l1-1-0.dll", ""}}, false, false},
        {"RuntimeMissing", {{"system32/d3dx9_43.dll", ""}}, false, false},
        {"Wow64NeedsTheLibraryTwice",
         {{"system32/d3dx9_43.dll", ""}, {"system32/api-ms-win-crt-runtime-l1-1-0.dll", ""}},
         true,
         false},
        {"Wow64WithBoth",
         {{"system32/d3dx9_43.dll", ""},
          {"syswow64/d3dx9_43.dll", ""},
          {"system32/api-ms-win-crt-runtime-l1-1-0.dll", ""}},
         true,
         true},
        {"DownlevelRuntimeOnlyInWow64",
         {{"system32/d3dx9_43.dll", ""},
          {"syswow64/d3dx9_43.dll", ""},
          {"syswow64/downlevel/api-ms-win-crt-runtime-l1-1-0.dll", ""}},
         true,
         true},
        // A Wine prefix without 32-bit Wine has an empty syswow64 and no api-ms-win-crt files: Wine's
        // built-ins stand for both components.
        {"WineBuiltinsInAnEmptyWow64",
         {{"system32/d3dx9_43.dll", builtin}, {"system32/ucrtbase.dll", builtin}},
         true,
         true},
        {"NativeUcrtbaseIsNoRuntime",
         {{"system32/d3dx9_43.dll", builtin}, {"system32/ucrtbase.dll", "MZ native"}},
         true,
         false},
    };
    for (const Row& row : rows) {
        TempFolder prefix;
        prefix.MakeFolder("drive_c/windows/system32");
        if (row.wow64) prefix.MakeFolder("drive_c/windows/syswow64");
        for (const auto& [path, content] : row.files) prefix.Write("drive_c/windows/" + path, content);
        EXPECT_EQ(CheckPrerequisites(prefix / "drive_c/windows"), row.present) << row.name;
    }
}

TEST_F(HandOver, DecliningTheInstallerLetsTheLaunchGoOn) {
    PrefixWithoutComponents();
    std::string installer = Installer();
    m_host.AnswerNextBoxes({IDCANCEL});
    EXPECT_EQ(m_dlg.EnsurePrerequisites(), 0);
    ASSERT_EQ(m_host.boxes.size(), 1u);
    EXPECT_EQ(m_host.boxes[0].text, platform::LoadStringById(129));
    EXPECT_TRUE(ReadSubstituteRuns(installer).empty());
}

TEST_F(HandOver, InstallerThatEndsClosesTheBox) {
    PrefixWithoutComponents();
    std::string installer = Installer("sleep 300");
    EXPECT_EQ(m_dlg.EnsurePrerequisites(), 0);
    EXPECT_EQ(m_host.modalRuns, std::vector<int>{IDD_INSTALLING});
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
    // A Windows updater, a runner and a made prefix without the components.
    m_work.Write("Orvin/VelmoraGameUpdate.exe", "MZ");
    m_work.Write("prefix/system.reg", "");
    m_work.MakeFolder("prefix/drive_c/windows/system32");
    std::string runner = InstallRunnerStandIn(m_work / "runner");
    ScopedEnvironment env({{"ORL_WINE", runner}, {"WINEPREFIX", m_work / "prefix"}});
    ChildProcess running(InstallSubstitute(m_work / "elsewhere", "RedistInstaller.exe", "forever"));
    running.WaitStarted();
    m_dlg.LaunchGameUpdater();
    ASSERT_EQ(m_host.boxes.size(), 2u);
    EXPECT_EQ(m_host.boxes[1].text, platform::LoadStringById(128));
    EXPECT_EQ(m_host.boxes[1].caption, "Velmora");
    EXPECT_FALSE(m_work.Exists("runner/wine.log")) << "nothing is started";
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

TEST_F(HandOver, ProgramThatCannotStartIsToldAndTheWindowStays) {
    struct Row {
        const char* name;
        bool updater;
        const char* content;  // nullptr: no file
        bool executable;
        int message;
    };
    const Row rows[] = {
        {"WindowsUpdaterWithoutRunner", true, "MZ\x90\0", true, 247},
        {"WindowsClientWithoutRunner", false, "MZ\x90\0", true, 247},
        {"MissingUpdater", true, nullptr, true, 248},
        {"MissingClient", false, nullptr, true, 248},
        {"UpdaterWithoutExecuteBit", true, "#!/bin/sh\n", false, 249},
        {"ClientWithoutExecuteBit", false, "#!/bin/sh\n", false, 249},
    };
    // No runner anywhere: nothing in the settings or the environment, and no wine on the PATH.
    ScopedEnvironment env({{"PATH", m_work / "empty"}, {"ORL_WINE", ""}, {"PROTONPATH", ""}});
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RecordingHost host;
        host.ComboAddString(IDC_SERVER, " 오르빈");
        host.ComboSetCurSel(IDC_SERVER, 0);
        CPLXDlg dlg;
        ASSERT_TRUE(dlg.Create(host));
        std::string program = row.updater ? m_updater : m_client;
        fs::remove(program);
        if (row.content != nullptr) {
            std::ofstream(program, std::ios::binary).write(row.content, 4);
            fs::permissions(program, row.executable ? fs::perms::owner_all : fs::perms::owner_read);
        }
        if (row.updater) {
            dlg.LaunchGameUpdater();
        } else {
            dlg.LaunchAntiCheatClient();
        }
        ASSERT_EQ(host.boxes.size(), 1u);
        std::string expected = platform::LoadStringById(row.message);
        size_t slot = expected.find("%s");
        if (slot != std::string::npos) expected.replace(slot, 2, program);
        EXPECT_EQ(host.boxes[0].text, expected);
        EXPECT_EQ(host.boxes[0].caption, platform::ApplicationTitle());
        EXPECT_TRUE(host.IsWindowAlive());
        EXPECT_FALSE(dlg.m_bPatchBusy) << "the start button works again";
        EXPECT_FALSE(m_work.Exists("vip.qft"));
    }
}

TEST_F(HandOver, MissingRunnerNamesWhatToInstall) {
    EXPECT_NE(platform::LoadStringById(247).find("apt install wine"), std::string::npos);
}

TEST_F(HandOver, WorkingFolderWithBlanksStartsTheGameClient) {
    // The window is opened in a working folder whose path holds a blank, beside a folder named like
    // the path's first part, as Windows would meet it.
    m_work.MakeFolder("My");
    m_work.MakeFolder("My Games");
    ASSERT_EQ(::chdir((m_work / "My Games").c_str()), 0);
    std::string client = InstallSubstitute(m_work / "My Games/Orvin", "VelmoraEac.exe");
    std::string updater = InstallSubstitute(m_work / "My Games/Orvin", "VelmoraGameUpdate.exe");
    RecordingHost host;
    host.ComboAddString(IDC_SERVER, " 오르빈");
    host.ComboSetCurSel(IDC_SERVER, 0);
    CPLXDlg dlg;
    ASSERT_TRUE(dlg.Create(host));
    dlg.LaunchAntiCheatClient();
    auto runs = WaitForSubstituteRuns(client, 1);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].args, (std::vector<std::string>{client, "/useeac--korea"}));
    EXPECT_EQ(runs[0].cwd, fs::canonical(m_work / "My Games/Orvin").string());
    EXPECT_FALSE(host.IsWindowAlive());
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(HandOver, WindowsProgramGoesThroughTheRunnerInAMadePrefix) {
    // A fresh prefix is made first, behind the preparing box; the runner's environment keeps the
    // player's DLL overrides and adds its own.
    m_work.Write("Orvin/VelmoraEac.exe", "MZ");
    m_work.Write("prefix/drive_c/windows/system32/d3dx9_43.dll", "");
    m_work.Write("prefix/drive_c/windows/system32/api-ms-win-crt-runtime-l1-1-0.dll", "");
    std::string runner = InstallRunnerStandIn(m_work / "runner");
    ScopedEnvironment env({{"ORL_WINE", runner},
                           {"WINEPREFIX", m_work / "prefix"},
                           {"WINEDLLOVERRIDES", "d3d9=n"},
                           {"WINEDEBUG", ""}});
    m_dlg.LaunchAntiCheatClient();
    EXPECT_EQ(m_host.modalRuns, std::vector<int>{IDD_PREPARING});
    EXPECT_TRUE(m_host.boxes.empty());
    EXPECT_FALSE(m_host.IsWindowAlive());
    std::string folder = ClientFolder();
    std::string prefix = m_work / "prefix";
    std::string environment = "env WINEPREFIX=" + prefix +
                              "\nenv WINEDLLOVERRIDES=d3d9=n;winemenubuilder.exe=d\n" +
                              "env WINEDEBUG=-all\nend\n";
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    auto runs = [&] {
        std::string log = m_work.Read("runner/wine.log");
        size_t ends = 0;
        for (size_t at = log.find("end\n"); at != std::string::npos; at = log.find("end\n", at + 1)) ++ends;
        return ends;
    };
    while (runs() < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(m_work.Read("runner/wine.log"), "cwd " + m_work.path() + "\narg wineboot\narg --init\n" +
                                                  environment + "cwd " + folder + "\narg " + folder +
                                                  "/VelmoraEac.exe\narg /useeac--korea\n" + environment);
}

}  // namespace
