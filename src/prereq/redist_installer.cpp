#include "prereq/redist_installer.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "launch/process_control.h"
#include "platform/files.h"

extern char** environ;

namespace {

class PkexecElevation final : public IElevation {
public:
    std::optional<pid_t> StartElevated(const std::string& path) override {
        std::string native = platform::NativePath(path);
        if (!platform::FileExists(native)) return std::nullopt;
        char program[] = "pkexec";
        std::vector<char*> argv{program, native.data(), nullptr};
        pid_t pid = 0;
        if (::posix_spawnp(&pid, "pkexec", nullptr, nullptr, argv.data(), environ) != 0) return std::nullopt;
        return pid;
    }
};

std::string PrefixFolder(const char* system) {
    const char* prefix = std::getenv("WINEPREFIX");
    if (prefix == nullptr || *prefix == '\0') return {};
    return std::string(prefix) + "/drive_c/windows/" + system;
}

std::string ExecutableFolder() {
    char path[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    std::string exe(path, static_cast<size_t>(n));
    size_t slash = exe.rfind('/');
    return slash == std::string::npos ? "." : exe.substr(0, slash);
}

}  // namespace

IElevation& SystemElevation() {
    static PkexecElevation elevation;
    return elevation;
}

CRedistributableInstaller::CRedistributableInstaller(IElevation& elevation, platform::IClock& clock)
    : m_elevation(elevation), m_clock(clock) {
    m_installerPath = ExecutableFolder() + "\\redist\\RedistInstaller.exe";
    m_sharedFd = ::shm_open(kSharedBlockName, O_CREAT | O_RDWR | O_CLOEXEC, 0600);
    if (m_sharedFd >= 0 && ::ftruncate(m_sharedFd, 16) == 0) {
        void* view = ::mmap(nullptr, 16, PROT_READ | PROT_WRITE, MAP_SHARED, m_sharedFd, 0);
        if (view != MAP_FAILED) {
            m_shared = static_cast<int32_t*>(view);
            m_shared[0] = 0;
            m_shared[1] = 1;
            m_shared[2] = 0;
            m_shared[3] = 0;
        }
    }
}

CRedistributableInstaller::~CRedistributableInstaller() {
    StopWorker();
    if (m_shared != nullptr) ::munmap(m_shared, 16);
    if (m_sharedFd >= 0) {
        ::close(m_sharedFd);
        ::shm_unlink(kSharedBlockName);
    }
}

void CRedistributableInstaller::WriteShared(int index, int32_t value) {
    if (m_shared != nullptr) m_shared[index] = value;
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
    std::optional<pid_t> installer = self->m_elevation.StartElevated(path);
    if (!installer) {
        std::printf("Failed to execute dxsetup.exe\n");
        std::fflush(stdout);
    } else {
        int fd = static_cast<int>(::syscall(SYS_pidfd_open, *installer, 0));
        for (;;) {
            int ready = -1;
            if (fd >= 0) {
                struct pollfd wait {
                    fd, POLLIN, 0
                };
                ready = ::poll(&wait, 1, 1000);
            }
            if (ready > 0) {
                ::waitpid(*installer, nullptr, 0);
                break;
            }
            if (ready < 0) {
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
        if (fd >= 0) ::close(fd);
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

bool IsWow64() {
    std::string wow = PrefixFolder("syswow64");
    return !wow.empty() && platform::PathIsDirectory(wow);
}

bool CheckPrerequisites() {
    std::string system = PrefixFolder("system32");
    if (system.empty()) return true;
    std::string wow = PrefixFolder("syswow64");
    bool wow64 = IsWow64();
    for (const char* name : {"d3dx9_43.dll"}) {
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
    for (const char* name :
         {"downlevel\\api-ms-win-crt-runtime-l1-1-0.dll", "api-ms-win-crt-runtime-l1-1-0.dll"}) {
        if (ProbeLibrary(system + "\\" + name) || (wow64 && ProbeLibrary(wow + "\\" + name))) return true;
    }
    return false;
}
