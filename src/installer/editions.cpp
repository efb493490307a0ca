#include "installer/editions.h"

#include "platform/files.h"
#include "settings/config_files.h"

std::string ResolveClientFolder(int32_t server) {
    std::string working = platform::GetCurrentDirectory();
    std::string current = ReadCurrentClient(working);
    if (current.starts_with("NoneString")) return working + "\\" + BuildEditionName(server);
    std::string folder = working + "\\" + current;
    if (folder.back() == '/' || folder.back() == '\\') folder.pop_back();
    return folder;
}

std::string BuildEditionPath(int32_t server, const std::string& suffix) {
    return std::string("live") + "/" + (server == 1 ? "VEL-KOR-KESSA" : "VEL-KOR") + suffix;
}

std::string BuildServerDir(int32_t server) {
    return std::string("live") + "/" + (server == 1 ? "test" : "real");
}

std::string BuildEditionName(int32_t server) { return server == 1 ? "Kessa" : "Orvin"; }

std::string BuildArchiveName(int32_t server) { return "Velmora_" + BuildEditionName(server) + ".zip"; }
