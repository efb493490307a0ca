// A private X server (Xvfb) for tests, on a display number it picks itself, for as long as the
// object lives.
#pragma once

#include <sys/types.h>

#include <string>

class XServer {
public:
    explicit XServer(const std::string& screen = "640x480x24");
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;
    // ":N", empty when the server could not be started.
    std::string display;

private:
    pid_t m_pid = 0;
};
