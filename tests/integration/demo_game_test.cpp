// orl-demo-game, installed under the game's names, tells what it was handed.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "support/substitutes.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

TEST(DemoGame, PrintsAndLogsItsNameFolderAndArguments) {
    TempFolder client;
    fs::copy_file(ORL_DEMO_GAME_PATH, client / "VelmoraEac.exe");
    std::string command = "cd " + client.path() + " && ./VelmoraEac.exe /useeac--korea 'two words'";
    std::string out = CommandOutput(command);
    std::string expected = "VelmoraEac.exe started in " + fs::canonical(client.path()).string() +
                           " with: [/useeac--korea] [two words]\n";
    EXPECT_EQ(out, expected);
    EXPECT_EQ(client.Read("handover.log"), expected);
}

}  // namespace
