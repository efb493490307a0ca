// The hand-over to the game: the client folder's tidy-up, the prerequisite check and the start of the
// game updater or the game client.
#include <cstdio>

#include "launch/game_launch.h"
#include "launch/process_control.h"
#include "patcher/client_folder.h"
#include "platform/command_line.h"
#include "platform/files.h"
#include "platform/resources.h"
#include "prereq/redist_installer.h"
#include "window/dialog_templates.h"
#include "window/plx_dlg.h"

int CPLXDlg::PrepareClientFolder() {
    std::string folder = GetClientFolder();
    std::string staging = folder + "/Temp";
    CopyFolderTree(staging, folder);
    DeleteFolderTree(staging);
    platform::RemoveDirectory(staging);
    ApplyDeleteList(folder);
    return EnsurePrerequisites();
}

int CPLXDlg::EnsurePrerequisites() {
    CRedistributableInstaller installer(*m_elevation, *m_clock);
    installer.m_installerPath = GetClientFolder() + "\\" + "redist\\RedistInstaller.exe";
    if (CheckPrerequisites()) return 0;
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

void CPLXDlg::LaunchGameUpdater() {
    if (PrepareClientFolder() == 0) {
        WritePortalHandOver(platform::CommandLineArguments());
        std::string folder = GetClientFolder();
        std::string updater = folder + "/" + "VelmoraGameUpdate.exe";
        std::string commandLine = updater + " " + kLaunchToken + " " + BuildLaunchArguments(m_launch);
        std::printf("pCommandLine : %s\n", commandLine.c_str());
        std::fflush(stdout);
        CreateProcess(updater, commandLine, folder);
    }
    DestroyWindow();
}

void CPLXDlg::LaunchAntiCheatClient() {
    m_bPatchBusy = false;
    if (PrepareClientFolder() == 0) {
        if (PostCloseToProcess(kGameClientName) && !WaitForProcessExit(kGameClientName, 2.0, *m_clock)) {
            TerminateProcessesByName(kGameClientName);
        }
        std::string folder = GetClientFolder();
        std::string commandLine = folder + "/" + kGameClientName + " " + "/useeac--korea";
        std::printf("pAllocCommandLine : %s\n", commandLine.c_str());
        std::fflush(stdout);
        CreateProcess("", commandLine, folder);
    }
    DestroyWindow();
}
