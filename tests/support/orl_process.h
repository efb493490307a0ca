// Runs the real orl program for tests, in a folder and with extra environment.
#pragma once

#include <string>
#include <vector>

// Runs the program at orlPath in folder with env added to the environment (replacing what it
// names), its standard output going to stdoutPath when one is given; its exit status, or -1 when it
// had to be ended after timeoutSeconds.
int RunOrl(const std::string& orlPath, const std::string& folder, const std::vector<std::string>& env,
           const std::vector<std::string>& args, int timeoutSeconds, const std::string& stdoutPath = "");
