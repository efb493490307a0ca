// CFTPDownload: a queue of HTTP(S) downloads to local files on a worker thread. The window only polls
// it; the polls of the busy and done flags never wait for the worker.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/transfer.h"

struct DownloadItem {
    std::string baseUrl;    // scheme and host, no trailing "/"
    std::string remoteDir;  // below the base URL, no leading or trailing "/"
    std::string fileName;   // the same remotely and locally
    std::string localDir = ".";
    // A large item (the client archive) keeps its partial file for a later resume; a small one (the
    // index) is capped at maxBytes.
    bool large = true;
    uint64_t maxBytes = 0;
    uint64_t maxBytesPerSecond = 0;  // 0: no cap
    // What a signed release names: the file must have exactly this size and SHA-256.
    std::optional<uint64_t> expectedSize{};
    std::string expectedSha256{};
    platform::TransferResult result{};  // how the item's download ended
};

class CFTPDownload {
public:
    CFTPDownload();
    // Stops a running download (what arrived of a large item stays for a resume) and joins it.
    virtual ~CFTPDownload();
    CFTPDownload(const CFTPDownload&) = delete;
    CFTPDownload& operator=(const CFTPDownload&) = delete;

    // Appends item and starts the worker; false, with nothing appended, while a download runs.
    bool AddAndStart(const DownloadItem& item);
    bool IsBusy();
    bool IsDone();
    double GetPercent();
    // The name and the local file of the item downloaded now or last.
    std::pair<std::string, std::string> GetCurrentFile();
    // Only while no worker runs.
    void ClearQueue();
    // Whether every item of the finished queue arrived whole with a good status.
    bool AllSucceeded();
    // Whether an item of the finished queue was not the file its signed release names.
    bool AnyUnverified();

    // Progress of the current file: bytes received and announced (0 when unknown).
    void OnProgress(uint64_t progress, uint64_t maximum);

protected:
    virtual bool RunQueue();

private:
    bool Start();
    static void WorkerEntry(CFTPDownload* self);

    std::mutex m_lock;
    // Atomic because the polls may read them without the lock.
    std::atomic<bool> m_busy = false;
    std::string m_currentName;
    std::string m_currentPath;
    double m_percent = 0.0;
    std::atomic<bool> m_done = true;
    std::atomic<bool> m_stop = false;
    std::thread m_thread;
    std::vector<DownloadItem> m_queue;
    platform::HttpSession m_session{"InetURL/1.0"};
};
