#include "core/starter_refresh.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/files.h"
#include "platform/release_trust.h"
#include "platform/resources.h"
#include "platform/signatures.h"
#include "platform/transfer.h"
#include "settings/config_files.h"

namespace {

// A record whose block size cannot be used to read the file still carries a usable sum: the file is
// then summed in blocks of this size.
constexpr int32_t kFallbackBlockSize = 4096;
// The record is 12 bytes; the starter is a program of a few megabytes. Anything far larger is not
// what the server should send.
constexpr uint64_t kRecordMax = 1024;
constexpr uint64_t kStarterMax = uint64_t{256} << 20;
constexpr const char* kStarterFolder = "orl/KOR/Starter";

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

std::string StarterBaseUrl() { return platform::UpdateHostRoot() + "/" + kStarterFolder; }

void RefreshStarter(const std::atomic<bool>* stop) {
    std::string working = platform::GetCurrentDirectory();
    if (!StarterEnabled(working)) return;
    std::string starter = working + "\\" + "VelmoraORL.exe";
    std::string base = StarterBaseUrl();
    platform::HttpSession session("InetURL/1.0");

    // With a publisher's key to trust, the starter folder's signed manifest names what may come.
    platform::CReleaseTrust trust;
    std::vector<std::string> keys = platform::TrustedKeys();
    if (!keys.empty()) {
        platform::ManifestOutcome outcome =
            trust.FetchAndCheck(session, base, keys, "starter", working + "/" + "orl-release.ini", stop);
        if (outcome != platform::ManifestOutcome::Verified) {
            std::fprintf(stderr, "VelmoraORL.exe: the starter folder's signed manifest was refused (%d)\n",
                         static_cast<int>(outcome));
            return;
        }
    }
    auto request = [&](const std::string& name, platform::TransferRequest r) {
        r.url = base + "/" + name;
        if (const platform::ManifestFile* expected =
                trust.Expected(std::string(kStarterFolder) + "/" + name)) {
            r.expectedSize = expected->size;
            r.expectedSha256 = expected->sha256;
        }
        return r;
    };
    bool signedStarter = trust.Expected(std::string(kStarterFolder) + "/" + "VelmoraORL.exe") != nullptr;
    if (trust.Verified() && !signedStarter) return;

    bool haveRecord = false;
    ChecksumRecord record;
    if (platform::FileExists(starter) &&
        (!trust.Verified() || trust.Expected(std::string(kStarterFolder) + "/" + "checksumdata.csd"))) {
        platform::Transfer fetch(session, request("checksumdata.csd", {.maxBytes = kRecordMax}));
        if (fetch.Run(stop).state == platform::TransferState::Succeeded && fetch.Body().size() == 12) {
            const char* answer = fetch.Body().data();
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
    if (stop != nullptr && *stop) return;

    // The new starter arrives beside the old one and replaces it only when it is whole and, when the
    // server sent a record, carries the recorded sum: a broken download never costs the player the
    // starter that works.
    std::string download = starter + ".download";
    platform::Transfer fetch(
        session, request("VelmoraORL.exe", {.path = download, .maxBytes = kStarterMax, .large = true}));
    platform::TransferResult result = fetch.Run(stop);
    if (result.unverified) std::fprintf(stderr, "VelmoraORL.exe: not the file the publisher signed\n");
    if (result.state != platform::TransferState::Succeeded) return;
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
