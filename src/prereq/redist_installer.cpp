#include "prereq/redist_installer.h"

#include <cstdio>

#include "platform/files.h"
#include "platform/processes.h"

namespace {

constexpr const char* kWineBuiltinMarker = "Wine builtin DLL";
// Wine writes its marker into the header of every built-in library it puts in a prefix.
constexpr size_t kMarkerSearchBytes = 4096;

}  // namespace

CRedistributableInstaller::CRedistributableInstaller(platform::IClock& clock) : m_clock(clock) {
    m_installerPath = platform::ExecutableFolder() + "\\redist\\RedistInstaller.exe";
    m_shared = std::make_unique<platform::SharedBlock>(kSharedBlockName, 16);
    WriteShared(0, 0);
    WriteShared(1, 1);
    WriteShared(2, 0);
    WriteShared(3, 0);
}

CRedistributableInstaller::~CRedistributableInstaller() { StopWorker(); }

void CRedistributableInstaller::WriteShared(int index, int32_t value) {
    if (m_shared->Data() != nullptr) m_shared->Data()[index] = value;
}

int CRedistributableInstaller::Start(IModalBox* box) {
    if (IsProcessRunning("redistinstaller.exe")) return -1;
    StopWorker();
    std::lock_guard lock(m_lock);
    m_dialog = box;
    m_finished = false;
    m_cancel = false;
    m_worker = std::thread(&CRedistributableInstaller::RunInstaller, this);
    return 0;
}

void CRedistributableInstaller::RunInstaller(CRedistributableInstaller* self) {
    std::string path;
    {
        std::lock_guard lock(self->m_lock);
        path = self->m_installerPath;
        self->WriteShared(0, 1);
    }
    uint32_t start = self->m_clock.TickCount();
    ProgramStart installer = CreateProcess(path, path, "", self->m_runner);
    if (installer.outcome != StartOutcome::Started) {
        std::printf("Failed to execute dxsetup.exe\n");
        std::fflush(stdout);
    } else {
        for (;;) {
            platform::ChildWait wait = platform::WaitForChild(installer.pid, 1000);
            if (wait == platform::ChildWait::Ended) break;
            if (wait == platform::ChildWait::Failed) {
                if (self->m_clock.TickCount() - start > 10000) {
                    std::lock_guard lock(self->m_lock);
                    self->WriteShared(0, 0);
                    break;
                }
                self->m_clock.Sleep(1000);
            }
            std::lock_guard lock(self->m_lock);
            if (self->m_cancel) break;
        }
    }
    std::lock_guard lock(self->m_lock);
    if (self->m_dialog != nullptr) self->m_dialog->EndDialog(1);
    self->m_finished = true;
    self->m_dialog = nullptr;
}

void CRedistributableInstaller::StopWorker() {
    for (int attempt = 1; attempt <= 10; ++attempt) {
        {
            std::lock_guard lock(m_lock);
            if (m_finished) break;
            m_cancel = true;
        }
        m_clock.Sleep(200);
    }
    // The worker looks at the cancel request at least once a second, so it has ended or is about to:
    // it is joined, never cut off, so it never outlives the members it uses.
    if (m_worker.joinable()) m_worker.join();
    std::lock_guard lock(m_lock);
    m_dialog = nullptr;
}

bool ProbeLibrary(const std::string& path) { return platform::FileExists(path); }

bool IsWineBuiltin(const std::string& path) {
    auto head = platform::ReadFile(path, kMarkerSearchBytes);
    return head && head->find(kWineBuiltinMarker) != std::string::npos;
}

bool IsWow64(const std::string& windowsFolder) {
    return !windowsFolder.empty() && platform::PathIsDirectory(windowsFolder + "/syswow64");
}

bool CheckPrerequisites(const std::string& windowsFolder) {
    if (windowsFolder.empty()) return true;
    std::string system = windowsFolder + "/system32";
    std::string wow = windowsFolder + "/syswow64";
    bool wow64 = IsWow64(windowsFolder);
    for (const char* name : {"d3dx9_43.dll"}) {
        if (IsWineBuiltin(system + "\\" + name)) continue;
        std::string path = system + "\\" + name;
        if (!ProbeLibrary(path)) {
            std::printf("32 dllPath : %s\n", path.c_str());
            return false;
        }
        if (wow64) {
            path = wow + "\\" + name;
            if (!ProbeLibrary(path)) {
                std::printf("64 dllPath : %s\n", path.c_str());
                return false;
            }
        }
    }
    // Wine's universal C runtime is its built-in ucrtbase.dll, which the api-ms-win-crt names lead to.
    if (IsWineBuiltin(system + "\\ucrtbase.dll")) return true;
    for (const char* name :
         {"downlevel\\api-ms-win-crt-runtime-l1-1-0.dll", "api-ms-win-crt-runtime-l1-1-0.dll"}) {
        if (ProbeLibrary(system + "\\" + name) || (wow64 && ProbeLibrary(wow + "\\" + name))) return true;
    }
    return false;
}
