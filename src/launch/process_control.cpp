#include "launch/process_control.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/files.h"

extern char** environ;

namespace {

std::string LowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && LowerAscii(a) == LowerAscii(b);
}

std::string ReadSmallFile(const std::string& path) {
    auto data = platform::ReadFile(path, 64 * 1024);
    return data ? *data : std::string();
}

std::string LastComponent(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

int OpenProcess(uint32_t pid) {
    return static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0));
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

int32_t CountProcessesByName(const std::string& name) {
    int32_t count = 0;
    for (const ProcessRecord& record : TakeProcessSnapshot()) count += record.imageName == name ? 1 : 0;
    return count;
}

bool PostCloseToProcess(const std::string& name) {
    for (const ProcessRecord& record : TakeProcessSnapshot()) {
        if (!SameIgnoringCase(record.imageName, name)) continue;
        // Only the first match is asked; SIGTERM is a process's polite close request.
        int fd = OpenProcess(record.pid);
        if (fd < 0) return false;
        bool asked = ::syscall(SYS_pidfd_send_signal, fd, SIGTERM, nullptr, 0) == 0;
        ::close(fd);
        return asked;
    }
    return false;
}

bool WaitForProcessExit(const std::string& name, double seconds, platform::IClock& clock) {
    uint32_t start = clock.TickCount();
    uint32_t limit = static_cast<uint32_t>(seconds * 1000.0);
    for (;;) {
        if (clock.TickCount() - start > limit) return false;
        bool found = false;
        for (const ProcessRecord& record : TakeProcessSnapshot())
            found |= SameIgnoringCase(record.imageName, name);
        clock.Sleep(100);
        if (!found) return true;
    }
}

bool TerminateProcessesByName(const std::string& name) {
    bool result = true;
    std::vector<int> handles;
    int index = 0;
    for (const ProcessRecord& record : TakeProcessSnapshot()) {
        std::printf("processInfo.szExeFile : %d, %s\n", index++, record.imageName.c_str());
        if (!SameIgnoringCase(record.imageName, name)) continue;
        int fd = OpenProcess(record.pid);
        if (fd >= 0) handles.push_back(fd);
    }
    std::printf("vecHandleGameClient Size : %d\n", static_cast<int>(handles.size()));
    for (int fd : handles) {
        if (::syscall(SYS_pidfd_send_signal, fd, SIGKILL, nullptr, 0) != 0) result = false;
        ::close(fd);
    }
    return result;
}

bool IsProcessRunning(const std::string& name) {
    for (const ProcessRecord& record : TakeProcessSnapshot()) {
        if (SameIgnoringCase(record.imageName, name)) return true;
    }
    return false;
}

bool PathExists(const std::string& path) { return !platform::FindFiles(path).empty(); }

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
    std::vector<std::string> arguments;
    size_t i = 0;
    const size_t n = commandLine.size();
    for (;;) {
        while (i < n && (commandLine[i] == ' ' || commandLine[i] == '\t')) ++i;
        if (i >= n) break;
        std::string argument;
        bool quoted = false;
        while (i < n && (quoted || (commandLine[i] != ' ' && commandLine[i] != '\t'))) {
            if (commandLine[i] == '\\') {
                size_t slashes = 0;
                while (i < n && commandLine[i] == '\\') {
                    ++slashes;
                    ++i;
                }
                if (i < n && commandLine[i] == '"') {
                    argument.append(slashes / 2, '\\');
                    if (slashes % 2 == 1) {
                        argument += '"';
                        ++i;
                    }
                } else {
                    argument.append(slashes, '\\');
                }
            } else if (commandLine[i] == '"') {
                if (quoted && i + 1 < n && commandLine[i + 1] == '"') {
                    argument += '"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                argument += commandLine[i++];
            }
        }
        arguments.push_back(std::move(argument));
    }
    return arguments;
}

bool CreateProcess(const std::string& applicationName, const std::string& commandLine,
                   const std::string& workingFolder) {
    std::vector<std::string> arguments = SplitCommandLine(commandLine);
    std::string program =
        applicationName.empty() ? (arguments.empty() ? "" : arguments.front()) : applicationName;
    if (program.empty()) return false;
    program = platform::NativePath(program);
    // The program's own name reaches it with this system's separators.
    if (!arguments.empty()) arguments.front() = platform::NativePath(arguments.front());
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    std::string folder = platform::NativePath(workingFolder);
    if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // The game runs in a session of its own, so it lives on after the launcher and its terminal.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    pid_t pid = 0;
    int error = ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0;
}

bool GameClientLimitReached() { return CountProcessesByName(kGameClientName) >= kGameClientLimit; }
