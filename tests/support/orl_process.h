// Runs the real orl program for tests, in a folder and with extra environment.
#pragma once

#include <functional>
#include <string>
#include <vector>

// The process's environment with the values in env added, replacing those of the same name.
std::vector<std::string> EnvironmentWith(const std::vector<std::string>& env);

inline constexpr int kOrlTimedOut = -1;
inline constexpr int kOrlKilled = -4;

// Runs the program at orlPath in folder with env added to the environment (replacing what it
// names), its standard output going to stdoutPath when one is given; its exit status, kOrlTimedOut
// when it had to be ended after timeoutSeconds, or kOrlKilled when killWhen, asked every 10 ms,
// said to end it with SIGKILL, as a power cut or the player's task manager would.
int RunOrl(const std::string& orlPath, const std::string& folder, const std::vector<std::string>& env,
           const std::vector<std::string>& args, int timeoutSeconds, const std::string& stdoutPath = "",
           const std::function<bool()>& killWhen = {});
