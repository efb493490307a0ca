#include "platform/transfer.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/files.h"

namespace platform {
namespace {

std::mutex g_limitsLock;
TransferLimits g_limits;

constexpr size_t kFileWriteSize = size_t{1} << 20;
constexpr long kReceiveBufferSize = 256 * 1024;
// A capped download takes its bytes in small pieces, so the cap holds closely.
constexpr long kCappedReceiveBufferSize = 16 * 1024;
constexpr int kPollMs = 1000;

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

curl_slist* NoCacheHeaders() {
    // Every request goes to the server: ask caches on the way not to answer from a stored copy.
    static curl_slist* const headers =
        curl_slist_append(curl_slist_append(nullptr, "Cache-Control: no-cache"), "Pragma: no-cache");
    return headers;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Trim(std::string text) {
    size_t begin = text.find_first_not_of(" \t\r\n");
    size_t end = text.find_last_not_of(" \t\r\n");
    return begin == std::string::npos ? std::string() : text.substr(begin, end - begin + 1);
}

std::string Hex(const unsigned char* data, size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        text += kDigits[data[i] >> 4];
        text += kDigits[data[i] & 15];
    }
    return text;
}

struct CurlEasy {
    CURL* handle = curl_easy_init();
    curl_slist* headers = nullptr;
    ~CurlEasy() {
        curl_easy_cleanup(handle);
        curl_slist_free_all(headers);
    }
};

struct CurlMulti {
    CURLM* handle = curl_multi_init();
    ~CurlMulti() { curl_multi_cleanup(handle); }
};

struct Digest {
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    Digest() { Reset(); }
    ~Digest() { EVP_MD_CTX_free(ctx); }
    void Reset() { EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr); }
    void Update(const void* data, size_t size) { EVP_DigestUpdate(ctx, data, size); }
    std::string Final() {
        unsigned char out[EVP_MAX_MD_SIZE];
        unsigned int size = 0;
        EVP_DigestFinal_ex(ctx, out, &size);
        return Hex(out, size);
    }
};

// The SHA-256 of a file's blocks, taken on a thread of its own while the transfer's thread receives
// and writes the next ones, so checking a download costs it no speed.
class PipelinedDigest {
public:
    PipelinedDigest() : m_thread([this] { Run(); }) {}
    ~PipelinedDigest() {
        {
            std::lock_guard guard(m_lock);
            m_stop = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }
    PipelinedDigest(const PipelinedDigest&) = delete;
    PipelinedDigest& operator=(const PipelinedDigest&) = delete;

    void Reset() {
        Drain();
        m_digest.Reset();
    }
    // Hands block over, to be hashed after the blocks before it; gives back an empty buffer to fill.
    std::vector<char> Push(std::vector<char> block) {
        std::unique_lock guard(m_lock);
        m_changed.wait(guard, [this] { return m_queue.size() < kQueued; });
        m_queue.push_back(std::move(block));
        std::vector<char> next;
        if (!m_free.empty()) {
            next = std::move(m_free.back());
            m_free.pop_back();
        }
        m_changed.notify_all();
        next.clear();
        return next;
    }
    std::string Final() {
        Drain();
        return m_digest.Final();
    }

private:
    static constexpr size_t kQueued = 8;

    void Drain() {
        std::unique_lock guard(m_lock);
        m_changed.wait(guard, [this] { return m_queue.empty() && !m_busy; });
    }
    void Run() {
        std::unique_lock guard(m_lock);
        for (;;) {
            m_changed.wait(guard, [this] { return m_stop || !m_queue.empty(); });
            if (m_queue.empty()) return;
            std::vector<char> block = std::move(m_queue.front());
            m_queue.pop_front();
            m_busy = true;
            guard.unlock();
            m_digest.Update(block.data(), block.size());
            guard.lock();
            m_busy = false;
            if (m_free.size() < kQueued) m_free.push_back(std::move(block));
            m_changed.notify_all();
        }
    }

    Digest m_digest;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<std::vector<char>> m_queue;
    std::vector<std::vector<char>> m_free;
    bool m_busy = false;
    bool m_stop = false;
    std::thread m_thread;
};

// What a large file's record keeps of the answer its partial came from.
struct PartialRecord {
    std::string url;
    std::string etag;
    std::string modified;
    uint64_t size = 0;

    std::string Text() const {
        return "url=" + url + "\netag=" + etag + "\nmodified=" + modified + "\nsize=" + std::to_string(size) +
               "\n";
    }
    static std::optional<PartialRecord> Read(const std::string& path) {
        auto text = ReadFile(path, 8192);
        if (!text) return std::nullopt;
        PartialRecord record;
        size_t start = 0;
        while (start < text->size()) {
            size_t end = text->find('\n', start);
            if (end == std::string::npos) end = text->size();
            std::string line = text->substr(start, end - start);
            start = end + 1;
            size_t equals = line.find('=');
            if (equals == std::string::npos) continue;
            std::string key = line.substr(0, equals), value = line.substr(equals + 1);
            if (key == "url") record.url = value;
            if (key == "etag") record.etag = value;
            if (key == "modified") record.modified = value;
            if (key == "size") record.size = std::strtoull(value.c_str(), nullptr, 10);
        }
        return record;
    }
};

// The body's destination during one transfer: memory, a temporary beside the target, or a large
// file's partial, which outlives a failed or cancelled transfer.
class Sink {
public:
    explicit Sink(const TransferRequest& request) : m_request(request) {
        if (!request.expectedSha256.empty() && !request.path.empty())
            m_pipelined = std::make_unique<PipelinedDigest>();
    }
    ~Sink() {
        if (m_fd >= 0) ::close(m_fd);
    }

    bool Memory() const { return m_request.path.empty(); }
    const std::string& Body() const { return m_body; }
    uint64_t Size() const { return m_size; }
    int Error() const { return m_error; }

    // The bytes a large file's partial already holds from the same URL, with the record's
    // validators, or 0 when it starts from the beginning.
    uint64_t ResumableBytes(PartialRecord* record) {
        if (!m_request.large || Memory()) return 0;
        auto saved = PartialRecord::Read(PartialRecordPath(m_request.path));
        auto size = FileSize(PartialPath(m_request.path));
        if (!saved || !size || saved->url != m_request.url ||
            (saved->etag.empty() && saved->modified.empty()))
            return 0;
        *record = *saved;
        return *size;
    }

    // Opens the destination to receive the body from byte offset on.
    bool Open(uint64_t offset) {
        m_pending.clear();
        m_size = offset;
        m_digest.Reset();
        if (m_pipelined) m_pipelined->Reset();
        m_error = 0;
        if (Memory()) {
            m_body.clear();
            return true;
        }
        if (!m_request.large) {
            m_atomic = std::make_unique<AtomicFile>(m_request.path);
            if (!m_atomic->IsOpen()) return Fail(m_atomic->Error());
        } else if (m_fd < 0) {
            m_fd =
                ::open(NativePath(PartialPath(m_request.path)).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
            if (m_fd < 0) return Fail(errno);
        }
        if (m_request.large) {
            if (::ftruncate(m_fd, static_cast<off_t>(offset)) != 0) return Fail(errno);
            if (!m_request.expectedSha256.empty() && !HashExisting(offset)) return false;
        } else if (offset != 0) {
            return Fail(EINVAL);
        }
        return true;
    }

    bool Append(const char* data, size_t size) {
        if (!m_request.expectedSha256.empty() && !m_pipelined) m_digest.Update(data, size);
        m_size += size;
        if (Memory()) {
            m_body.append(data, size);
            return true;
        }
        m_pending.insert(m_pending.end(), data, data + size);
        // A capped download is slow: what arrived reaches the file at once, so little is fetched
        // twice after a kill. Otherwise the file gets large writes.
        return (m_request.maxBytesPerSecond == 0 && m_pending.size() < kFileWriteSize) || Flush();
    }

    bool Flush() {
        if (Memory() || m_pending.empty()) return m_error == 0;
        bool ok = true;
        if (m_atomic) {
            ok = m_atomic->Write(m_pending.data(), m_pending.size()) || Fail(m_atomic->Error());
        } else if (m_fd >= 0) {
            const char* data = m_pending.data();
            size_t left = m_pending.size();
            off_t at = static_cast<off_t>(m_size - left);
            while (left > 0 && ok) {
                ssize_t n = ::pwrite(m_fd, data, left, at);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) {
                    ok = Fail(n < 0 ? errno : ENOSPC);
                    break;
                }
                data += n;
                left -= static_cast<size_t>(n);
                at += n;
            }
        }
        if (m_pipelined) {
            m_pending = m_pipelined->Push(std::move(m_pending));
            m_pending.reserve(kFileWriteSize + kReceiveBufferSize);
        }
        m_pending.clear();
        return ok;
    }

    std::string Sha256() { return m_pipelined ? m_pipelined->Final() : m_digest.Final(); }

    // Brings a whole, valid body into place.
    bool Commit() {
        if (!Flush()) return false;
        if (Memory()) return true;
        if (m_atomic) return m_atomic->Commit() || Fail(m_atomic->Error());
        bool ok = ::fdatasync(m_fd) == 0 || Fail(errno);
        int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0) ok = Fail(errno);
        if (ok && ::rename(NativePath(PartialPath(m_request.path)).c_str(),
                           NativePath(m_request.path).c_str()) != 0)
            ok = Fail(errno);
        if (!ok) return false;
        DeleteFile(PartialRecordPath(m_request.path));
        SyncParentFolder(m_request.path);
        return true;
    }

    // A transfer that ended short: a large file keeps what arrived for a later transfer.
    void Keep() { Flush(); }

    // A body that can never be used: nothing of it stays.
    void Discard() {
        m_pending.clear();
        m_atomic.reset();
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
        if (m_request.large && !Memory()) {
            DeleteFile(PartialPath(m_request.path));
            DeleteFile(PartialRecordPath(m_request.path));
        }
    }

    void SaveRecord(const PartialRecord& record) {
        if (m_request.large && !Memory()) WriteFileAtomic(PartialRecordPath(m_request.path), record.Text());
    }

private:
    bool Fail(int error) {
        if (m_error == 0) m_error = error != 0 ? error : EIO;
        return false;
    }

    bool HashExisting(uint64_t bytes) {
        std::vector<char> buffer(kFileWriteSize);
        uint64_t at = 0;
        while (at < bytes) {
            ssize_t n = ::pread(m_fd, buffer.data(), std::min<uint64_t>(buffer.size(), bytes - at),
                                static_cast<off_t>(at));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return Fail(n < 0 ? errno : EIO);
            if (m_pipelined) {
                buffer.resize(static_cast<size_t>(n));
                buffer = m_pipelined->Push(std::move(buffer));
                buffer.resize(kFileWriteSize);
            } else {
                m_digest.Update(buffer.data(), static_cast<size_t>(n));
            }
            at += static_cast<uint64_t>(n);
        }
        return true;
    }

    const TransferRequest& m_request;
    std::string m_body;
    std::vector<char> m_pending;
    std::unique_ptr<AtomicFile> m_atomic;
    int m_fd = -1;
    int m_error = 0;
    uint64_t m_size = 0;
    Digest m_digest;
    std::unique_ptr<PipelinedDigest> m_pipelined;
};

}  // namespace

void SetTransferLimits(const TransferLimits& limits) {
    std::lock_guard lock(g_limitsLock);
    g_limits = limits;
}

TransferLimits GetTransferLimits() {
    std::lock_guard lock(g_limitsLock);
    return g_limits;
}

HttpSession::HttpSession(std::string userAgent) : m_userAgent(std::move(userAgent)) { GlobalInit(); }

std::string PartialPath(const std::string& target) { return target + ".part"; }
std::string PartialRecordPath(const std::string& target) { return target + ".part.info"; }

struct Transfer::Impl {
    TransferRequest request;
    std::string userAgent;
    TransferLimits limits = GetTransferLimits();
    CurlMulti multi;
    std::atomic<bool> cancel{false};
    std::atomic<bool> finished{false};
    std::atomic<uint64_t> received{0};
    std::atomic<uint64_t> total{0};
    mutable std::mutex lock;
    std::condition_variable changed;
    TransferResult result;
    std::string body;
    std::thread worker;

    // One answer's state, reset at every response line (a redirect brings a new one).
    struct Answer {
        std::string etag, modified;
        long rangeStart = -1;
        uint64_t rangeTotal = 0;
        uint64_t length = 0;
        bool lengthKnown = false;
    };

    struct Attempt {
        Impl* self = nullptr;
        Sink* sink = nullptr;
        uint64_t offset = 0;  // bytes the partial held when the attempt began
        PartialRecord record{};
        Answer answer{};
        bool started = false;  // the body's first bytes were taken
        bool whole = false;    // the partial already holds the whole file: the answer's body is not it
        // The speed cap: the bytes taken since the attempt began, and when the paused transfer may
        // take more.
        std::chrono::steady_clock::time_point capStart = std::chrono::steady_clock::now();
        uint64_t capBytes = 0;
        bool paused = false;
        std::chrono::steady_clock::time_point resumeAt{};

        // Whether bytes more keep the attempt within the cap; otherwise it pauses until they do. The
        // cap holds from the first byte on, with a tenth of a second's worth allowed up front, so the
        // line is never flooded in bursts.
        bool PassesCap(uint64_t cap, size_t bytes) {
            auto now = std::chrono::steady_clock::now();
            double elapsed = std::chrono::duration<double>(now - capStart).count();
            uint64_t after = capBytes + bytes;
            if (static_cast<double>(after) <= static_cast<double>(cap) * (elapsed + 0.1)) {
                capBytes = after;
                return true;
            }
            paused = true;
            resumeAt = capStart + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                      std::chrono::duration<double>(static_cast<double>(after) / cap - 0.1));
            return false;
        }
        std::string refusal{};  // why the body was refused, when it was
        bool fatal = false;
        bool mismatch = false;  // the answer is not the file the request expects     // the refusal cannot be
                                // cured by trying again
    };

    void Finish(TransferResult outcome) {
        {
            std::lock_guard guard(lock);
            result = std::move(outcome);
            finished = true;
        }
        changed.notify_all();
    }

    static size_t OnHeader(char* data, size_t size, size_t count, void* p) {
        auto* attempt = static_cast<Attempt*>(p);
        std::string line(data, size * count);
        if (line.starts_with("HTTP/")) {
            attempt->answer = {};
            return size * count;
        }
        size_t colon = line.find(':');
        if (colon == std::string::npos) return size * count;
        std::string key = Lower(Trim(line.substr(0, colon)));
        std::string value = Trim(line.substr(colon + 1));
        Answer& answer = attempt->answer;
        if (key == "etag") answer.etag = value;
        if (key == "last-modified") answer.modified = value;
        if (key == "content-length") {
            answer.length = std::strtoull(value.c_str(), nullptr, 10);
            answer.lengthKnown = true;
        }
        if (key == "content-range") {
            unsigned long long start = 0, end = 0, whole = 0;
            if (std::sscanf(value.c_str(), "bytes %llu-%llu/%llu", &start, &end, &whole) == 3) {
                answer.rangeStart = static_cast<long>(start);
                answer.rangeTotal = whole;
            } else if (std::sscanf(value.c_str(), "bytes */%llu", &whole) == 1) {
                answer.rangeTotal = whole;
            }
        }
        return size * count;
    }

    // The first bytes of the final answer: its status decides whether the body is wanted at all, and
    // a range answer must continue exactly where the partial ends.
    bool BeginBody(Attempt& a, CURL* easy) {
        a.started = true;
        long status = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        auto refuse = [&](std::string why, bool fatal) {
            a.refusal = std::move(why);
            a.fatal = fatal;
            return false;
        };
        if (status == 416 && a.offset > 0 && a.answer.rangeTotal == a.offset) {
            // A kill after the last byte and before the rename: the partial is the whole file, and
            // the validators decide as for any other.
            if (!a.sink->Open(a.offset)) return refuse("cannot write the file", true);
            a.whole = true;
            total = a.offset;
            received = a.offset;
            return true;
        }
        if (status == 416 && a.offset > 0) {
            // The partial cannot be continued: the next try starts from the beginning.
            a.sink->Discard();
            return refuse("the server refuses the range", false);
        }
        if (status >= 400) return refuse("HTTP status " + std::to_string(status), true);
        uint64_t from = 0;
        if (status == 206) {
            if (a.offset == 0 || a.answer.rangeStart != static_cast<long>(a.offset)) {
                a.sink->Discard();
                return refuse("a range that does not continue the partial file", false);
            }
            from = a.offset;
        } else if (status != 200) {
            return refuse("HTTP status " + std::to_string(status), true);
        }
        uint64_t whole = status == 206 ? a.answer.rangeTotal : (a.answer.lengthKnown ? a.answer.length : 0);
        const TransferRequest& r = request;
        if (whole != 0 && r.expectedSize && whole != *r.expectedSize) {
            a.mismatch = true;
            return refuse("the server announces " + std::to_string(whole) + " bytes, not " +
                              std::to_string(*r.expectedSize),
                          true);
        }
        if (whole != 0 && r.maxBytes != 0 && whole > r.maxBytes)
            return refuse("the answer is too large", true);
        if (!a.sink->Open(from)) return refuse("cannot write the file", true);
        total = whole;
        received = from;
        if (r.large && !r.path.empty()) {
            a.record = {r.url, a.answer.etag, a.answer.modified, whole};
            a.sink->SaveRecord(a.record);
        }
        return true;
    }

    static size_t OnData(char* data, size_t size, size_t count, void* p) {
        auto* a = static_cast<Attempt*>(p);
        Impl* self = a->self;
        size_t bytes = size * count;
        if (!a->started && !self->BeginBody(*a, self->currentEasy)) return 0;
        if (a->whole) return bytes;
        const TransferRequest& r = self->request;
        if (r.maxBytesPerSecond != 0 && !a->PassesCap(r.maxBytesPerSecond, bytes))
            return CURL_WRITEFUNC_PAUSE;
        uint64_t after = a->sink->Size() + bytes;
        if (r.expectedSize && after > *r.expectedSize) {
            a->refusal = "more bytes than announced";
            a->mismatch = true;
            a->fatal = true;
            return 0;
        }
        if (r.maxBytes != 0 && after > r.maxBytes) {
            a->refusal = "the answer is too large";
            a->fatal = true;
            return 0;
        }
        if (!a->sink->Append(data, bytes)) {
            a->refusal = "cannot write the file";
            a->fatal = true;
            return 0;
        }
        self->received = after;
        return bytes;
    }

    CURL* currentEasy = nullptr;

    static int OnSocket(void* cap, curl_socket_t fd, curlsocktype) {
        int window = static_cast<int>(
            std::clamp<uint64_t>(*static_cast<const uint64_t*>(cap) / 4, 16 * 1024, 1024 * 1024));
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &window, sizeof window);
        return CURL_SOCKOPT_OK;
    }

    // One request; returns true when the transfer has ended (successfully or not), false when a
    // large file's broken connection may be tried again.
    bool RunAttempt(Sink& sink, std::chrono::steady_clock::time_point deadline, bool lastTry) {
        CurlEasy easy;
        if (easy.handle == nullptr) {
            Finish({TransferState::Failed, 0, "no transfer handle", false});
            return true;
        }
        Attempt a;
        a.self = this;
        a.sink = &sink;
        PartialRecord saved;
        a.offset = sink.ResumableBytes(&saved);
        CURL* c = easy.handle;
        currentEasy = c;
        curl_easy_setopt(c, CURLOPT_URL, request.url.c_str());
        curl_easy_setopt(c, CURLOPT_USERAGENT, userAgent.c_str());
        curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(c, CURLOPT_MAXREDIRS, 5L);
        bool https = Lower(request.url.substr(0, 8)) == "https://";
        curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, https ? "https" : "http,https");
        curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, https ? "https" : "http,https");
        curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
        curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, limits.connectSeconds);
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, limits.stallBytesPerSecond);
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, limits.stallSeconds);
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(std::max<long long>(1, left.count())));
        curl_easy_setopt(c, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
        if (request.maxBytesPerSecond != 0) {
            curl_easy_setopt(c, CURLOPT_BUFFERSIZE, kCappedReceiveBufferSize);
            // A small receive window keeps the server from filling megabytes of buffers ahead of the
            // cap, so the line is shared evenly and the download moves in small steps.
            curl_easy_setopt(c, CURLOPT_SOCKOPTDATA, &request.maxBytesPerSecond);
            curl_easy_setopt(c, CURLOPT_SOCKOPTFUNCTION, &Impl::OnSocket);
        }
        const std::string& blob = CaBlob();
        if (!blob.empty()) {
            curl_blob ca{const_cast<char*>(blob.data()), blob.size(), CURL_BLOB_NOCOPY};
            curl_easy_setopt(c, CURLOPT_CAINFO_BLOB, &ca);
        }
        for (curl_slist* h = NoCacheHeaders(); h != nullptr; h = h->next)
            easy.headers = curl_slist_append(easy.headers, h->data);
        if (a.offset > 0) {
            std::string range = std::to_string(a.offset) + "-";
            curl_easy_setopt(c, CURLOPT_RANGE, range.c_str());
            // The partial continues only while the server's file is the one it came from.
            std::string validator = !saved.etag.empty() ? saved.etag : saved.modified;
            easy.headers = curl_slist_append(easy.headers, ("If-Range: " + validator).c_str());
        }
        curl_easy_setopt(c, CURLOPT_HTTPHEADER, easy.headers);
        curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, &Impl::OnHeader);
        curl_easy_setopt(c, CURLOPT_HEADERDATA, &a);
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &Impl::OnData);
        curl_easy_setopt(c, CURLOPT_WRITEDATA, &a);
        char errors[CURL_ERROR_SIZE] = "";
        curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errors);

        curl_multi_add_handle(multi.handle, c);
        CURLcode code = CURLE_OK;
        bool done = false;
        while (!done && !cancel) {
            int running = 0;
            curl_multi_perform(multi.handle, &running);
            int queued = 0;
            while (CURLMsg* message = curl_multi_info_read(multi.handle, &queued)) {
                if (message->msg == CURLMSG_DONE) {
                    done = true;
                    code = message->data.result;
                }
            }
            if (done) break;
            int wait = kPollMs;
            if (a.paused) {
                auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    a.resumeAt - std::chrono::steady_clock::now());
                if (left.count() <= 0) {
                    a.paused = false;
                    curl_easy_pause(c, CURLPAUSE_CONT);
                    continue;
                }
                wait = static_cast<int>(std::min<long long>(left.count(), kPollMs));
            }
            curl_multi_poll(multi.handle, nullptr, 0, wait, nullptr);
        }
        long status = 0;
        curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
        curl_multi_remove_handle(multi.handle, c);
        currentEasy = nullptr;

        if (cancel) {
            sink.Keep();
            Finish({TransferState::Cancelled, status, "cancelled", false});
            return true;
        }
        // An answer without a body still has to pass the status check.
        if (code == CURLE_OK && !a.started && !BeginBody(a, c)) code = CURLE_WRITE_ERROR;
        auto fail = [&](const std::string& why, bool discard) {
            if (discard) {
                sink.Discard();
            } else {
                sink.Keep();
            }
            bool unverified = a.mismatch && !request.expectedSha256.empty();
            Finish({TransferState::Failed, status, why, sink.Error() == ENOSPC, unverified});
            return true;
        };
        if (code != CURLE_OK) {
            std::string why = !a.refusal.empty()  ? a.refusal
                              : errors[0] != '\0' ? errors
                                                  : curl_easy_strerror(code);
            if (a.fatal) return fail(why, true);
            bool broken = code == CURLE_OPERATION_TIMEDOUT || code == CURLE_PARTIAL_FILE ||
                          code == CURLE_RECV_ERROR || code == CURLE_SEND_ERROR || code == CURLE_GOT_NOTHING ||
                          code == CURLE_COULDNT_CONNECT || code == CURLE_HTTP2 ||
                          code == CURLE_HTTP2_STREAM || code == CURLE_SSL_CONNECT_ERROR ||
                          code == CURLE_WRITE_ERROR;
            bool pastDeadline = std::chrono::steady_clock::now() >= deadline;
            if (request.large && broken && !lastTry && !pastDeadline) {
                sink.Keep();
                return false;
            }
            return fail(why, !request.large);
        }
        if (!sink.Flush()) return fail("cannot write the file", true);
        a.mismatch = request.expectedSize && sink.Size() > *request.expectedSize;
        if (request.expectedSize && sink.Size() != *request.expectedSize)
            return fail("received " + std::to_string(sink.Size()) + " of " +
                            std::to_string(*request.expectedSize) + " bytes",
                        sink.Size() > *request.expectedSize);
        if (total != 0 && sink.Size() != total) return fail("the answer ended short", false);
        a.mismatch = !request.expectedSha256.empty() && sink.Sha256() != request.expectedSha256;
        if (a.mismatch) return fail("the file's SHA-256 differs from the expected one", true);
        if (!sink.Commit()) return fail("cannot write the file", true);
        {
            std::lock_guard guard(lock);
            body = sink.Body();
        }
        received = sink.Size();
        Finish({TransferState::Succeeded, status, {}, false});
        return true;
    }

    void Run() {
        Sink sink(request);
        auto deadline =
            std::chrono::steady_clock::now() +
            std::chrono::seconds(request.large ? limits.largeDeadlineSeconds : limits.smallDeadlineSeconds);
        int tries = request.large ? limits.largeRetries + 1 : 1;
        long delay = limits.retryDelayMs;
        for (int attempt = 0; attempt < tries; ++attempt) {
            if (RunAttempt(sink, deadline, attempt + 1 == tries)) return;
            std::unique_lock guard(lock);
            if (changed.wait_for(guard, std::chrono::milliseconds(delay), [this] { return cancel.load(); }))
                break;
            delay *= 2;
        }
        Finish({TransferState::Cancelled, 0, "cancelled", false});
    }
};

Transfer::Transfer(const HttpSession& session, TransferRequest request) : m_impl(std::make_unique<Impl>()) {
    m_impl->request = std::move(request);
    m_impl->userAgent = session.UserAgent();
    if (m_impl->multi.handle == nullptr) {
        m_impl->Finish({TransferState::Failed, 0, "no transfer handle", false});
        return;
    }
    m_impl->worker = std::thread([impl = m_impl.get()] { impl->Run(); });
}

Transfer::~Transfer() {
    Cancel();
    if (m_impl->worker.joinable()) m_impl->worker.join();
}

bool Transfer::Finished() const { return m_impl->finished; }
uint64_t Transfer::Received() const { return m_impl->received; }
uint64_t Transfer::Total() const { return m_impl->total; }

TransferResult Transfer::Result() const {
    std::lock_guard guard(m_impl->lock);
    return m_impl->result;
}

const std::string& Transfer::Body() const { return m_impl->body; }

void Transfer::Cancel() {
    {
        std::lock_guard guard(m_impl->lock);
        m_impl->cancel = true;
    }
    m_impl->changed.notify_all();
    if (m_impl->multi.handle != nullptr) curl_multi_wakeup(m_impl->multi.handle);
}

bool Transfer::Wait(std::chrono::milliseconds timeout) {
    std::unique_lock guard(m_impl->lock);
    return m_impl->changed.wait_for(guard, timeout, [this] { return m_impl->finished.load(); });
}

TransferResult Transfer::Run(const std::atomic<bool>* stop) {
    while (!Wait(std::chrono::milliseconds(100))) {
        if (stop != nullptr && *stop) Cancel();
    }
    return Result();
}

void RemoveStaleTransferFiles(const std::string& folder) {
    for (const FindData& entry : FindFiles(folder + "/*")) {
        if ((entry.attributes & (kAttrDirectory | kAttrReparsePoint)) != 0) continue;
        const std::string& name = entry.name;
        std::string path = folder + "/" + name;
        bool stale = IsLeftoverTemporary(name);
        if (name.ends_with(".part.info")) {
            stale = !FileExists(path.substr(0, path.size() - 5));
        } else if (name.ends_with(".part") && !stale) {
            stale = !FileExists(path + ".info");
        }
        if (stale) DeleteFile(path);
    }
}

}  // namespace platform
