#include "launch/game_launch.h"

#include <cstdio>

#include "platform/files.h"

std::string PortalCommandString;

std::string BuildLaunchArguments(const LaunchSettings& settings) {
    return "curdir:" + settings.curdir +
           " language:" + std::to_string(static_cast<long long>(settings.language)) +
           " server:" + std::to_string(static_cast<long long>(settings.server));
}

void BuildPortalCommandString(const std::vector<std::string>& arguments) {
    if (arguments.size() <= 1) return;
    std::string joined;
    for (size_t i = 1; i < arguments.size(); ++i) {
        joined += arguments[i] + " ";
        if (arguments[i].find(kPortalMarker) != std::string::npos) PortalCommandString = arguments[i];
    }
    joined.pop_back();
    if (PortalCommandString.empty()) PortalCommandString = joined;
    std::printf("QORACommandString : %s\n", PortalCommandString.c_str());
}

void WritePortalHandOver(const std::vector<std::string>& arguments) {
    if (PortalCommandString.empty()) BuildPortalCommandString(arguments);
    if (PortalCommandString.empty()) return;
    if (PortalCommandString.find(kPortalMarker) == std::string::npos) return;
    platform::WriteFileAtomic(platform::GetCurrentDirectory() + "/vip.qft", PortalCommandString);
}
