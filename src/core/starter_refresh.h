// The starter refresh: at every start, the starter program "VelmoraORL.exe" in the working folder is
// compared with the update server's byte-sum record and downloaded again when it differs or is missing.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

// The 12-byte record "checksumdata.csd": a block size (signed 32-bit) and the byte sum of the server's
// starter (unsigned 64-bit), little-endian.
struct ChecksumRecord {
    int32_t blockSize = 0;
    uint64_t byteSum = 0;

    // Sums every byte of the file, read in blocks of blockSize; false when it cannot be opened.
    bool ComputeFileByteSum(const std::string& path);
};

// The update host's starter folder URL: the host root and "/orl/KOR/Starter".
std::string StarterBaseUrl();

// Runs on a worker of the application while the window is up; it ends early when *stop turns true.
void RefreshStarter(const std::atomic<bool>* stop = nullptr);
