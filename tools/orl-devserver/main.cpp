// orl-devserver: serves a folder over HTTPS on loopback, for the demo and for trying the launcher
// against a server of one's own. It makes an authority and a certificate for localhost when started
// and prints what the launcher needs to trust it and find it.
//   orl-devserver ROOT [--port N] [--state DIR]
#include <httplib.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "devcert/dev_certificate.h"

namespace {

httplib::Server* g_server = nullptr;

void Stop(int) {
    if (g_server != nullptr) g_server->stop();
}

int Usage() {
    std::fprintf(stderr, "usage: orl-devserver ROOT [--port N] [--state DIR]\n");
    return 2;
}

int Serve(const DevCredentials& credentials, const std::filesystem::path& root, int port,
          const std::string& ca) {
    httplib::SSLServer server(credentials.serverCert, credentials.serverKey);
    if (!server.is_valid() || !server.set_mount_point("/", std::filesystem::absolute(root).string())) {
        std::fprintf(stderr, "orl-devserver: cannot serve %s\n", root.c_str());
        return 1;
    }
    // The notice page keeps the name of the game's web site.
    server.set_file_extension_and_mimetype_mapping("asp", "text/html");
    int bound = port > 0 ? (server.bind_to_port("127.0.0.1", port) ? port : -1)
                         : server.bind_to_any_port("127.0.0.1");
    if (bound <= 0) {
        std::fprintf(stderr, "orl-devserver: cannot listen on 127.0.0.1:%d\n", port);
        return 1;
    }
    std::printf("ORL_UPDATE_HOST=https://localhost:%d\nORL_CA_BUNDLE=%s\n", bound, ca.c_str());
    std::fflush(stdout);
    g_server = &server;
    signal(SIGINT, Stop);
    signal(SIGTERM, Stop);
    server.listen_after_bind();
    g_server = nullptr;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0) return Usage();
    std::filesystem::path root = argv[1];
    int port = 0;
    std::filesystem::path state;
    for (int i = 2; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--port") == 0) {
            port = std::atoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--state") == 0) {
            state = argv[i + 1];
        } else {
            return Usage();
        }
    }
    if (!std::filesystem::is_directory(root)) {
        std::fprintf(stderr, "orl-devserver: %s is not a folder\n", root.c_str());
        return 1;
    }
    if (state.empty())
        state = std::filesystem::temp_directory_path() / ("orl-devserver-" + std::to_string(getpid()));
    std::filesystem::create_directories(state);
    DevCredentials credentials = MakeDevCredentials("ORL development authority");
    std::string ca = (state / "ca.pem").string();
    if (!WriteAuthorityPem(credentials, ca)) {
        std::fprintf(stderr, "orl-devserver: cannot write %s\n", ca.c_str());
        return 1;
    }

    int result = Serve(credentials, root, port, ca);
    FreeDevCredentials(credentials);
    return result;
}
