// The stand-in programs of tests: installed under the names the launcher starts, they record what they
// were given (see substitute_main.cpp).
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <utility>
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

// A stand-in for the compatibility runner: a script called "wine" in folder that appends to
// "wine.log" beside it its working folder, its arguments and the runner variables of its environment,
// one line each, then "end"; returns its path.
std::string InstallRunnerStandIn(const std::string& folder);

// The Windows stand-in (a PE program built with mingw-w64), copied to folder/name. Run through Wine, it
// appends to "<its path>.log" its command line exactly as GetCommandLineW gives it and its working
// folder, in UTF-8: "cmd <line>", "cwd <folder>", "end".
std::string InstallWindowsSubstitute(const std::string& folder, const std::string& name);
struct WindowsRun {
    std::string commandLine;
    std::string cwd;
};
std::vector<WindowsRun> WaitForWindowsRuns(const std::string& path, size_t count, int timeoutMs);
// The path as Wine shows it to a Windows program: on drive Z:, with backslashes.
std::string WindowsPath(const std::string& path);

// Sets environment variables (an empty value unsets one) for the object's life.
class ScopedEnvironment {
public:
    explicit ScopedEnvironment(const std::vector<std::pair<std::string, std::string>>& values);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};
