#include "platform/compat_runner.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdio>

#include "platform/files.h"
#include "platform/profile.h"

namespace platform {
namespace {

constexpr size_t kRunnerValueBuffer = 4096;

std::optional<CompatRunner> WineRunner(const std::string& wine) {
    std::string program = FindProgram(wine);
    if (program.empty()) return std::nullopt;
    return CompatRunner{RunnerKind::Wine, program, {}};
}

// umu-run when it is installed, which brings Proton's runtime along; else Proton's own script.
std::optional<CompatRunner> ProtonRunner(const std::string& folder) {
    std::string umu = FindProgram("umu-run");
    if (!umu.empty()) return CompatRunner{RunnerKind::Umu, umu, folder};
    std::string proton = FindProgram(folder + "/proton");
    if (proton.empty()) return std::nullopt;
    return CompatRunner{RunnerKind::Proton, proton, folder};
}

std::optional<CompatRunner> Chosen(const std::string& wine, const std::string& proton, const char* where) {
    if (wine.empty() && proton.empty()) return std::nullopt;
    auto runner = !wine.empty() ? WineRunner(wine) : ProtonRunner(proton);
    if (!runner)
        std::fprintf(stderr, "Runner of %s not found: %s\n", where, (!wine.empty() ? wine : proton).c_str());
    return runner;
}

std::string DataHome() {
    std::string data = EnvironmentValue("XDG_DATA_HOME");
    // The base directory rules ignore a relative path.
    if (!data.empty() && data.front() == '/') return data;
    std::string home = EnvironmentValue("HOME");
    if (home.empty()) {
        if (const struct passwd* user = ::getpwuid(::getuid())) home = user->pw_dir;
    }
    return home + "/.local/share";
}

std::string WinePrefixRoot(const CompatRunner& runner, const std::string& prefix) {
    return runner.kind == RunnerKind::Proton ? prefix + "/pfx" : prefix;
}

}  // namespace

std::optional<CompatRunner> FindCompatRunner(const std::string& configPath) {
    if (auto runner = Chosen(GetPrivateProfileString("Runner", "Wine", "", kRunnerValueBuffer, configPath),
                             GetPrivateProfileString("Runner", "Proton", "", kRunnerValueBuffer, configPath),
                             "ORLConfig.ini"))
        return runner;
    if (auto runner = Chosen(EnvironmentValue("ORL_WINE"), EnvironmentValue("PROTONPATH"), "the environment"))
        return runner;
    return WineRunner("wine");
}

bool IsWindowsProgram(const std::string& path) {
    auto head = ReadFile(path, 2);
    return head && *head == "MZ";
}

std::string CompatPrefix(const std::string& edition) {
    std::string prefix = EnvironmentValue("WINEPREFIX");
    if (!prefix.empty()) return prefix;
    return DataHome() + "/velmora/prefix-" + edition;
}

std::string PrefixWindowsFolder(const CompatRunner& runner, const std::string& prefix) {
    return WinePrefixRoot(runner, prefix) + "/drive_c/windows";
}

bool PrefixIsReady(const CompatRunner& runner, const std::string& prefix) {
    std::string root = WinePrefixRoot(runner, prefix);
    return FileExists(root + "/system.reg") || FileExists(root + "/.update-timestamp");
}

SpawnRequest RunnerRequest(const CompatRunner& runner, const std::string& prefix, const std::string& program,
                           const std::vector<std::string>& arguments, const std::string& workingFolder) {
    SpawnRequest request;
    request.program = runner.program;
    request.arguments.push_back(runner.program);
    if (runner.kind == RunnerKind::Proton) request.arguments.push_back("run");
    request.arguments.push_back(program);
    request.arguments.insert(request.arguments.end(), arguments.begin(), arguments.end());
    request.workingFolder = workingFolder;

    std::string overrides = EnvironmentValue("WINEDLLOVERRIDES");
    overrides += (overrides.empty() ? "" : ";") + std::string("winemenubuilder.exe=d");
    request.environment.push_back({"WINEDLLOVERRIDES", overrides});
    if (EnvironmentValue("WINEDEBUG").empty()) request.environment.push_back({"WINEDEBUG", "-all"});
    if (runner.kind == RunnerKind::Proton) {
        request.environment.push_back({"STEAM_COMPAT_DATA_PATH", prefix});
    } else {
        request.environment.push_back({"WINEPREFIX", prefix});
    }
    if (runner.kind == RunnerKind::Umu) {
        request.environment.push_back({"PROTONPATH", runner.protonPath});
        if (EnvironmentValue("GAMEID").empty()) request.environment.push_back({"GAMEID", "0"});
    }
    return request;
}

SpawnRequest PrefixInitRequest(const CompatRunner& runner, const std::string& prefix) {
    return RunnerRequest(runner, prefix, "wineboot", {"--init"}, "");
}

}  // namespace platform
