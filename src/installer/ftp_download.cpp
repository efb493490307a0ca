#include "installer/ftp_download.h"

#include <cinttypes>
#include <cstdio>

CFTPDownload::CFTPDownload() { m_queue.reserve(16); }

CFTPDownload::~CFTPDownload() {
    // The worker writes to the object up to its last step: it is stopped and joined, never left
    // running after the window that polled it has gone.
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
}

bool CFTPDownload::AddAndStart(const DownloadItem& item) {
    if (IsBusy()) return false;
    {
        std::lock_guard lock(m_lock);
        m_queue.push_back(item);
    }
    Start();
    return true;
}

bool CFTPDownload::Start() {
    if (IsBusy()) return false;
    // A worker that finished the previous queue is joined before the next one starts.
    if (m_thread.joinable()) m_thread.join();
    {
        std::lock_guard lock(m_lock);
        m_busy = true;
        m_done = false;
    }
    m_thread = std::thread(&CFTPDownload::WorkerEntry, this);
    return true;
}

void CFTPDownload::WorkerEntry(CFTPDownload* self) {
    bool ok = self->RunQueue();
    std::lock_guard lock(self->m_lock);
    self->m_done = ok;
}

bool CFTPDownload::RunQueue() {
    for (size_t i = 0;; ++i) {
        platform::TransferRequest request;
        {
            std::lock_guard lock(m_lock);
            if (i >= m_queue.size()) break;
            const DownloadItem& item = m_queue[i];
            request.url = item.baseUrl + "/" + item.remoteDir + "/" + item.fileName;
            request.path = item.localDir + "/" + item.fileName;
            request.large = item.large;
            request.maxBytes = item.maxBytes;
            request.maxBytesPerSecond = item.maxBytesPerSecond;
            request.expectedSize = item.expectedSize;
            request.expectedSha256 = item.expectedSha256;
            m_currentName = item.fileName;
            m_currentPath = request.path;
        }
        platform::Transfer transfer(m_session, request);
        uint64_t reported = UINT64_MAX;
        while (!transfer.Wait(std::chrono::milliseconds(100))) {
            if (m_stop) transfer.Cancel();
            if (transfer.Received() != reported) {
                reported = transfer.Received();
                OnProgress(reported, transfer.Total());
            }
        }
        platform::TransferResult result = transfer.Result();
        if (result.state == platform::TransferState::Succeeded)
            OnProgress(transfer.Received(), transfer.Received());
        std::lock_guard lock(m_lock);
        m_busy = false;
        m_queue[i].result = result;
    }
    return true;
}

void CFTPDownload::OnProgress(uint64_t progress, uint64_t maximum) {
    std::printf("Callback : %s : %" PRId64 ", %" PRId64 "\n", "CFTPDownload::OnProgress",
                static_cast<int64_t>(progress), static_cast<int64_t>(maximum));
    std::lock_guard lock(m_lock);
    if (maximum != 0) m_percent = static_cast<double>(progress) / static_cast<double>(maximum) * 100.0;
}

// The polls take the lock when they can and read the flag either way, so the window's timer never
// waits for the worker.
bool CFTPDownload::IsBusy() {
    std::unique_lock lock(m_lock, std::try_to_lock);
    return m_busy;
}

bool CFTPDownload::IsDone() {
    std::unique_lock lock(m_lock, std::try_to_lock);
    return m_done;
}

double CFTPDownload::GetPercent() {
    std::lock_guard lock(m_lock);
    return m_percent;
}

std::pair<std::string, std::string> CFTPDownload::GetCurrentFile() {
    std::lock_guard lock(m_lock);
    return {m_currentName, m_currentPath};
}

void CFTPDownload::ClearQueue() {
    std::lock_guard lock(m_lock);
    m_queue.clear();
}

bool CFTPDownload::AllSucceeded() {
    std::lock_guard lock(m_lock);
    for (const DownloadItem& item : m_queue) {
        if (item.result.state != platform::TransferState::Succeeded) return false;
    }
    return true;
}

bool CFTPDownload::AnyUnverified() {
    std::lock_guard lock(m_lock);
    for (const DownloadItem& item : m_queue) {
        if (item.result.unverified) return true;
    }
    return false;
}
