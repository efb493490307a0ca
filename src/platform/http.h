// HTTP(S) on libcurl: a session that carries the user agent, a pull stream that hands out up to N
// bytes per read, and a download of a URL to a file with progress. Certificates and host names are
// always verified; ORL_CA_BUNDLE names extra certificate authorities to trust beside the system's.
// Proxies come from the usual environment variables. Nothing is cached.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform {

// A connection that stalls is given up: connecting may take connectSeconds, and a transfer that moves
// fewer than one byte per second for stallSeconds ends as a failure.
struct HttpTimeouts {
    long connectSeconds = 15;
    long stallSeconds = 30;
};
void SetHttpTimeouts(const HttpTimeouts& timeouts);
HttpTimeouts GetHttpTimeouts();

class HttpSession {
public:
    explicit HttpSession(std::string userAgent);
    const std::string& UserAgent() const { return m_userAgent; }

private:
    std::string m_userAgent;
};

// One open URL, read in pieces on the calling thread.
class HttpStream {
public:
    // Nullptr when the URL cannot be opened (bad URL, no connection, failed certificate check). The
    // stream is open once the answer's headers have arrived.
    static std::unique_ptr<HttpStream> Open(const HttpSession& session, const std::string& url);
    ~HttpStream();
    HttpStream(const HttpStream&) = delete;
    HttpStream& operator=(const HttpStream&) = delete;

    // Waits until size bytes have arrived or the answer has ended; returns the bytes copied (0 at the
    // end of the answer), or -1 when the transfer failed.
    long Read(char* buffer, size_t size);
    long Status() const { return m_status; }

private:
    struct Transfer;
    explicit HttpStream(std::unique_ptr<Transfer> transfer);
    std::unique_ptr<Transfer> m_transfer;
    long m_status = 0;
};

struct DownloadResult {
    bool ok = false;
    long status = 0;    // the HTTP status of the answer, 0 when none arrived
    int curlCode = 0;   // libcurl's result
    std::string error;  // a short reason when not ok
};

// Receives (bytes received, bytes announced or 0); returning false stops the download.
using DownloadProgress = std::function<bool(uint64_t received, uint64_t total)>;

// Downloads url into a temporary beside path and renames it into place only when the whole answer
// arrived with a status below 400; otherwise the temporary goes and path is left as it was.
DownloadResult DownloadToFile(const HttpSession& session, const std::string& url, const std::string& path,
                              const DownloadProgress& progress = {});

}  // namespace platform
