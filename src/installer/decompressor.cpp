#include "installer/decompressor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unzip.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "platform/files.h"

namespace {

constexpr size_t kReadSize = 8192;
constexpr size_t kNameBuffer = 256;

struct ZipCloser {
    void operator()(void* zip) const { unzClose(zip); }
};
using ZipFile = std::unique_ptr<void, ZipCloser>;

// The parts between separators of either kind; a trailing separator gives no empty last part.
std::vector<std::string> Parts(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '/' || c == '\\') {
            parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(part);
    return parts;
}

// True when no folder on the way from dest to the entry's place, nor the place itself, is a link: a
// link in the client folder must not carry an entry out of it.
bool StaysInside(const std::string& dest, const std::string& name) {
    std::string path = platform::NativePath(dest);
    for (const std::string& part : Parts(name)) {
        if (part.empty()) continue;
        path += "/" + part;
        struct stat st;
        if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) return false;
    }
    return true;
}

// An entry made on Unix carries its mode in the high half of its external attributes; the game
// programs need their executable bits on Linux. Other entries keep the default mode.
void ApplyUnixMode(FILE* out, const unz_file_info64& info) {
    constexpr uLong kMadeOnUnix = 3;
    mode_t mode = static_cast<mode_t>(info.external_fa >> 16);
    if ((info.version >> 8) != kMadeOnUnix || !S_ISREG(mode)) return;
    ::fchmod(::fileno(out), (mode & 0755) | S_IRUSR | S_IWUSR);
}

}  // namespace

CDecompressor::~CDecompressor() {
    if (m_thread.joinable()) m_thread.join();
}

bool CDecompressor::Start(const std::string& archivePath, const std::string& destFolder) {
    if (m_thread.joinable()) m_thread.join();
    {
        std::lock_guard lock(m_lock);
        m_done = false;
        m_result = 0;
        m_destFolder = destFolder;
    }
    m_archivePath = archivePath;
    FILE* file = std::fopen(platform::NativePath(archivePath).c_str(), "rb");
    if (file == nullptr) {
        std::fprintf(stderr, "%s\n", archivePath.c_str());
        return false;
    }
    std::fclose(file);
    m_totalBytes = SumUncompressedSizes(archivePath);
    m_writtenBytes = 0;
    m_thread = std::thread(&CDecompressor::WorkerEntry, this);
    return true;
}

void CDecompressor::WorkerEntry(CDecompressor* self) {
    int result = self->Extract();
    std::lock_guard lock(self->m_lock);
    self->m_result = result;
    self->m_done = true;
}

int CDecompressor::Extract() {
    std::string dest;
    {
        std::lock_guard lock(m_lock);
        dest = m_destFolder;
    }
    ZipFile zip(unzOpen64(platform::NativePath(m_archivePath).c_str()));
    if (!zip) return -1;
    if (unzGoToFirstFile(zip.get()) != UNZ_OK) return -1;
    std::vector<char> buffer(kReadSize);
    for (;;) {
        unz_file_info64 info;
        char name[kNameBuffer + 1] = {};
        // A name that does not fit the buffer cannot be placed safely: the archive is refused.
        if (unzGetCurrentFileInfo64(zip.get(), &info, name, kNameBuffer + 1, nullptr, 0, nullptr, 0) !=
            UNZ_OK)
            return -1;
        if (info.size_filename >= kNameBuffer) return -1;
        std::string entry(name, info.size_filename);
        if (!IsSafeEntryName(entry) || !StaysInside(dest, entry)) return -1;
        if (unzOpenCurrentFile(zip.get()) != UNZ_OK) return -1;
        std::string output = dest + "\\" + entry;
        MakeDirectories(output);
        FILE* out = std::fopen(platform::NativePath(output).c_str(), "wb");
        for (;;) {
            int n = unzReadCurrentFile(zip.get(), buffer.data(), static_cast<unsigned>(buffer.size()));
            if (n < 0) {
                if (out != nullptr) std::fclose(out);
                unzCloseCurrentFile(zip.get());
                return -1;
            }
            if (n == 0) break;
            if (out != nullptr) std::fwrite(buffer.data(), 1, static_cast<size_t>(n), out);
            std::lock_guard lock(m_lock);
            m_writtenBytes += static_cast<uint64_t>(n);
        }
        if (out != nullptr) {
            ApplyUnixMode(out, info);
            std::fclose(out);
        }
        unzCloseCurrentFile(zip.get());
        if (unzGoToNextFile(zip.get()) != UNZ_OK) return 0;
    }
}

bool CDecompressor::IsDone() {
    std::lock_guard lock(m_lock);
    return m_done;
}

bool CDecompressor::Succeeded() {
    std::lock_guard lock(m_lock);
    return m_done && m_result == 0;
}

double CDecompressor::GetPercent() {
    std::lock_guard lock(m_lock);
    if (m_totalBytes == 0) return 0.0;
    return static_cast<double>(m_writtenBytes) * 100.0 / static_cast<double>(m_totalBytes);
}

uint64_t SumUncompressedSizes(const std::string& archivePath) {
    ZipFile zip(unzOpen64(platform::NativePath(archivePath).c_str()));
    if (!zip) {
        std::printf("Could not open ZIP file: %s\n", archivePath.c_str());
        return 0;
    }
    if (unzGoToFirstFile(zip.get()) != UNZ_OK) {
        std::printf("Could not read first file in ZIP\n");
        return 0;
    }
    uint64_t sum = 0;
    do {
        unz_file_info64 info;
        char name[kNameBuffer] = {};
        if (unzGetCurrentFileInfo64(zip.get(), &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK) {
            std::printf("Could not read file info\n");
            return sum;
        }
        sum += info.uncompressed_size;
    } while (unzGoToNextFile(zip.get()) == UNZ_OK);
    return sum;
}

void MakeDirectories(const std::string& path) {
    std::vector<std::string> parts = Parts(path);
    if (!parts.empty() && parts.back().find('.') != std::string::npos) parts.pop_back();
    std::string prefix;
    for (const std::string& p : parts) {
        prefix += p + "/";
        MakeDirectoryIfAbsent(prefix);
    }
}

bool MakeDirectoryIfAbsent(const std::string& path) {
    struct stat st;
    if (::stat(platform::NativePath(path).c_str(), &st) == 0) return false;
    return ::mkdir(platform::NativePath(path).c_str(), 0755) == 0;
}

bool IsSafeEntryName(const std::string& name) {
    if (name.empty() || name.front() == '/' || name.front() == '\\') return false;
    if (name.size() >= 2 && name[1] == ':') return false;
    for (const std::string& part : Parts(name)) {
        if (part == "..") return false;
    }
    return true;
}
