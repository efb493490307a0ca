// The launcher's own command line, as main() received it.
#pragma once

#include <string>
#include <vector>

namespace platform {

void SetCommandLineArguments(std::vector<std::string> arguments);
// Every argument, the program's own path first.
const std::vector<std::string>& CommandLineArguments();
// The arguments joined by blanks, the way the process's whole command line reads.
std::string CommandLineText();
// The caption of the launcher's message boxes: its executable's file name without the extension.
std::string ApplicationTitle();

}  // namespace platform
