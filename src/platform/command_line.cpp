#include "platform/command_line.h"

namespace platform {
namespace {

std::vector<std::string>& Arguments() {
    static std::vector<std::string> arguments;
    return arguments;
}

}  // namespace

void SetCommandLineArguments(std::vector<std::string> arguments) { Arguments() = std::move(arguments); }

const std::vector<std::string>& CommandLineArguments() { return Arguments(); }

std::string CommandLineText() {
    std::string text;
    for (const std::string& argument : Arguments()) {
        if (!text.empty()) text += ' ';
        text += argument;
    }
    return text;
}

}  // namespace platform
