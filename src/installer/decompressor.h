// CDecompressor: unpacks a zip archive into a folder on a worker thread and counts the uncompressed
// bytes written, for the window's progress bar. Every entry lands below the destination folder.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

class CDecompressor {
public:
    CDecompressor() = default;
    virtual ~CDecompressor();
    CDecompressor(const CDecompressor&) = delete;
    CDecompressor& operator=(const CDecompressor&) = delete;

    // Measures the archive and starts the worker; false, with no worker, when the archive cannot be
    // opened (IsDone then stays false).
    bool Start(const std::string& archivePath, const std::string& destFolder);
    bool IsDone();
    double GetPercent();
    std::string GetArchivePath() const { return m_archivePath; }
    // After the worker ended: whether every entry was unpacked.
    bool Succeeded();

    // The worker's body: 0 when every entry was unpacked, -1 when the archive is damaged or an entry
    // would land outside the destination.
    int Extract();

private:
    static void WorkerEntry(CDecompressor* self);

    std::thread m_thread;
    std::mutex m_lock;
    bool m_done = true;
    int m_result = 0;
    std::string m_archivePath;
    std::string m_destFolder;
    uint64_t m_totalBytes = 0;
    uint64_t m_writtenBytes = 0;
};

uint64_t SumUncompressedSizes(const std::string& archivePath);
// Creates the folders of a file or folder path; a last part without a "." counts as a folder.
void MakeDirectories(const std::string& path);
bool MakeDirectoryIfAbsent(const std::string& path);
// Whether an entry name stays below the destination: not absolute, no ".." part, no drive.
bool IsSafeEntryName(const std::string& name);
