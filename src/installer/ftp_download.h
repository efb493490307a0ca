// CFTPDownload: a queue of HTTP(S) downloads to local files on a worker thread. The window only polls
// it; the polls of the busy and done flags never wait for the worker.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/http.h"

struct DownloadItem {
    std::string baseUrl;    // scheme and host, no trailing "/"
    std::string remoteDir;  // below the base URL, no leading or trailing "/"
    std::string fileName;   // the same remotely and locally
    std::string localDir = ".";
    platform::DownloadResult result;  // how the item's download ended
};

class CFTPDownload {
public:
    CFTPDownload();
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
    std::thread m_thread;
    std::vector<DownloadItem> m_queue;
    platform::HttpSession m_session{"InetURL/1.0"};
};
