#include "platform/processes.h"

#include <dirent.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "platform/files.h"

extern char** environ;

namespace platform {
namespace {

std::string ReadSmallFile(const std::string& path) {
    auto data = ReadFile(path, 64 * 1024);
    return data ? *data : std::string();
}

std::string LastComponent(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsExecutableFile(const std::string& path) {
    return ::access(path.c_str(), X_OK) == 0 && FileExists(path) && !PathIsDirectory(path);
}

// The caller's environment with the request's variables set over it.
std::vector<std::string> MergedEnvironment(const std::vector<std::pair<std::string, std::string>>& extra) {
    std::vector<std::string> merged;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        std::string text = *entry;
        std::string name = text.substr(0, text.find('='));
        bool replaced =
            std::any_of(extra.begin(), extra.end(), [&](const auto& v) { return v.first == name; });
        if (!replaced) merged.push_back(std::move(text));
    }
    for (const auto& [name, value] : extra) {
        std::string entry = name;
        entry.append(1, '=').append(value);
        merged.push_back(std::move(entry));
    }
    return merged;
}

}  // namespace

std::vector<ProcessRecord> TakeProcessSnapshot() {
    std::vector<ProcessRecord> records;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) return records;
    while (struct dirent* entry = ::readdir(proc)) {
        char* end = nullptr;
        unsigned long pid = std::strtoul(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0') continue;
        std::string folder = std::string("/proc/") + entry->d_name;
        std::string stat = ReadSmallFile(folder + "/stat");
        size_t close = stat.rfind(')');
        if (stat.empty() || close == std::string::npos ||
            (close + 2 < stat.size() && stat[close + 2] == 'Z')) {
            continue;
        }
        std::string cmdline = ReadSmallFile(folder + "/cmdline");
        std::string argv0 = cmdline.substr(0, cmdline.find('\0'));
        std::string name = LastComponent(argv0);
        if (name.empty()) {
            name = ReadSmallFile(folder + "/comm");
            if (!name.empty() && name.back() == '\n') name.pop_back();
        }
        records.push_back({static_cast<uint32_t>(pid), name});
    }
    ::closedir(proc);
    std::sort(records.begin(), records.end(), [](const auto& a, const auto& b) { return a.pid < b.pid; });
    return records;
}

int OpenProcess(uint32_t pid) {
    return static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0));
}

bool SignalProcess(int handle, int signal) {
    return ::syscall(SYS_pidfd_send_signal, handle, signal, nullptr, 0) == 0;
}

void CloseProcess(int handle) {
    if (handle >= 0) ::close(handle);
}

SpawnResult SpawnProcess(const SpawnRequest& request) {
    std::vector<std::string> arguments = request.arguments;
    if (arguments.empty()) arguments.push_back(request.program);
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment = MergedEnvironment(request.environment);
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!request.workingFolder.empty())
        posix_spawn_file_actions_addchdir_np(&actions, request.workingFolder.c_str());
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    short flags = POSIX_SPAWN_SETSIGMASK;
    if (request.ownSession) flags |= POSIX_SPAWN_SETSID;
    posix_spawnattr_setflags(&attributes, flags);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    SpawnResult result;
    int error =
        ::posix_spawn(&result.pid, request.program.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (error == ENOENT || error == ENOTDIR)
        result.error = SpawnError::Missing;
    else if (error != 0)
        result.error = SpawnError::NotExecutable;
    if (error != 0) result.pid = -1;
    return result;
}

ChildWait WaitForChild(pid_t pid, int milliseconds) {
    int handle = OpenProcess(static_cast<uint32_t>(pid));
    if (handle < 0) return ChildWait::Failed;
    struct pollfd wait {
        handle, POLLIN, 0
    };
    int ready = ::poll(&wait, 1, milliseconds);
    CloseProcess(handle);
    if (ready < 0) return ChildWait::Failed;
    if (ready == 0) return ChildWait::Running;
    ::waitpid(pid, nullptr, 0);
    return ChildWait::Ended;
}

std::string FindProgram(const std::string& name) {
    if (name.empty()) return {};
    if (name.find('/') != std::string::npos) return IsExecutableFile(name) ? name : std::string();
    std::istringstream folders(EnvironmentValue("PATH"));
    for (std::string folder; std::getline(folders, folder, ':');) {
        // An empty entry stands for the working folder.
        std::filesystem::path candidate = std::filesystem::path(folder.empty() ? "." : folder) / name;
        if (IsExecutableFile(candidate.string())) return candidate.string();
    }
    return {};
}

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string ExecutableFolder() {
    char path[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    std::string exe(path, static_cast<size_t>(n));
    size_t slash = exe.rfind('/');
    return slash == std::string::npos ? "." : exe.substr(0, slash);
}

}  // namespace platform
