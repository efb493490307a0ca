// A stand-in for the programs the launcher starts (the game updater, the game client, the
// redistributable installer). Copied into a client folder under their names, it appends what it was
// given to "<its path>.log": its working folder and its arguments, one line each, then "end". The
// optional file "<its path>.mode" tells it how to behave:
//   (missing)        exit at once
//   sleep MS         exit after MS milliseconds
//   ignore-term      ignore the close request (SIGTERM) and run until killed
//   forever          run until the close request or a kill
#include <signal.h>
#include <unistd.h>

#include <climits>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    std::string self = argv[0];
    std::ifstream modeFile(self + ".mode");
    std::string mode;
    long value = 0;
    modeFile >> mode >> value;
    if (mode == "ignore-term") ::signal(SIGTERM, SIG_IGN);
    {
        std::ofstream log(self + ".log", std::ios::app);
        char cwd[PATH_MAX] = "";
        if (::getcwd(cwd, sizeof cwd) == nullptr) cwd[0] = '\0';
        log << "cwd " << cwd << "\n";
        for (int i = 0; i < argc; ++i) log << "arg " << argv[i] << "\n";
        log << "end\n";
    }
    if (mode == "sleep") ::usleep(static_cast<useconds_t>(value * 1000));
    if (mode == "ignore-term" || mode == "forever") {
        for (;;) ::pause();
    }
    return 0;
}
