// Process services: the list of running processes, signals to one of them, starting a program without a
// shell and waiting for a started one.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform {

struct ProcessRecord {
    uint32_t pid = 0;
    std::string imageName;  // the executable's file name without its folder
};

// The running processes (zombies left out), in process-id order. The image name is the last path
// component of the first argument, else the kernel's short name.
std::vector<ProcessRecord> TakeProcessSnapshot();

// A handle on one process that stays valid when its id is reused; -1 when it cannot be opened (the
// process is gone or belongs to someone the caller may not signal).
int OpenProcess(uint32_t pid);
bool SignalProcess(int handle, int signal);
void CloseProcess(int handle);

// Why a program did not start.
enum class SpawnError { None, Missing, NotExecutable };

struct SpawnRequest {
    std::string program;                 // the file to run, with this system's separators
    std::vector<std::string> arguments;  // every argument, the program's own name first
    std::string workingFolder;           // empty: the caller's
    std::vector<std::pair<std::string, std::string>> environment;  // set on top of the caller's
    bool ownSession = false;  // lives on after the caller and its terminal
};

struct SpawnResult {
    SpawnError error = SpawnError::None;
    pid_t pid = -1;
};

// Starts the program and does not wait for it.
SpawnResult SpawnProcess(const SpawnRequest& request);

enum class ChildWait { Ended, Running, Failed };
// Waits up to milliseconds for a child started by SpawnProcess; an ended child is reaped.
ChildWait WaitForChild(pid_t pid, int milliseconds);

// The full path of the first executable file called name in the folders of PATH; empty when there is
// none. A name with a "/" is taken as it is when it is executable.
std::string FindProgram(const std::string& name);

// The value of an environment variable; empty when it is not set.
std::string EnvironmentValue(const char* name);

// The folder of the running executable, "." when it cannot be learnt.
std::string ExecutableFolder();

}  // namespace platform
