#include "support/dev_server_process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

extern char** environ;

DevServerProcess::DevServerProcess(const std::string& root, const std::string& state) {
    int fds[2];
    if (pipe(fds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::vector<std::string> args{ORL_DEVSERVER_PATH, root, "--state", state};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&m_pid, ORL_DEVSERVER_PATH, &actions, nullptr, argv.data(), environ) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    // Its first two lines say where it listens and whom to trust.
    std::string printed;
    char c;
    while (std::count(printed.begin(), printed.end(), '\n') < 2 && read(fds[0], &c, 1) == 1) printed += c;
    close(fds[0]);
    for (size_t start = 0; start < printed.size();) {
        size_t end = printed.find('\n', start);
        std::string line = printed.substr(start, end - start);
        if (line.starts_with("ORL_UPDATE_HOST=")) host = line.substr(16);
        if (line.starts_with("ORL_CA_BUNDLE=")) ca = line.substr(14);
        if (end == std::string::npos) break;
        start = end + 1;
    }
}

DevServerProcess::~DevServerProcess() { Stop(); }

int DevServerProcess::Stop() {
    if (m_pid <= 0) return -1;
    kill(m_pid, SIGTERM);
    int status = 0;
    waitpid(m_pid, &status, 0);
    m_pid = -1;
    return status;
}
