#include "support/orl_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

extern char** environ;

std::vector<std::string> EnvironmentWith(const std::vector<std::string>& env) {
    // The values in env replace those of the same name: getenv finds the first one.
    std::vector<std::string> environment(env);
    for (char** e = environ; *e != nullptr; ++e) {
        std::string entry = *e;
        std::string name = entry.substr(0, entry.find('=') + 1);
        bool replaced = false;
        for (const std::string& own : env) replaced = replaced || own.starts_with(name);
        if (!replaced) environment.push_back(entry);
    }
    return environment;
}

int RunOrl(const std::string& orlPath, const std::string& folder, const std::vector<std::string>& env,
           const std::vector<std::string>& args, int timeoutSeconds, const std::string& stdoutPath,
           const std::function<bool()>& killWhen) {
    std::vector<std::string> environment = EnvironmentWith(env);
    std::vector<char*> envp;
    for (auto& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argvText{orlPath};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argvText) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    if (!stdoutPath.empty())
        posix_spawn_file_actions_addopen(&actions, 1, stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    int spawned = posix_spawn(&pid, orlPath.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -2;
    for (int i = 0; i < timeoutSeconds * 100; ++i) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -3;
        if (killWhen && killWhen()) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            return kOrlKilled;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return kOrlTimedOut;
}
