#include "launch/process_control.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>

#include "support/fake_clock.h"
#include "support/substitutes.h"
#include "support/temp_folder.h"

namespace {

// Names of this test process only, so parallel tests never see each other's stand-ins.
std::string Unique(const std::string& base) { return base + "-" + std::to_string(::getpid()) + ".exe"; }

class ProcessControl : public ::testing::Test {
protected:
    std::unique_ptr<ChildProcess> Start(const std::string& name, const std::string& mode) {
        auto child = std::make_unique<ChildProcess>(InstallSubstitute(m_folder.path(), name, mode));
        child->WaitStarted();
        return child;
    }
    TempFolder m_folder;
};

TEST_F(ProcessControl, CountingComparesExactlyTheOthersIgnoreCase) {
    std::string name = Unique("VelmoraEac");
    std::string other = Unique("velmoraEAC");
    auto a = Start(name, "forever");
    auto b = Start(name, "forever");
    TempFolder second;
    auto c = std::make_unique<ChildProcess>(InstallSubstitute(second.path(), other, "forever"));
    c->WaitStarted();
    EXPECT_EQ(CountProcessesByName(name), 2);
    EXPECT_EQ(CountProcessesByName(other), 1);
    EXPECT_TRUE(IsProcessRunning(Unique("VELMORAEAC")));
    EXPECT_FALSE(IsProcessRunning(Unique("VelmoraEa")));
}

TEST_F(ProcessControl, ClientThatClosesOnRequestIsNotEnded) {
    std::string name = Unique("Closes");
    auto client = Start(name, "forever");
    EXPECT_TRUE(PostCloseToProcess(name));
    EXPECT_TRUE(WaitForProcessExit(name, 2.0));
    EXPECT_TRUE(client->Ended());
}

TEST_F(ProcessControl, ClientThatIgnoresTheRequestIsEndedAfterTheWait) {
    std::string name = Unique("Stubborn");
    auto client = Start(name, "ignore-term");
    EXPECT_TRUE(PostCloseToProcess(name));
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(WaitForProcessExit(name, 2.0));
    double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(waited, 2.0);
    EXPECT_TRUE(TerminateProcessesByName(name));
    EXPECT_TRUE(WaitForProcessExit(name, 2.0));
}

TEST_F(ProcessControl, OnlyTheFirstOfTwoClientsIsAskedButBothAreEnded) {
    std::string name = Unique("Twice");
    auto first = Start(name, "forever");
    auto second = Start(name, "forever");
    EXPECT_TRUE(PostCloseToProcess(name));
    EXPECT_FALSE(WaitForProcessExit(name, 0.3));
    EXPECT_EQ(CountProcessesByName(name), 1);
    EXPECT_TRUE(first->Ended());
    EXPECT_TRUE(TerminateProcessesByName(name));
    EXPECT_TRUE(WaitForProcessExit(name, 2.0));
}

TEST_F(ProcessControl, NothingRunningMeansNothingToAskOrEnd) {
    std::string name = Unique("Absent");
    EXPECT_FALSE(PostCloseToProcess(name));
    EXPECT_TRUE(WaitForProcessExit(name, 2.0));
    EXPECT_TRUE(TerminateProcessesByName(name));
}

TEST_F(ProcessControl, WaitSurvivesTheTickCounterWrapping) {
    std::string name = Unique("Wrap");
    auto client = Start(name, "ignore-term");
    FakeClock clock;
    clock.now = 0xFFFFFF00u;
    EXPECT_FALSE(WaitForProcessExit(name, 2.0, clock));
    EXPECT_EQ(clock.sleeps, 21) << "passes at 0, 100, ..., 2000 ms of the limit";
}

TEST(PathExists, FilesFoldersAndWildcards) {
    TempFolder folder;
    folder.Write("Orvin/VelmoraEac.exe", "");
    EXPECT_TRUE(PathExists(folder.path() + "\\Orvin/VelmoraEac.exe"));
    EXPECT_TRUE(PathExists(folder / "Orvin"));
    EXPECT_TRUE(PathExists(folder / "Orvin/*.exe"));
    EXPECT_FALSE(PathExists(folder / "Orvin/other.exe"));
    EXPECT_FALSE(PathExists(folder / "Kessa/VelmoraEac.exe"));
}

TEST(CommandLine, SplitFollowsTheWindowsRules) {
    struct Case {
        const char* line;
        std::vector<std::string> args;
    } cases[] = {
        {"a b  c", {"a", "b", "c"}},
        {"\"a b\" c", {"a b", "c"}},
        {"/x/VelmoraEac.exe /useeac--korea", {"/x/VelmoraEac.exe", "/useeac--korea"}},
        {"a\\\\\"b c\" d", {"a\\b c", "d"}},
        {"a\\\"b", {"a\"b"}},
        {"a\\b", {"a\\b"}},
        {"\"a\"\"b\"", {"a\"b"}},
        {"  ", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(SplitCommandLine(c.line), c.args) << c.line;
}

TEST(CreateProcess, StartsInTheWorkingFolderWithSplitArguments) {
    TempFolder folder;
    std::string program = InstallSubstitute(folder / "client dir", "Game.exe");
    ProgramStart started =
        CreateProcess(program, "\"" + program + "\" one \"two three\"", folder / "client dir", {});
    ASSERT_EQ(started.outcome, StartOutcome::Started);
    auto runs = WaitForSubstituteRuns(program, 1);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].cwd, folder / "client dir");
    EXPECT_EQ(runs[0].args, (std::vector<std::string>{program, "one", "two three"}));
}

TEST(CreateProcess, TellsWhyAProgramDidNotStart) {
    TempFolder folder;
    folder.Write("windows.exe", "MZ\x90");
    folder.Write("no-execute-bit", "#!/bin/sh\n");
    folder.Write("no-interpreter", "echo hello\n");
    std::filesystem::permissions(folder / "no-interpreter", std::filesystem::perms::owner_all);
    folder.MakeFolder("a folder");
    struct Row {
        const char* name;
        StartOutcome outcome;
    };
    for (const Row& row :
         {Row{"missing.exe", StartOutcome::Missing}, Row{"a folder", StartOutcome::Missing},
          Row{"windows.exe", StartOutcome::NoRunner}, Row{"no-execute-bit", StartOutcome::NotExecutable},
          Row{"no-interpreter", StartOutcome::NotExecutable}}) {
        std::string path = folder / row.name;
        EXPECT_EQ(CreateProcess(path, path, folder.path(), {}).outcome, row.outcome) << row.name;
    }
}

TEST(CreateProcess, FindsTheProgramAsWindowsDoesWithoutAnApplicationName) {
    TempFolder folder;
    folder.Write("My Games/Orvin/VelmoraEac.exe", "");
    folder.Write("Short", "");
    folder.Write("Setup.exe", "");
    folder.MakeFolder("Folder");
    folder.Write("Folder Two/Game.exe", "");
    struct Row {
        std::string commandLine;
        std::string program;
        std::string arguments;
    };
    const std::string f = folder.path();
    const Row rows[] = {
        // The shorter path does not exist: the longer one is tried.
        {f + "/My Games/Orvin/VelmoraEac.exe /useeac--korea", f + "/My Games/Orvin/VelmoraEac.exe",
         "/useeac--korea"},
        {f + "\\My Games\\Orvin/VelmoraEac.exe /useeac--korea", f + "\\My Games\\Orvin/VelmoraEac.exe",
         "/useeac--korea"},
        // A shorter path that names a file wins, as it would on Windows.
        {f + "/Short Games/x.exe a", f + "/Short", "Games/x.exe a"},
        // ".exe" is added to a name without an extension.
        {f + "/Setup /quiet", f + "/Setup.exe", "/quiet"},
        // A folder is no program.
        {f + "/Folder Two/Game.exe  -x", f + "/Folder Two/Game.exe", "-x"},
        {"\"" + f + "/My Games/Orvin/VelmoraEac.exe\" a b", f + "/My Games/Orvin/VelmoraEac.exe", "a b"},
        // Nothing found: the first token is the missing program.
        {f + "/Nowhere at/all.exe x", f + "/Nowhere", "at/all.exe x"},
    };
    for (const Row& row : rows) {
        ProgramCommand command = ResolveCommandLine("", row.commandLine);
        EXPECT_EQ(command.program, row.program) << row.commandLine;
        EXPECT_EQ(command.arguments, row.arguments) << row.commandLine;
    }
    // With an application name, the program is that name and the arguments follow it.
    ProgramCommand named = ResolveCommandLine(f + "/My Games/a.exe", f + "/My Games/a.exe -k curdir:/x y");
    EXPECT_EQ(named.program, f + "/My Games/a.exe");
    EXPECT_EQ(named.arguments, "-k curdir:/x y");
    EXPECT_EQ(ResolveCommandLine("/a b/c.exe", "\"/a b/c.exe\" -k").arguments, "-k");
}

}  // namespace
