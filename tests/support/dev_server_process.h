// orl-devserver run by a test: serves a folder for as long as the object lives.
#pragma once

#include <sys/types.h>

#include <string>

class DevServerProcess {
public:
    // Serves root, keeping its authority in state; host and ca stay empty when it did not start.
    DevServerProcess(const std::string& root, const std::string& state);
    ~DevServerProcess();
    DevServerProcess(const DevServerProcess&) = delete;
    DevServerProcess& operator=(const DevServerProcess&) = delete;
    // Asks it to stop (SIGTERM) and waits; its wait status.
    int Stop();

    std::string host;  // what it printed as ORL_UPDATE_HOST
    std::string ca;    // what it printed as ORL_CA_BUNDLE

private:
    pid_t m_pid = -1;
};
