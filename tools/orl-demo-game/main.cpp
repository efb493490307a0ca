// orl-demo-game: the stand-in that the demo installs as "VelmoraGameUpdate.exe" and "VelmoraEac.exe".
// It prints, on one line each, the name it was started as, its working folder and its arguments, so
// the player sees what the launcher handed over; it also appends them to "handover.log" beside it.
// Started as the game updater, it also applies the Update.dat that the launcher left in its working
// folder, the way the game's own updater does, and removes it.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "update-payload/update_payload.h"

namespace {

// Applies Update.dat in the working folder; the line the player reads about it.
std::string ApplyUpdate() {
    std::ifstream in("Update.dat", std::ios::binary);
    if (!in) return "no Update.dat to apply";
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    std::string error;
    auto payload = DecodePayload(bytes, &error);
    if (!payload || !ApplyPayload(*payload, std::filesystem::current_path(), &error))
        return "Update.dat not applied: " + error;
    std::filesystem::remove("Update.dat");
    return "applied the update from " + payload->fromVersion + " to " + payload->toVersion + " (" +
           std::to_string(payload->entries.size()) + " changes)";
}

}  // namespace

int main(int argc, char** argv) {
    std::string name = std::filesystem::path(argv[0]).filename().string();
    char cwd[PATH_MAX] = "";
    if (::getcwd(cwd, sizeof cwd) == nullptr) cwd[0] = '\0';
    std::string line = name + " started in " + cwd + " with:";
    for (int i = 1; i < argc; ++i) line += std::string(" [") + argv[i] + "]";
    if (name == "VelmoraGameUpdate.exe") line += "; " + ApplyUpdate();
    std::printf("%s\n", line.c_str());
    char self[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        self[n] = '\0';
        std::filesystem::path log = std::filesystem::path(self).parent_path() / "handover.log";
        if (FILE* file = std::fopen(log.c_str(), "a")) {
            std::fprintf(file, "%s\n", line.c_str());
            std::fclose(file);
        }
    }
    return 0;
}
