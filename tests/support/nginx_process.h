// nginx, Debian's web server, run by a test as an ordinary process: it serves a folder over HTTPS on
// a loopback port, with a certificate of an authority of its own, for as long as the object lives.
// Like orl-devserver it appends each answer to STATE/sent.log as "PATH BYTES RANGE".
#pragma once

#include <sys/types.h>

#include <string>

class NginxProcess {
public:
    // Serves root, keeping its configuration, authority and logs in state; host and ca stay empty
    // when it did not start.
    NginxProcess(const std::string& root, const std::string& state);
    ~NginxProcess();
    NginxProcess(const NginxProcess&) = delete;
    NginxProcess& operator=(const NginxProcess&) = delete;

    std::string host;  // "https://localhost:PORT"
    std::string ca;    // the authority's PEM file

private:
    pid_t m_pid = -1;
};
