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
