// The compatibility runner that starts the game's Windows programs: Wine, or Proton (through umu-run
// when it is installed), in a prefix of the player's.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/processes.h"

namespace platform {

enum class RunnerKind { Wine, Proton, Umu };

struct CompatRunner {
    RunnerKind kind = RunnerKind::Wine;
    std::string program;     // the wine binary, umu-run, or Proton's own "proton" script
    std::string protonPath;  // Proton's folder, for Proton and umu-run
};

// The player's runner: "Wine=" or "Proton=" in the [Runner] section of the INI at configPath, then the
// environment's ORL_WINE or PROTONPATH, then wine on the PATH. A choice that names nothing runnable is
// passed over. No value when there is no runner at all.
std::optional<CompatRunner> FindCompatRunner(const std::string& configPath);

// The file at path is a Windows program: it begins with the "MZ" of a PE file.
bool IsWindowsProgram(const std::string& path);

// WINEPREFIX when it is set, else the edition's own prefix in the player's data folder
// ($XDG_DATA_HOME, default ~/.local/share).
std::string CompatPrefix(const std::string& edition);

// The prefix's Windows folder, which holds system32 and syswow64. Proton keeps its prefix in "pfx".
std::string PrefixWindowsFolder(const CompatRunner& runner, const std::string& prefix);

// Wine has made the prefix: it saved its registry or finished its set-up there.
bool PrefixIsReady(const CompatRunner& runner, const std::string& prefix);

// Runs program (a path of this system) with arguments through runner in prefix. The runner's
// environment turns off Wine's menu entries and, unless the player asked for some, its debug output.
SpawnRequest RunnerRequest(const CompatRunner& runner, const std::string& prefix, const std::string& program,
                           const std::vector<std::string>& arguments, const std::string& workingFolder);

// Makes the prefix: "wineboot --init" through the runner.
SpawnRequest PrefixInitRequest(const CompatRunner& runner, const std::string& prefix);

}  // namespace platform
