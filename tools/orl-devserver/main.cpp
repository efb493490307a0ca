// orl-devserver: serves a folder over HTTPS on loopback, for the demo and for trying the launcher
// against a server of one's own. It makes an authority and a certificate for localhost when started
// and prints what the launcher needs to trust it and find it. Files stream from the disk; range
// requests are answered (If-Range with the ETag or the Last-Modified date the server gave), and each
// answer is appended to STATE/sent.log as a line "PATH BYTES RANGE": the bytes sent and the range
// asked for ("-" for none).
//   orl-devserver ROOT [--port N] [--state DIR]
#include <fcntl.h>
#include <httplib.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <mutex>
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

const char* ContentType(const std::string& path) {
    static const std::pair<const char*, const char*> kTypes[] = {
        {".html", "text/html"},     {".htm", "text/html"}, {".asp", "text/html"},  {".css", "text/css"},
        {".js", "text/javascript"}, {".png", "image/png"}, {".jpg", "image/jpeg"}, {".txt", "text/plain"}};
    for (const auto& [ending, type] : kTypes) {
        if (path.ends_with(ending)) return type;
    }
    return "application/octet-stream";
}

std::string HttpDate(std::time_t when) {
    char text[64];
    std::tm tm{};
    gmtime_r(&when, &tm);
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &tm);
    return text;
}

// One open file of an answer, read from where the answer is.
struct OpenFile {
    int fd = -1;
    ~OpenFile() {
        if (fd >= 0) ::close(fd);
    }
};

class Folder {
public:
    Folder(std::filesystem::path root, std::filesystem::path log)
        : m_root(std::filesystem::canonical(root)), m_log(std::move(log)) {}

    void Answer(const httplib::Request& request, httplib::Response& response) {
        std::error_code error;
        std::filesystem::path path =
            std::filesystem::weakly_canonical(m_root / request.path.substr(1), error);
        auto inside = path.string().rfind(m_root.string(), 0) == 0;
        if (!error && inside && std::filesystem::is_directory(path)) path /= "index.html";
        auto file = std::make_shared<OpenFile>();
        struct stat st;
        if (error || !inside || (file->fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC)) < 0 ||
            ::fstat(file->fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            response.status = 404;
            response.set_content("not found", "text/plain");
            return;
        }
        std::string etag = "\"" + std::to_string(st.st_size) + "-" + std::to_string(st.st_mtim.tv_sec) + "." +
                           std::to_string(st.st_mtim.tv_nsec) + "\"";
        std::string modified = HttpDate(st.st_mtime);
        // A range continues a partial download only while the file is the one it came from.
        std::string ifRange = request.get_header_value("If-Range");
        if (!ifRange.empty() && ifRange != etag && ifRange != modified)
            const_cast<httplib::Request&>(request).ranges.clear();
        response.set_header("ETag", etag);
        response.set_header("Last-Modified", modified);
        auto sent = std::make_shared<std::atomic<uint64_t>>(0);
        std::string name = request.path;
        std::string range = request.has_header("Range") ? request.get_header_value("Range") : "-";
        response.set_content_provider(
            static_cast<size_t>(st.st_size), ContentType(path.string()),
            [file, sent](size_t offset, size_t length, httplib::DataSink& sink) {
                static thread_local std::unique_ptr<char[]> buffer(new char[kChunk]);
                ssize_t n =
                    ::pread(file->fd, buffer.get(), std::min(length, kChunk), static_cast<off_t>(offset));
                if (n <= 0) return false;
                *sent += static_cast<uint64_t>(n);
                return sink.write(buffer.get(), static_cast<size_t>(n));
            },
            [this, name, range, sent](bool) { Log(name, *sent, range); });
    }

private:
    static constexpr size_t kChunk = size_t{1} << 20;

    void Log(const std::string& name, uint64_t bytes, const std::string& range) {
        std::lock_guard lock(m_logLock);
        if (FILE* log = std::fopen(m_log.c_str(), "a")) {
            std::fprintf(log, "%s %llu %s\n", name.c_str(), static_cast<unsigned long long>(bytes),
                         range.c_str());
            std::fclose(log);
        }
    }

    std::filesystem::path m_root;
    std::filesystem::path m_log;
    std::mutex m_logLock;
};

int Serve(const DevCredentials& credentials, const std::filesystem::path& root, int port,
          const std::string& ca, const std::filesystem::path& state) {
    httplib::SSLServer server(credentials.serverCert, credentials.serverKey);
    if (!server.is_valid()) {
        std::fprintf(stderr, "orl-devserver: cannot serve %s\n", root.c_str());
        return 1;
    }
    Folder folder(root, state / "sent.log");
    server.Get(".*", [&folder](const httplib::Request& request, httplib::Response& response) {
        folder.Answer(request, response);
    });
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

    int result = Serve(credentials, root, port, ca, state);
    FreeDevCredentials(credentials);
    return result;
}
