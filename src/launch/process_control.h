// The launcher's look at the running processes: counting game clients, asking one to close, waiting
// for it, ending it, and testing whether a file exists. Each call reads the process list anew.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/compat_runner.h"

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

// How the game's Windows programs are started: the player's compatibility runner (none when there is
// no runner at all) and the prefix they run in.
struct GameRunner {
    std::optional<platform::CompatRunner> runner;
    std::string prefix;
};
// The runner chosen in the ORL settings at configPath and the environment, with the edition's prefix.
GameRunner ChooseGameRunner(const std::string& configPath, const std::string& edition);

// The program a command line starts and the text after it. With an application name, that is the
// program. Without one, Windows takes the command line's first token, and when that is unquoted and no
// file is found there, the longer text up to the next blank, and so on (".exe" added to a name without
// an extension): "/games/My Games/a.exe x" is tried as "/games/My" and then as "/games/My Games/a.exe".
struct ProgramCommand {
    std::string program;
    std::string arguments;
};
ProgramCommand ResolveCommandLine(const std::string& applicationName, const std::string& commandLine);

enum class StartOutcome { Started, NoRunner, Missing, NotExecutable };
struct ProgramStart {
    StartOutcome outcome = StartOutcome::Missing;
    pid_t pid = -1;
};

// Starts a program without a shell and without waiting, in its own session so it outlives the
// launcher. A native program or script is started directly, with the arguments split from the command
// line by the Windows rules (blanks separate, double quotes group). A Windows program (PE file) starts
// through the runner in its prefix, which hands the arguments on so the program's command line reads as
// the given one.
ProgramStart CreateProcess(const std::string& applicationName, const std::string& commandLine,
                           const std::string& workingFolder, const GameRunner& runner);
std::vector<std::string> SplitCommandLine(const std::string& commandLine);
