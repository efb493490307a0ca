// The choice of the compatibility runner and its prefix, and what the runner is started with, on real
// files in a temp folder.
#include "platform/compat_runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support/substitutes.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

void Executable(const TempFolder& folder, const std::string& relative) {
    folder.Write(relative, "#!/bin/sh\n");
    fs::permissions(folder / relative, fs::perms::owner_all);
}

TEST(CompatRunner, ChosenFromTheSettingsThenTheEnvironmentThenThePath) {
    TempFolder folder;
    Executable(folder, "bin/wine");
    Executable(folder, "custom/wine-staging");
    Executable(folder, "GE-Proton/proton");
    Executable(folder, "umu/umu-run");
    folder.Write("Runner-wine.ini", "[Runner]\r\nWine=" + (folder / "custom/wine-staging") + "\r\n");
    folder.Write("Runner-proton.ini", "[Runner]\r\nProton = " + (folder / "GE-Proton") + "\r\n");
    folder.Write("Runner-missing.ini", "[Runner]\r\nWine=" + (folder / "nowhere/wine") + "\r\n");
    struct Row {
        const char* name;
        std::string config, path, orlWine, protonPath;
        std::optional<platform::CompatRunner> expected;
    };
    const std::string bin = folder / "bin", umu = folder / "umu", proton = folder / "GE-Proton";
    const platform::CompatRunner pathWine{platform::RunnerKind::Wine, bin + "/wine", ""};
    const Row rows[] = {
        {"WineOnThePath", "", bin, "", "", pathWine},
        {"NothingAnywhere", "", folder / "empty", "", "", std::nullopt},
        {"SettingsWine", "Runner-wine.ini", bin, "", "",
         platform::CompatRunner{platform::RunnerKind::Wine, folder / "custom/wine-staging", ""}},
        {"SettingsProtonOwnScript", "Runner-proton.ini", bin, "", "",
         platform::CompatRunner{platform::RunnerKind::Proton, proton + "/proton", proton}},
        {"SettingsProtonThroughUmu", "Runner-proton.ini", umu + ":" + bin, "", "",
         platform::CompatRunner{platform::RunnerKind::Umu, umu + "/umu-run", proton}},
        {"SettingsBeforeEnvironment", "Runner-wine.ini", bin, bin + "/wine", proton,
         platform::CompatRunner{platform::RunnerKind::Wine, folder / "custom/wine-staging", ""}},
        {"SettingsNamingNothingPassOn", "Runner-missing.ini", bin, "", "", pathWine},
        {"EnvironmentWine", "", folder / "empty", folder / "custom/wine-staging", "",
         platform::CompatRunner{platform::RunnerKind::Wine, folder / "custom/wine-staging", ""}},
        {"EnvironmentProton", "", folder / "empty", "", proton,
         platform::CompatRunner{platform::RunnerKind::Proton, proton + "/proton", proton}},
        {"EnvironmentProtonWithoutScript", "", bin, "", folder / "custom", pathWine},
    };
    for (const Row& row : rows) {
        ScopedEnvironment env(
            {{"PATH", row.path}, {"ORL_WINE", row.orlWine}, {"PROTONPATH", row.protonPath}});
        auto runner =
            platform::FindCompatRunner(row.config.empty() ? folder / "none.ini" : folder / row.config);
        ASSERT_EQ(runner.has_value(), row.expected.has_value()) << row.name;
        if (!runner) continue;
        EXPECT_EQ(runner->kind, row.expected->kind) << row.name;
        EXPECT_EQ(runner->program, row.expected->program) << row.name;
        EXPECT_EQ(runner->protonPath, row.expected->protonPath) << row.name;
    }
}

TEST(CompatRunner, PrefixFromWineprefixElseOnePerEditionInTheDataFolder) {
    struct Row {
        std::string winePrefix, dataHome, home;
        std::string expected;
    };
    for (const Row& row :
         {Row{"/p/mine", "/d", "/h", "/p/mine"}, Row{"", "/d", "/h", "/d/velmora/prefix-Kessa"},
          Row{"", "", "/h", "/h/.local/share/velmora/prefix-Kessa"},
          Row{"", "relative", "/h", "/h/.local/share/velmora/prefix-Kessa"}}) {
        ScopedEnvironment env(
            {{"WINEPREFIX", row.winePrefix}, {"XDG_DATA_HOME", row.dataHome}, {"HOME", row.home}});
        EXPECT_EQ(platform::CompatPrefix("Kessa"), row.expected);
    }
}

TEST(CompatRunner, RunnerGetsTheProgramItsArgumentsAndAQuietPrefix) {
    ScopedEnvironment env({{"WINEDLLOVERRIDES", ""}, {"WINEDEBUG", "+relay"}, {"GAMEID", ""}});
    struct Row {
        platform::CompatRunner runner;
        std::vector<std::string> arguments;
        std::vector<std::pair<std::string, std::string>> environment;
    };
    const Row rows[] = {
        {{platform::RunnerKind::Wine, "/usr/bin/wine", ""},
         {"/usr/bin/wine", "/c/Game.exe", "a b", "c"},
         {{"WINEDLLOVERRIDES", "winemenubuilder.exe=d"}, {"WINEPREFIX", "/pfx"}}},
        {{platform::RunnerKind::Proton, "/GE/proton", "/GE"},
         {"/GE/proton", "run", "/c/Game.exe", "a b", "c"},
         {{"WINEDLLOVERRIDES", "winemenubuilder.exe=d"}, {"STEAM_COMPAT_DATA_PATH", "/pfx"}}},
        {{platform::RunnerKind::Umu, "/usr/bin/umu-run", "/GE"},
         {"/usr/bin/umu-run", "/c/Game.exe", "a b", "c"},
         {{"WINEDLLOVERRIDES", "winemenubuilder.exe=d"},
          {"WINEPREFIX", "/pfx"},
          {"PROTONPATH", "/GE"},
          {"GAMEID", "0"}}},
    };
    for (const Row& row : rows) {
        platform::SpawnRequest request =
            platform::RunnerRequest(row.runner, "/pfx", "/c/Game.exe", {"a b", "c"}, "/c");
        EXPECT_EQ(request.program, row.runner.program);
        EXPECT_EQ(request.arguments, row.arguments);
        EXPECT_EQ(request.workingFolder, "/c");
        // The player's own WINEDEBUG stays.
        EXPECT_EQ(request.environment, row.environment) << row.runner.program;
    }
    ScopedEnvironment quiet(std::vector<std::pair<std::string, std::string>>{{"WINEDEBUG", ""}});
    platform::SpawnRequest request = platform::PrefixInitRequest(rows[0].runner, "/pfx");
    EXPECT_EQ(request.arguments, (std::vector<std::string>{"/usr/bin/wine", "wineboot", "--init"}));
    EXPECT_NE(std::find(request.environment.begin(), request.environment.end(),
                        std::pair<std::string, std::string>{"WINEDEBUG", "-all"}),
              request.environment.end());
}

TEST(CompatRunner, WindowsProgramsBeginWithMz) {
    TempFolder folder;
    folder.Write("pe.exe", "MZ\x90");
    folder.Write("script", "#!/bin/sh\n");
    folder.Write("short", "M");
    EXPECT_TRUE(platform::IsWindowsProgram(folder / "pe.exe"));
    EXPECT_FALSE(platform::IsWindowsProgram(folder / "script"));
    EXPECT_FALSE(platform::IsWindowsProgram(folder / "short"));
    EXPECT_FALSE(platform::IsWindowsProgram(folder / "missing"));
}

}  // namespace
