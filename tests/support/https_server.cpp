#include "support/https_server.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "devcert/dev_certificate.h"

namespace {

struct Credentials : DevCredentials {
    std::string caFile;
};

const Credentials& TestCredentials() {
    static const Credentials credentials = [] {
        Credentials c{MakeDevCredentials("ORL test authority"), {}};
        char path[] = "/tmp/orl-test-ca-XXXXXX";
        int fd = mkstemp(path);
        if (fd < 0 || ::close(fd) != 0 || !WriteAuthorityPem(c, path))
            throw std::runtime_error("test certificate: authority file");
        c.caFile = path;
        setenv("ORL_CA_BUNDLE", path, 1);
        // The file goes when the test program ends.
        static struct Remover {
            std::string path;
            ~Remover() { std::remove(path.c_str()); }
        } remover{path};
        return c;
    }();
    return credentials;
}

const Credentials& StrangerCredentials() {
    static const Credentials credentials{MakeDevCredentials("Stranger"), {}};
    return credentials;
}

// Web pages are served as pages, everything else as bytes.
const char* ContentType(const std::string& path) {
    for (const char* page : {".html", ".htm", ".asp"}) {
        if (path.ends_with(page)) return "text/html";
    }
    return "application/octet-stream";
}

}  // namespace

const std::string& TestAuthorityFile() { return TestCredentials().caFile; }

HttpsServer::HttpsServer(Trust trust) {
    TestCredentials();
    const Credentials& c = trust == Trust::Authority ? TestCredentials() : StrangerCredentials();
    m_server = std::make_unique<httplib::SSLServer>(c.serverCert, c.serverKey);
    if (!m_server->is_valid()) throw std::runtime_error("test server: invalid");
    // Idle connections are dropped soon, so stopping the server never waits long for them.
    m_server->set_keep_alive_timeout(1);
    m_server->Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
        std::shared_ptr<const Entry> entry;
        {
            std::lock_guard lock(m_mutex);
            HttpRequestRecord record{request.path, {}};
            for (const auto& [key, value] : request.headers) record.headers[key] = value;
            m_requests.push_back(std::move(record));
            auto found = m_entries.find(request.path);
            if (found != m_entries.end()) entry = found->second;
        }
        if (!entry || (entry->failing && entry->fault == HttpFault::NotFound)) {
            response.status = 404;
            response.set_content("not found", "text/plain");
            return;
        }
        if (!entry->failing) {
            // Streamed from the entry itself: large bodies are not copied per request. The server
            // answers a range request itself, unless If-Range names another body: then the whole
            // body goes out.
            std::string ifRange = request.get_header_value("If-Range");
            if (!ifRange.empty() && ifRange != entry->etag)
                const_cast<httplib::Request&>(request).ranges.clear();
            response.set_header("ETag", entry->etag);
            // httplib never ends an answer whose content provider has nothing to give.
            if (entry->body.empty()) {
                response.set_content("", ContentType(request.path));
                return;
            }
            std::string path = request.path;
            response.set_content_provider(
                entry->body.size(), ContentType(request.path),
                [this, entry, path](size_t offset, size_t length, httplib::DataSink& sink) {
                    size_t n = std::min<size_t>(length, size_t{1} << 20);
                    CountSent(path, n);
                    return sink.write(entry->body.data() + offset, n);
                });
            return;
        }
        if (!entry->etag.empty()) response.set_header("ETag", entry->etag);
        switch (entry->fault) {
            case HttpFault::NotFound:
                break;
            case HttpFault::ServerError:
                response.status = 500;
                response.set_content("internal error", "text/plain");
                break;
            case HttpFault::CutShort:
            case HttpFault::Stall:
                response.set_content_provider(
                    entry->body.size(), "application/octet-stream",
                    [this, entry](size_t offset, size_t, httplib::DataSink& sink) {
                        size_t stop = std::min(entry->afterBytes, entry->body.size());
                        if (offset < stop) return sink.write(entry->body.data() + offset, stop - offset);
                        if (entry->fault == HttpFault::CutShort) return false;
                        while (Pause(100)) {
                            if (!sink.is_writable()) return false;
                        }
                        return false;
                    });
                break;
            case HttpFault::Redirect:
                response.set_redirect(entry->location, 302);
                break;
            case HttpFault::HugeLength:
                response.set_content_provider(size_t{1} << 40, "application/octet-stream",
                                              [entry](size_t offset, size_t, httplib::DataSink& sink) {
                                                  if (offset < entry->body.size())
                                                      return sink.write(entry->body.data() + offset,
                                                                        entry->body.size() - offset);
                                                  return false;
                                              });
                break;
            case HttpFault::Drip:
                response.set_chunked_content_provider("application/octet-stream",
                                                      [this, entry](size_t, httplib::DataSink& sink) {
                                                          if (!Pause(static_cast<int>(entry->afterBytes)))
                                                              return false;
                                                          return sink.is_writable() && sink.write("d", 1);
                                                      });
                break;
            case HttpFault::Endless:
                response.set_chunked_content_provider("application/octet-stream",
                                                      [this](size_t, httplib::DataSink& sink) {
                                                          static const std::string block(65536, 'x');
                                                          std::lock_guard lock(m_mutex);
                                                          if (m_stopping) return false;
                                                          return sink.write(block.data(), block.size());
                                                      });
                break;
        }
    });
    int port = m_server->bind_to_any_port("127.0.0.1");
    if (port <= 0) throw std::runtime_error("test server: bind");
    m_root = "https://localhost:" + std::to_string(port);
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    // Stopping a server that has not started listening yet would leave it listening for ever.
    while (!m_server->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

HttpsServer::~HttpsServer() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_stopped.notify_all();
    m_server->stop();
    m_thread.join();
}

bool HttpsServer::Pause(int ms) {
    std::unique_lock lock(m_mutex);
    return !m_stopped.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stopping; });
}

void HttpsServer::Serve(const std::string& path, std::string body) {
    auto entry = std::make_shared<Entry>();
    entry->body = std::move(body);
    // The same body keeps the same tag, so a partial download of it can be continued.
    entry->etag = "\"" + std::to_string(std::hash<std::string>{}(entry->body)) + "-" +
                  std::to_string(entry->body.size()) + "\"";
    std::lock_guard lock(m_mutex);
    m_entries[path] = entry;
}

void HttpsServer::Redirect(const std::string& path, const std::string& location) {
    auto entry = std::make_shared<Entry>();
    entry->failing = true;
    entry->fault = HttpFault::Redirect;
    entry->location = location;
    std::lock_guard lock(m_mutex);
    m_entries[path] = entry;
}

void HttpsServer::CountSent(const std::string& path, size_t bytes) {
    std::lock_guard lock(m_mutex);
    m_sent[path] += bytes;
}

uint64_t HttpsServer::BytesSent(const std::string& path) const {
    std::lock_guard lock(m_mutex);
    auto found = m_sent.find(path);
    return found == m_sent.end() ? 0 : found->second;
}

void HttpsServer::Fail(const std::string& path, HttpFault fault, size_t afterBytes) {
    std::lock_guard lock(m_mutex);
    auto entry = std::make_shared<Entry>();
    auto found = m_entries.find(path);
    if (found != m_entries.end()) {
        entry->body = found->second->body;
        entry->etag = found->second->etag;
    }
    entry->failing = true;
    entry->fault = fault;
    entry->afterBytes = afterBytes;
    m_entries[path] = entry;
}

void HttpsServer::Remove(const std::string& path) {
    std::lock_guard lock(m_mutex);
    m_entries.erase(path);
}

std::vector<HttpRequestRecord> HttpsServer::Requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

int HttpsServer::RequestCount(const std::string& path) const {
    std::lock_guard lock(m_mutex);
    int n = 0;
    for (const auto& r : m_requests) n += r.path == path;
    return n;
}

ResettingListener::ResettingListener() {
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_fd, 16) != 0 || ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("resetting listener: bind");
    m_root = "https://localhost:" + std::to_string(ntohs(address.sin_port));
    m_thread = std::thread([this] {
        while (!m_stop) {
            pollfd waiting{m_fd, POLLIN, 0};
            if (::poll(&waiting, 1, 100) <= 0) continue;
            int client = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) continue;
            // A zero linger time makes the close a reset.
            linger reset{1, 0};
            ::setsockopt(client, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
            ::close(client);
        }
    });
}

ResettingListener::~ResettingListener() {
    m_stop = true;
    m_thread.join();
    ::close(m_fd);
}
