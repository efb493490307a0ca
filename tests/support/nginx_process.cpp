#include "support/nginx_process.h"

#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "devcert/dev_certificate.h"

extern char** environ;

namespace {

// A loopback port that nothing listens on at the moment.
int FreePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

bool Accepts(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

NginxProcess::NginxProcess(const std::string& root, const std::string& state) {
    std::filesystem::create_directories(state + "/temp");
    DevCredentials credentials = MakeDevCredentials("ORL nginx test authority");
    bool written = WriteAuthorityPem(credentials, state + "/ca.pem") &&
                   WriteServerPem(credentials, state + "/server.pem", state + "/server.key");
    FreeDevCredentials(credentials);
    int port = FreePort();
    if (!written || port == 0) return;
    {
        // One process (no workers to change user), everything below state, the tree as static files.
        std::ofstream conf(state + "/nginx.conf");
        conf << "daemon off;\nmaster_process off;\nerror_log " << state << "/error.log;\npid " << state
             << "/nginx.pid;\nevents { worker_connections 64; }\nhttp {\n"
             << "  include /etc/nginx/mime.types;\n  types { text/html asp; }\n"
             << "  default_type application/octet-stream;\n"
             << "  log_format sent '$uri $body_bytes_sent $http_range';\n"
             << "  access_log " << state << "/sent.log sent;\n"
             << "  client_body_temp_path " << state << "/temp;\n  proxy_temp_path " << state << "/temp;\n"
             << "  fastcgi_temp_path " << state << "/temp;\n  uwsgi_temp_path " << state << "/temp;\n"
             << "  scgi_temp_path " << state << "/temp;\n  sendfile on;\n"
             << "  server {\n    listen 127.0.0.1:" << port << " ssl;\n    server_name localhost;\n"
             << "    ssl_certificate " << state << "/server.pem;\n    ssl_certificate_key " << state
             << "/server.key;\n    root " << root << ";\n  }\n}\n";
    }
    std::vector<std::string> args{"/usr/sbin/nginx",   "-p", state, "-c", state + "/nginx.conf", "-e",
                                  state + "/error.log"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&m_pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        m_pid = -1;
        return;
    }
    for (int i = 0; i < 500 && !Accepts(port); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!Accepts(port)) return;
    host = "https://localhost:" + std::to_string(port);
    ca = state + "/ca.pem";
}

NginxProcess::~NginxProcess() {
    if (m_pid <= 0) return;
    kill(m_pid, SIGTERM);
    int status = 0;
    waitpid(m_pid, &status, 0);
}
