#include "platform/http.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>

#include "platform/files.h"

namespace platform {
namespace {

std::atomic<long> g_connectSeconds{15};
std::atomic<long> g_stallSeconds{30};

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The system's certificate authorities and the extra ones of ORL_CA_BUNDLE as one PEM text, or empty
// when there are no extra ones (libcurl's own default is used then).
const std::string& CaBlob() {
    static const std::string blob = [] {
        const char* extra = std::getenv("ORL_CA_BUNDLE");
        if (extra == nullptr || *extra == '\0') return std::string();
        std::string pem;
        const char* system = curl_version_info(CURLVERSION_NOW)->cainfo;
        if (system != nullptr) {
            if (auto bundle = ReadFile(system)) pem = *bundle + "\n";
        }
        if (auto added = ReadFile(extra)) pem += *added;
        return pem;
    }();
    return blob;
}

void ApplyCommonOptions(CURL* curl, const HttpSession& session, const std::string& url) {
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_USERAGENT, session.UserAgent().c_str());
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, g_connectSeconds.load());
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, g_stallSeconds.load());
    const std::string& blob = CaBlob();
    if (!blob.empty()) {
        curl_blob ca{const_cast<char*>(blob.data()), blob.size(), CURL_BLOB_NOCOPY};
        curl_easy_setopt(curl, CURLOPT_CAINFO_BLOB, &ca);
    }
    // Every request goes to the server: ask caches on the way not to answer from a stored copy.
    static curl_slist* const noCache =
        curl_slist_append(curl_slist_append(nullptr, "Cache-Control: no-cache"), "Pragma: no-cache");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, noCache);
}

}  // namespace

void SetHttpTimeouts(const HttpTimeouts& timeouts) {
    g_connectSeconds = timeouts.connectSeconds;
    g_stallSeconds = timeouts.stallSeconds;
}

HttpTimeouts GetHttpTimeouts() { return {g_connectSeconds.load(), g_stallSeconds.load()}; }

HttpSession::HttpSession(std::string userAgent) : m_userAgent(std::move(userAgent)) { GlobalInit(); }

struct HttpStream::Transfer {
    CURL* easy = curl_easy_init();
    CURLM* multi = curl_multi_init();
    std::string pending;
    bool done = false;
    CURLcode result = CURLE_OK;

    ~Transfer() {
        curl_multi_remove_handle(multi, easy);
        curl_easy_cleanup(easy);
        curl_multi_cleanup(multi);
    }

    static size_t OnData(char* data, size_t size, size_t count, void* self) {
        static_cast<Transfer*>(self)->pending.append(data, size * count);
        return size * count;
    }

    long Status() const {
        long status = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        return status;
    }

    // Drives the transfer until want bytes are pending, the headers are in (want 0) or it ended.
    void PumpUntil(size_t want) {
        while (!done && (want == 0 ? Status() == 0 : pending.size() < want)) {
            int running = 0;
            curl_multi_perform(multi, &running);
            int queued = 0;
            while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
                if (message->msg == CURLMSG_DONE) {
                    done = true;
                    result = message->data.result;
                }
            }
            if (!done && (want == 0 ? Status() == 0 : pending.size() < want)) {
                curl_multi_poll(multi, nullptr, 0, 100, nullptr);
            }
        }
    }
};

HttpStream::HttpStream(std::unique_ptr<Transfer> transfer) : m_transfer(std::move(transfer)) {}
HttpStream::~HttpStream() = default;

std::unique_ptr<HttpStream> HttpStream::Open(const HttpSession& session, const std::string& url) {
    auto transfer = std::make_unique<Transfer>();
    if (transfer->easy == nullptr || transfer->multi == nullptr) return nullptr;
    ApplyCommonOptions(transfer->easy, session, url);
    curl_easy_setopt(transfer->easy, CURLOPT_WRITEFUNCTION, &Transfer::OnData);
    curl_easy_setopt(transfer->easy, CURLOPT_WRITEDATA, transfer.get());
    curl_multi_add_handle(transfer->multi, transfer->easy);
    transfer->PumpUntil(0);
    long status = transfer->Status();
    if (status == 0) return nullptr;
    std::unique_ptr<HttpStream> stream(new HttpStream(std::move(transfer)));
    stream->m_status = status;
    return stream;
}

long HttpStream::Read(char* buffer, size_t size) {
    Transfer& t = *m_transfer;
    // An error answer carries the server's error page, not the resource: it reads as a failure.
    if (m_status >= 400) return -1;
    t.PumpUntil(size);
    if (t.pending.empty() && t.done && t.result != CURLE_OK) return -1;
    size_t n = std::min(size, t.pending.size());
    std::memcpy(buffer, t.pending.data(), n);
    t.pending.erase(0, n);
    return static_cast<long>(n);
}

namespace {

constexpr size_t kFileWriteSize = size_t{1} << 20;
constexpr long kReceiveBufferSize = 256 * 1024;

struct FileSink {
    int fd = -1;
    bool writeFailed = false;
    const DownloadProgress* progress = nullptr;
    // The answer reaches the file in large writes, not one per piece that libcurl hands over.
    std::vector<char> pending;

    bool WriteOut(const char* data, size_t left) {
        while (left > 0) {
            ssize_t n = ::write(fd, data, left);
            if (n <= 0) return false;
            data += n;
            left -= static_cast<size_t>(n);
        }
        return true;
    }

    bool Flush() {
        bool ok = WriteOut(pending.data(), pending.size());
        pending.clear();
        return ok;
    }

    static size_t OnData(char* data, size_t size, size_t count, void* self) {
        auto* sink = static_cast<FileSink*>(self);
        size_t total = size * count;
        sink->pending.insert(sink->pending.end(), data, data + total);
        if (sink->pending.size() >= kFileWriteSize && !sink->Flush()) {
            sink->writeFailed = true;
            return 0;
        }
        return total;
    }

    static int OnProgress(void* self, curl_off_t total, curl_off_t received, curl_off_t, curl_off_t) {
        auto* sink = static_cast<FileSink*>(self);
        if (sink->progress == nullptr || !*sink->progress) return 0;
        return (*sink->progress)(static_cast<uint64_t>(received), static_cast<uint64_t>(total)) ? 0 : 1;
    }
};

}  // namespace

DownloadResult DownloadToFile(const HttpSession& session, const std::string& url, const std::string& path,
                              const DownloadProgress& progress) {
    DownloadResult result;
    std::string target = NativePath(path);
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    std::string temp = target + ".part-" + std::to_string(rng() % 1000000000ull);
    FileSink sink;
    sink.progress = &progress;
    sink.fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (sink.fd < 0) {
        result.error = "cannot create " + temp;
        return result;
    }
    CURL* curl = curl_easy_init();
    ApplyCommonOptions(curl, session, url);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &FileSink::OnData);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &FileSink::OnProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &sink);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    char errors[CURL_ERROR_SIZE] = "";
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errors);
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
    sink.pending.reserve(kFileWriteSize + kReceiveBufferSize);
    CURLcode code = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
    curl_easy_cleanup(curl);
    if (!sink.writeFailed && !sink.Flush()) sink.writeFailed = true;
    bool closed = ::close(sink.fd) == 0;

    result.curlCode = code;
    if (code != CURLE_OK) {
        result.error = errors[0] != '\0' ? errors : curl_easy_strerror(code);
    } else if (result.status >= 400) {
        result.error = "HTTP status " + std::to_string(result.status);
    } else if (sink.writeFailed || !closed) {
        result.error = "cannot write " + temp;
    } else if (::rename(temp.c_str(), target.c_str()) != 0) {
        result.error = "cannot rename into " + target;
    } else {
        result.ok = true;
        return result;
    }
    ::unlink(temp.c_str());
    return result;
}

}  // namespace platform
