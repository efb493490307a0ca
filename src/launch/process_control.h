// The launcher's look at the running processes: counting game clients, asking one to close, waiting
// for it, ending it, and testing whether a file exists. Each call reads the process list anew.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"

struct ProcessRecord {
    uint32_t pid = 0;
    std::string imageName;  // the executable's file name without its folder
};

// The running processes (zombies left out), in process-id order.
std::vector<ProcessRecord> TakeProcessSnapshot();

inline constexpr const char* kGameClientName = "VelmoraEac.exe";
// The start is refused when this many game clients run already, as message 127 tells the player.
inline constexpr int32_t kGameClientLimit = 4;
bool GameClientLimitReached();

// Image names compare exactly here...
int32_t CountProcessesByName(const std::string& name);
// ...and ignoring the letter case of A to Z in the rest.
bool PostCloseToProcess(const std::string& name);
bool WaitForProcessExit(const std::string& name, double seconds,
                        platform::IClock& clock = platform::SystemClock());
bool TerminateProcessesByName(const std::string& name);
bool IsProcessRunning(const std::string& name);
bool PathExists(const std::string& path);

// Starts a program without a shell and without waiting: the arguments are split from commandLine by
// the Windows rules (blanks separate, double quotes group), and the program is applicationName, or
// the first argument when applicationName is empty. False when the program cannot be started.
bool CreateProcess(const std::string& applicationName, const std::string& commandLine,
                   const std::string& workingFolder);
std::vector<std::string> SplitCommandLine(const std::string& commandLine);
