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

std::string ApplicationTitle() {
    if (Arguments().empty()) return "orl";
    std::string name = Arguments().front();
    size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos) name.erase(0, slash + 1);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot != 0) name.erase(dot);
    return name.empty() ? "orl" : name;
}

}  // namespace platform
