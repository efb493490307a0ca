#include "support/substitutes.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

extern char** environ;

namespace fs = std::filesystem;

std::string InstallSubstitute(const std::string& folder, const std::string& name, const std::string& mode) {
    fs::create_directories(folder);
    fs::path target = fs::path(folder) / name;
    // A copy renamed into place: the name may belong to a stand-in that is running.
    fs::path temp = target.string() + ".new";
    fs::copy_file(ORL_SUBSTITUTE_PATH, temp, fs::copy_options::overwrite_existing);
    fs::permissions(temp, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    fs::rename(temp, target);
    if (!mode.empty()) std::ofstream(target.string() + ".mode") << mode << "\n";
    return target.string();
}

std::vector<SubstituteRun> ReadSubstituteRuns(const std::string& path) {
    std::vector<SubstituteRun> runs;
    std::ifstream log(path + ".log");
    SubstituteRun run;
    for (std::string line; std::getline(log, line);) {
        if (line.rfind("cwd ", 0) == 0) {
            run = {line.substr(4), {}};
        } else if (line.rfind("arg ", 0) == 0) {
            run.args.push_back(line.substr(4));
        } else if (line == "end") {
            runs.push_back(run);
        }
    }
    return runs;
}

std::vector<SubstituteRun> WaitForSubstituteRuns(const std::string& path, size_t count, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        auto runs = ReadSubstituteRuns(path);
        if (runs.size() >= count || std::chrono::steady_clock::now() > deadline) return runs;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

ChildProcess::ChildProcess(const std::string& path) : m_path(path) {
    m_runsBefore = ReadSubstituteRuns(path).size();
    std::vector<char*> argv{m_path.data(), nullptr};
    if (::posix_spawn(&m_pid, m_path.c_str(), nullptr, nullptr, argv.data(), environ) != 0) m_pid = -1;
}

ChildProcess::~ChildProcess() {
    if (m_pid > 0 && !m_reaped) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
}

bool ChildProcess::Ended() {
    if (m_reaped) return true;
    if (m_pid > 0 && ::waitpid(m_pid, nullptr, WNOHANG) == m_pid) m_reaped = true;
    return m_reaped;
}

void ChildProcess::WaitStarted() { WaitForSubstituteRuns(m_path, m_runsBefore + 1); }

std::string CommandOutput(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

std::string InstallRunnerStandIn(const std::string& folder) {
    fs::create_directories(folder);
    fs::path script = fs::path(folder) / "wine";
    std::ofstream(script) << "#!/bin/sh\n"
                             "log=\"$(dirname \"$0\")/wine.log\"\n"
                             "{\n"
                             "  echo \"cwd $(pwd)\"\n"
                             "  for a in \"$@\"; do echo \"arg $a\"; done\n"
                             "  echo \"env WINEPREFIX=$WINEPREFIX\"\n"
                             "  echo \"env WINEDLLOVERRIDES=$WINEDLLOVERRIDES\"\n"
                             "  echo \"env WINEDEBUG=$WINEDEBUG\"\n"
                             "  echo end\n"
                             "} >>\"$log\"\n";
    fs::permissions(script, fs::perms::owner_all);
    return script.string();
}

std::string InstallWindowsSubstitute(const std::string& folder, const std::string& name) {
    fs::create_directories(folder);
    fs::path target = fs::path(folder) / name;
    fs::copy_file(ORL_WINDOWS_SUBSTITUTE_PATH, target, fs::copy_options::overwrite_existing);
    fs::permissions(target, fs::perms::owner_all);
    return target.string();
}

std::vector<WindowsRun> WaitForWindowsRuns(const std::string& path, size_t count, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        std::vector<WindowsRun> runs;
        std::ifstream log(path + ".log", std::ios::binary);
        WindowsRun run;
        for (std::string line; std::getline(log, line);) {
            if (line.rfind("cmd ", 0) == 0) {
                run = {line.substr(4), {}};
            } else if (line.rfind("cwd ", 0) == 0) {
                run.cwd = line.substr(4);
            } else if (line == "end") {
                runs.push_back(run);
            }
        }
        if (runs.size() >= count || std::chrono::steady_clock::now() > deadline) return runs;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

std::string WindowsPath(const std::string& path) {
    std::string windows = "Z:" + path;
    for (char& c : windows) {
        if (c == '/') c = '\\';
    }
    return windows;
}

ScopedEnvironment::ScopedEnvironment(const std::vector<std::pair<std::string, std::string>>& values) {
    for (const auto& [name, value] : values) {
        const char* old = std::getenv(name.c_str());
        m_saved.push_back({name, old != nullptr ? std::optional<std::string>(old) : std::nullopt});
        if (value.empty()) {
            ::unsetenv(name.c_str());
        } else {
            ::setenv(name.c_str(), value.c_str(), 1);
        }
    }
}

ScopedEnvironment::~ScopedEnvironment() {
    for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
        if (it->second) {
            ::setenv(it->first.c_str(), it->second->c_str(), 1);
        } else {
            ::unsetenv(it->first.c_str());
        }
    }
}
