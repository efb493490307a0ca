// The two client editions, one per game server, and every name and path that depends on the edition.
// Server 1 is Kessa; every other index (0, and 2 for "none") gives the Orvin names.
#pragma once

#include <cstdint>
#include <string>

// The working folder, "\" and the edition's folder name, or the "CurrentClient" folder of
// config_stage.ini when that is set.
std::string ResolveClientFolder(int32_t server);
// "live/" and the edition code, then suffix ("live/VEL-KOR" + "/full").
std::string BuildEditionPath(int32_t server, const std::string& suffix);
// "live/real", or "live/test" for server 1.
std::string BuildServerDir(int32_t server);
// "Orvin" or "Kessa".
std::string BuildEditionName(int32_t server);
// "Velmora_Orvin.zip" or "Velmora_Kessa.zip".
std::string BuildArchiveName(int32_t server);
