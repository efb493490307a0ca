// orl-demo-game: the stand-in that the demo installs as "VelmoraGameUpdate.exe" and "VelmoraEac.exe".
// It prints, on one line each, the name it was started as, its working folder and its arguments, so
// the player sees what the launcher handed over; it also appends them to "handover.log" beside it.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    std::string name = std::filesystem::path(argv[0]).filename().string();
    char cwd[PATH_MAX] = "";
    if (::getcwd(cwd, sizeof cwd) == nullptr) cwd[0] = '\0';
    std::string line = name + " started in " + cwd + " with:";
    for (int i = 1; i < argc; ++i) line += std::string(" [") + argv[i] + "]";
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
