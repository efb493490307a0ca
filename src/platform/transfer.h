// Transfers over HTTP(S) on libcurl: every fetch of the launcher is a request, a sink (memory with a
// hard cap, or a file written beside its target and renamed into place) and validators that can
// refuse the result (the final answer's status, the announced size, an expected SHA-256). Each
// transfer runs on a worker thread of its own; its owner only looks at its state, so the window's
// thread never waits on the network. Certificates and host names are always verified; ORL_CA_BUNDLE
// names extra certificate authorities to trust beside the system's. A request that began on https
// is never redirected to anything else. Nothing is cached.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace platform {

// The bounds every request lives within. A transfer that moves fewer than stallBytesPerSecond for
// stallSeconds has stalled. Small answers (texts, records, indexes) end at smallDeadlineSeconds,
// large files (archives, the starter) at largeDeadlineSeconds; a large file whose connection
// stalls or breaks is tried again up to largeRetries times, waiting retryDelayMs, then twice that.
struct TransferLimits {
    long connectSeconds = 15;
    long stallBytesPerSecond = 100;
    long stallSeconds = 30;
    long smallDeadlineSeconds = 60;
    long largeDeadlineSeconds = 24 * 3600;
    int largeRetries = 3;
    long retryDelayMs = 2000;
};
void SetTransferLimits(const TransferLimits& limits);
TransferLimits GetTransferLimits();

class HttpSession {
public:
    explicit HttpSession(std::string userAgent);
    const std::string& UserAgent() const { return m_userAgent; }

private:
    std::string m_userAgent;
};

struct TransferRequest {
    std::string url{};
    // Where the body goes: memory when empty, else this file. A file arrives under a temporary name
    // beside it and takes its name only when every validator passed.
    std::string path{};
    // The most bytes the body may have; more fails the transfer at once. Required for memory.
    uint64_t maxBytes = 0;
    // A large file: the long deadline and the retries apply, and its partial file stays beside the
    // target (as target + ".part", with the server's validators in target + ".part.info"), so a later
    // transfer of the same URL to the same target continues it with a range request.
    bool large = false;
    std::optional<uint64_t> expectedSize{};
    std::string expectedSha256{};    // lower-case hex; empty when not known
    uint64_t maxBytesPerSecond = 0;  // 0: no cap
};

enum class TransferState { Running, Succeeded, Failed, Cancelled };

struct TransferResult {
    TransferState state = TransferState::Running;
    long status = 0;        // the final answer's HTTP status, 0 when none arrived
    std::string error;      // a short reason when not succeeded
    bool diskFull = false;  // the file could not be written for want of space
    // The answer is not the file a signed release names: another size or another SHA-256.
    bool unverified = false;
};

// The names of a large file's partial download and its record.
std::string PartialPath(const std::string& target);
std::string PartialRecordPath(const std::string& target);

class Transfer {
public:
    // Starts the request on a worker at once.
    Transfer(const HttpSession& session, TransferRequest request);
    // Stops the worker (within a second) and joins it. A large file's partial stays for later.
    ~Transfer();
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    bool Finished() const;
    // Bytes of the body in place so far (a resumed part included) and the body's whole size when
    // the server announced it, else 0.
    uint64_t Received() const;
    uint64_t Total() const;
    // How the transfer ended; state Running while it runs.
    TransferResult Result() const;
    // The body of a finished memory transfer.
    const std::string& Body() const;

    void Cancel();
    // Waits up to timeout for the end; true when it has ended.
    bool Wait(std::chrono::milliseconds timeout);
    // Waits for the end, cancelling when *stop turns true; returns the result.
    TransferResult Run(const std::atomic<bool>* stop = nullptr);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Removes, in folder, the temporaries and partial downloads of earlier runs that cannot be
// continued: the launcher's temporaries, numbered parts of earlier launchers, and partial files
// without their record (or records without their part). Partials with records stay.
void RemoveStaleTransferFiles(const std::string& folder);

}  // namespace platform
