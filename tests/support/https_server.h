// A real HTTPS server on loopback for tests: it serves files set by the test and injects faults. Its
// certificate is made at test time by a test authority that ORL_CA_BUNDLE names, so clients verify
// it as they would verify the real update server.
#pragma once

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class SSLServer;
}

enum class HttpFault {
    NotFound,     // 404
    ServerError,  // 500 with a body
    CutShort,     // announces the whole length, sends afterBytes, closes the connection
    Stall,        // sends afterBytes, then nothing until the server stops
    Endless,      // a chunked answer that never ends
    Drip,         // a chunked answer of one byte every afterBytes milliseconds, never ending
    HugeLength,   // announces a length far beyond the body, sends the body, closes the connection
    Redirect,     // 302 to the URL given with FailWithRedirect
};

struct HttpRequestRecord {
    std::string path;
    std::map<std::string, std::string> headers;
};

class HttpsServer {
public:
    enum class Trust {
        Authority,  // signed by the test authority
        Unknown,    // self-signed, trusted by nobody
    };
    explicit HttpsServer(Trust trust = Trust::Authority);
    ~HttpsServer();
    HttpsServer(const HttpsServer&) = delete;
    HttpsServer& operator=(const HttpsServer&) = delete;

    // "https://localhost:PORT", no trailing "/".
    const std::string& Root() const { return m_root; }
    // Serves body at path ("/a/b.txt"), replacing what was there and any fault.
    void Serve(const std::string& path, std::string body);
    // Answers path with a fault instead; the body that is served before a cut or stall is the one
    // set by Serve.
    void Fail(const std::string& path, HttpFault fault, size_t afterBytes = 0);
    void Remove(const std::string& path);
    // Answers path with a 302 to location.
    void Redirect(const std::string& path, const std::string& location);

    // Bytes of bodies sent for path so far.
    uint64_t BytesSent(const std::string& path) const;

    std::vector<HttpRequestRecord> Requests() const;
    int RequestCount(const std::string& path) const;

private:
    struct Entry {
        std::string body;
        bool failing = false;
        HttpFault fault = HttpFault::NotFound;
        size_t afterBytes = 0;
        std::string location;
        std::string etag;
    };
    void CountSent(const std::string& path, size_t bytes);
    // Waits until the server stops or ms pass; false when it stops.
    bool Pause(int ms);

    std::unique_ptr<httplib::SSLServer> m_server;
    std::thread m_thread;
    std::string m_root;
    mutable std::mutex m_mutex;
    std::condition_variable m_stopped;
    bool m_stopping = false;
    std::map<std::string, std::shared_ptr<const Entry>> m_entries;
    std::vector<HttpRequestRecord> m_requests;
    std::map<std::string, uint64_t> m_sent;
};

// A loopback listener that takes each connection and resets it at once, before any answer.
class ResettingListener {
public:
    ResettingListener();
    ~ResettingListener();
    ResettingListener(const ResettingListener&) = delete;
    ResettingListener& operator=(const ResettingListener&) = delete;
    // "https://localhost:PORT".
    const std::string& Root() const { return m_root; }

private:
    int m_fd = -1;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    std::string m_root;
};

// The PEM file of the test authority; made on first use, and ORL_CA_BUNDLE points at it.
const std::string& TestAuthorityFile();
