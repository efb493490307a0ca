// The hand-over to the game: the client folder's tidy-up, the compatibility runner and its prefix for
// a Windows program, the prerequisite check and the start of the game updater or the game client. A
// hand-over that cannot start tells the player why and leaves the window open.
#include <atomic>
#include <cstdio>
#include <thread>

#include "installer/editions.h"
#include "launch/game_launch.h"
#include "launch/process_control.h"
#include "patcher/client_folder.h"
#include "patcher/update_archive.h"
#include "platform/command_line.h"
#include "platform/compat_runner.h"
#include "platform/files.h"
#include "platform/resources.h"
#include "prereq/redist_installer.h"
#include "window/dialog_templates.h"
#include "window/plx_dlg.h"

namespace {

int StartFailureMessage(StartOutcome outcome) {
    switch (outcome) {
        case StartOutcome::NoRunner:
            return 247;
        case StartOutcome::Missing:
            return 248;
        default:
            return 249;
    }
}

// Makes path's folders, each that is missing.
void MakeFolders(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        platform::CreateDirectory(path.substr(0, slash));
    platform::CreateDirectory(path);
}

}  // namespace

void CPLXDlg::TidyClientFolder() {
    std::string folder = GetClientFolder();
    MergeStagingFolder(folder);
    ApplyDeleteList(folder);
}

int CPLXDlg::EnsurePrerequisites() {
    CRedistributableInstaller installer(*m_clock);
    installer.m_installerPath = GetClientFolder() + "\\" + "redist\\RedistInstaller.exe";
    std::string windowsFolder;
    if (m_gameRunner && m_gameRunner->runner) {
        installer.m_runner = *m_gameRunner;
        windowsFolder = platform::PrefixWindowsFolder(*m_gameRunner->runner, m_gameRunner->prefix);
    }
    if (CheckPrerequisites(windowsFolder)) return 0;
    if (m_host->MessageBox(platform::LoadStringById(129), "Velmora", MB_OKCANCEL) != IDOK) return 0;
    std::unique_ptr<IModalBox> box = m_host->CreateModalBox(IDD_INSTALLING);
    if (installer.Start(box.get()) == -1) {
        m_host->MessageBox(platform::LoadStringById(128), "Velmora", MB_OK | MB_ICONEXCLAMATION);
        return -1;
    }
    int result = m_host->RunModal(*box);
    installer.StopWorker();
    return result == IDOK ? 0 : -1;
}

bool CPLXDlg::PassInstanceCheck() {
    if (!GameClientLimitReached()) return true;
    m_host->MessageBox(platform::LoadStringById(127), "Warning!", MB_OK);
    DestroyWindow();
    return false;
}

void CPLXDlg::ReportStartFailure(StartOutcome outcome, const std::string& program) {
    std::string text = platform::LoadStringById(StartFailureMessage(outcome));
    // The path goes in as text, never as a format.
    size_t slot = text.find("%s");
    if (slot != std::string::npos) text.replace(slot, 2, program);
    std::fprintf(stderr, "Cannot start %s\n", program.c_str());
    m_bPatchBusy = false;
    m_host->MessageBox(text, platform::ApplicationTitle(), MB_OK | MB_ICONEXCLAMATION);
}

bool CPLXDlg::ReadyForHandOver(const std::string& applicationName, const std::string& commandLine) {
    m_gameRunner.reset();
    std::string program = platform::NativePath(ResolveCommandLine(applicationName, commandLine).program);
    if (!platform::FileExists(program) || platform::PathIsDirectory(program)) {
        ReportStartFailure(StartOutcome::Missing, program);
        return false;
    }
    if (!platform::IsWindowsProgram(program)) return true;
    GameRunner runner = ChooseGameRunner(platform::GetCurrentDirectory() + "\\" + "ORLConfig.ini",
                                         BuildEditionName(m_typeSettings.server));
    if (!runner.runner) {
        ReportStartFailure(StartOutcome::NoRunner, program);
        return false;
    }
    if (!PrepareCompatPrefix(runner)) {
        m_bPatchBusy = false;
        return false;
    }
    m_gameRunner = runner;
    return true;
}

bool CPLXDlg::PrepareCompatPrefix(const GameRunner& game) {
    if (platform::PrefixIsReady(*game.runner, game.prefix)) return true;
    MakeFolders(platform::NativePath(game.prefix));
    platform::SpawnRequest request = platform::PrefixInitRequest(*game.runner, game.prefix);
    std::unique_ptr<IModalBox> box = m_host->CreateModalBox(IDD_PREPARING);
    std::atomic<bool> cancel{false};
    // Wine's first start in a prefix takes a while; the box tells the player the game is being
    // prepared, and Escape gives up the start.
    std::thread worker([&] {
        platform::SpawnResult init = platform::SpawnProcess(request);
        if (init.error == platform::SpawnError::None) {
            while (!cancel && platform::WaitForChild(init.pid, 500) == platform::ChildWait::Running) {
            }
        }
        box->EndDialog(IDOK);
    });
    int result = m_host->RunModal(*box);
    cancel = true;
    worker.join();
    return result == IDOK;
}

bool CPLXDlg::StartGameProgram(const std::string& applicationName, const std::string& commandLine,
                               const std::string& folder) {
    ProgramStart started =
        CreateProcess(applicationName, commandLine, folder, m_gameRunner.value_or(GameRunner{}));
    if (started.outcome == StartOutcome::Started) return true;
    ReportStartFailure(started.outcome,
                       platform::NativePath(ResolveCommandLine(applicationName, commandLine).program));
    return false;
}

void CPLXDlg::LaunchGameUpdater() {
    std::string folder = GetClientFolder();
    std::string updater = folder + "/" + "VelmoraGameUpdate.exe";
    std::string commandLine = updater + " " + kLaunchToken + " " + BuildLaunchArguments(m_launch);
    TidyClientFolder();
    if (!ReadyForHandOver(updater, commandLine)) return;
    if (EnsurePrerequisites() == 0) {
        WritePortalHandOver(platform::CommandLineArguments());
        std::printf("pCommandLine : %s\n", commandLine.c_str());
        std::fflush(stdout);
        if (!StartGameProgram(updater, commandLine, folder)) return;
        // Update.dat is the updater's now.
        ForgetUpdateRecord(folder);
    }
    DestroyWindow();
}

void CPLXDlg::LaunchAntiCheatClient() {
    m_bPatchBusy = false;
    std::string folder = GetClientFolder();
    std::string commandLine = folder + "/" + kGameClientName + " " + "/useeac--korea";
    TidyClientFolder();
    if (!ReadyForHandOver("", commandLine)) return;
    if (EnsurePrerequisites() == 0) {
        if (PostCloseToProcess(kGameClientName) && !WaitForProcessExit(kGameClientName, 2.0, *m_clock)) {
            TerminateProcessesByName(kGameClientName);
        }
        std::printf("pAllocCommandLine : %s\n", commandLine.c_str());
        std::fflush(stdout);
        if (!StartGameProgram("", commandLine, folder)) return;
    }
    DestroyWindow();
}
