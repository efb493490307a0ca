// The stand-in programs of tests: installed under the names the launcher starts, they record what they
// were given (see substitute_main.cpp).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// Copies the stand-in to folder/name (making folder) with a behaviour ("", "sleep MS", "ignore-term",
// "forever"); returns its path.
std::string InstallSubstitute(const std::string& folder, const std::string& name,
                              const std::string& mode = "");

struct SubstituteRun {
    std::string cwd;
    std::vector<std::string> args;
};
// Every run recorded by the stand-in at path, oldest first.
std::vector<SubstituteRun> ReadSubstituteRuns(const std::string& path);
// Waits up to timeoutMs for the stand-in at path to have recorded count runs.
std::vector<SubstituteRun> WaitForSubstituteRuns(const std::string& path, size_t count, int timeoutMs = 5000);

// What command (run by the shell) writes to its standard output.
std::string CommandOutput(const std::string& command);

// A stand-in started by the test itself; killed and reaped when it goes out of scope.
class ChildProcess {
public:
    explicit ChildProcess(const std::string& path);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    pid_t pid() const { return m_pid; }
    // Reaps the child when it has ended; true then.
    bool Ended();
    // Waits until the stand-in has started up (recorded its run).
    void WaitStarted();

private:
    std::string m_path;
    pid_t m_pid = -1;
    bool m_reaped = false;
    size_t m_runsBefore = 0;
};
