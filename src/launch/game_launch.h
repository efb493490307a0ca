// What the game updater and the game client are given: the updater's argument text, and the portal
// launcher's command string that the updater finds in "vip.qft".
#pragma once

#include <string>
#include <vector>

#include "settings/settings_records.h"

inline constexpr const char* kLaunchToken = "-kq7=?MZ";
inline constexpr const char* kPortalMarker = "fromQLauncher";

// "curdir:" curdir, blank, "language:" n, blank, "server:" n.
std::string BuildLaunchArguments(const LaunchSettings& settings);

// The portal command string, built at most once per run from the launcher's arguments.
extern std::string PortalCommandString;
void BuildPortalCommandString(const std::vector<std::string>& arguments);
// Writes PortalCommandString to "vip.qft" in the working folder when the portal started the launcher.
void WritePortalHandOver(const std::vector<std::string>& arguments);
