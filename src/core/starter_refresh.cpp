#include "core/starter_refresh.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/files.h"
#include "platform/http.h"
#include "platform/resources.h"
#include "settings/config_files.h"

namespace {

// A record whose block size cannot be used to read the file still carries a usable sum: the file is
// then summed in blocks of this size.
constexpr int32_t kFallbackBlockSize = 4096;

}  // namespace

bool ChecksumRecord::ComputeFileByteSum(const std::string& path) {
    FILE* file = std::fopen(platform::NativePath(path).c_str(), "rb");
    if (file == nullptr) {
        std::fprintf(stderr, "Could not open the file!\n");
        return false;
    }
    size_t block = static_cast<size_t>(blockSize > 0 ? blockSize : kFallbackBlockSize);
    std::vector<unsigned char> buffer(block, 0);
    uint64_t sum = 0;
    for (;;) {
        size_t n = std::fread(buffer.data(), 1, block, file);
        std::printf("ReadByteCount : %d\n", static_cast<int>(n));
        for (size_t i = 0; i < n; ++i) sum += buffer[i];
        if (n < block) break;
    }
    std::fclose(file);
    byteSum = sum;
    return true;
}

std::string StarterBaseUrl() { return platform::UpdateHostRoot() + "/orl/KOR/Starter"; }

void RefreshStarter() {
    std::string working = platform::GetCurrentDirectory();
    if (!StarterEnabled(working)) return;
    std::string starter = working + "\\" + "VelmoraORL.exe";
    std::string base = StarterBaseUrl();
    platform::HttpSession session("InetURL/1.0");

    bool haveRecord = false;
    ChecksumRecord record;
    if (platform::FileExists(starter)) {
        char answer[1024] = {};
        long n = 0;
        if (auto stream = platform::HttpStream::Open(session, base + "/" + "checksumdata.csd")) {
            n = stream->Read(answer, sizeof answer);
        }
        if (n == 12) {
            haveRecord = true;
            std::memcpy(&record.blockSize, answer, 4);
            uint32_t low, high;
            std::memcpy(&low, answer + 4, 4);
            std::memcpy(&high, answer + 8, 4);
            record.byteSum = (static_cast<uint64_t>(high) << 32) | low;
            ChecksumRecord local{record.blockSize, 0};
            if (local.ComputeFileByteSum(starter) && local.byteSum == record.byteSum) return;
        }
    }

    // The new starter arrives beside the old one and replaces it only when it is whole and, when the
    // server sent a record, carries the recorded sum: a broken download never costs the player the
    // starter that works.
    std::string download = starter + ".download";
    if (!platform::DownloadToFile(session, base + "/" + "VelmoraORL.exe", download).ok) return;
    if (haveRecord) {
        ChecksumRecord fetched{record.blockSize, 0};
        if (!fetched.ComputeFileByteSum(download) || fetched.byteSum != record.byteSum) {
            platform::DeleteFile(download);
            return;
        }
    }
    ::chmod(platform::NativePath(download).c_str(), 0755);
    if (!platform::MoveFile(download, starter, true)) platform::DeleteFile(download);
}
