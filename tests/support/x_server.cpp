#include "support/x_server.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

XServer::XServer(const std::string& screen) {
    int fds[2];
    if (pipe(fds) != 0) return;
    std::string fd = std::to_string(fds[1]);
    const char* argv[] = {"Xvfb",    "-displayfd", fd.c_str(),     "-nolisten", "tcp",
                          "-screen", "0",          screen.c_str(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    int spawned = posix_spawnp(&m_pid, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0) {
        m_pid = 0;
        close(fds[0]);
        return;
    }
    std::string number;
    char c = 0;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (!number.empty()) display = ":" + number;
}

XServer::~XServer() {
    if (m_pid <= 0) return;
    kill(m_pid, SIGTERM);
    waitpid(m_pid, nullptr, 0);
}
