#include "patcher/update_archive.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <span>
#include <string_view>
#include <vector>

#include "patcher/liza.h"
#include "platform/files.h"
#include "platform/large_buffer.h"

namespace {

// Lets go of the mapped pages the decoder is done with, so that unpacking an update of any size
// keeps only a few megabytes of it in the launcher's memory. The new file's pages stay in the page
// cache and reach the disk from there.
struct PageRelease {
    uint8_t* out;
    const uint8_t* in;
    size_t outReleased = 0;
    size_t inReleased = 0;

    static void Release(const uint8_t* base, size_t& released, size_t upTo) {
        const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
        upTo -= upTo % page;
        if (upTo <= released) return;
        ::madvise(const_cast<uint8_t*>(base) + released, upTo - released, MADV_DONTNEED);
        released = upTo;
    }
    static void Report(void* context, size_t produced, size_t consumed) {
        auto* self = static_cast<PageRelease*>(context);
        if (produced > kLizaWindow) Release(self->out, self->outReleased, produced - kLizaWindow);
        Release(self->in, self->inReleased, consumed);
    }
};

constexpr size_t kReleaseEvery = size_t{8} << 20;
constexpr size_t kCopyBlock = size_t{1} << 20;

// The unpacked content takes the archive's name in one step: there is never a moment without an
// Update.dat.
UnpackOutcome MoveIntoPlace(const std::string& unpackedPath, const std::string& archivePath) {
    if (!platform::MoveFile(unpackedPath, archivePath, true)) {
        platform::DeleteFile(unpackedPath);
        return UnpackOutcome::CannotWrite;
    }
    return UnpackOutcome::Unpacked;
}

// Copies size bytes from offset of the file at path to the end of out, a megabyte at a time.
bool CopyRange(const std::string& path, uint64_t offset, uint64_t size, platform::AtomicFile& out) {
    int in = ::open(platform::NativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    std::vector<char> buffer(kCopyBlock);
    bool ok = true;
    while (size > 0 && ok) {
        ssize_t n =
            ::pread(in, buffer.data(), std::min<uint64_t>(buffer.size(), size), static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0 && out.Write(buffer.data(), static_cast<size_t>(n));
        offset += static_cast<uint64_t>(std::max<ssize_t>(n, 0));
        size -= static_cast<uint64_t>(std::max<ssize_t>(n, 0));
    }
    ::close(in);
    return ok;
}

}  // namespace

UnpackOutcome UnpackUpdateFile(const std::string& clientFolder, std::string* reason) {
    const std::string unpackedPath = clientFolder + "/" + "Updatez.dat";
    const std::string archivePath = clientFolder + "/" + "Update.dat";
    platform::MappedFile file(archivePath, false);
    std::span<const uint8_t> archive(file.data(), file.size());
    if (file.empty() || archive.size() < 4 || LizaLoad32(archive.data()) != kLizaMagic)
        return UnpackOutcome::NotLiza;
    LizaHeader header;
    if (LizaResult checked = LizaCheckContainer(archive, &header); !checked.ok) {
        if (reason) *reason = checked.reason;
        return UnpackOutcome::Damaged;
    }
    platform::AtomicFile out(unpackedPath);
    if (!out.IsOpen()) return UnpackOutcome::CannotWrite;
    if (header.codingFlag != 1) {
        // A stored payload is the content itself: it is copied file to file.
        if (!CopyRange(archivePath, kLizaHeaderSize, header.unpackedSize, out) || !out.Commit())
            return UnpackOutcome::CannotWrite;
        return MoveIntoPlace(unpackedPath, archivePath);
    }
    const size_t capacity = size_t{header.unpackedSize} + kLizaOutputSlack;
    // The room is taken on the disk before the content is written through the mapping: a full disk
    // is a failure here, never a fault in the middle of the decoding.
    if (::posix_fallocate(out.Descriptor(), 0, static_cast<off_t>(capacity)) != 0)
        return UnpackOutcome::CannotWrite;
    void* mapped = ::mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_SHARED, out.Descriptor(), 0);
    if (mapped == MAP_FAILED) return UnpackOutcome::NoMemory;
    PageRelease release{static_cast<uint8_t*>(mapped), archive.data()};
    const LizaProgress progress{kReleaseEvery, &PageRelease::Report, &release};
    LizaResult result =
        LizaUnpack(archive, std::span<uint8_t>(static_cast<uint8_t*>(mapped), capacity), &progress);
    ::munmap(mapped, capacity);
    if (!result.ok) {
        if (reason) *reason = result.reason;
        return UnpackOutcome::Damaged;
    }
    if (::ftruncate(out.Descriptor(), static_cast<off_t>(result.size)) != 0 || !out.Commit())
        return UnpackOutcome::CannotWrite;
    return MoveIntoPlace(unpackedPath, archivePath);
}

namespace {

std::string RecordText(const UpdateRecord& record, uint64_t updateSize) {
    return record.archiveName + "\n" + std::to_string(record.archiveSize) + "\n" + record.fromVersion + "\n" +
           std::to_string(updateSize) + "\n";
}

std::string RecordPath(const std::string& clientFolder) { return clientFolder + "/" + "Update.ok"; }

}  // namespace

bool WriteUpdateRecord(const std::string& clientFolder, const UpdateRecord& record) {
    auto size = platform::FileSize(clientFolder + "/" + "Update.dat");
    return size && platform::WriteFileAtomic(RecordPath(clientFolder), RecordText(record, *size));
}

bool UpdateIsReady(const std::string& clientFolder, const UpdateRecord& record) {
    auto size = platform::FileSize(clientFolder + "/" + "Update.dat");
    if (!size || record.archiveName.empty()) return false;
    auto kept = platform::ReadFile(RecordPath(clientFolder), 4096);
    return kept && *kept == RecordText(record, *size);
}

void ForgetUpdateRecord(const std::string& clientFolder) { platform::DeleteFile(RecordPath(clientFolder)); }
