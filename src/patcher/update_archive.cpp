#include "patcher/update_archive.h"

#include <string_view>

#include "patcher/liza.h"
#include "platform/files.h"
#include "platform/large_buffer.h"

namespace {

// The room the unpacking gives each of its buffers beyond the bytes they hold.
constexpr size_t kUnpackSlack = 65500;

}  // namespace

UnpackOutcome UnpackUpdateFile(const std::string& clientFolder, std::string* reason) {
    const std::string unpackedPath = clientFolder + "/" + "Updatez.dat";
    const std::string archivePath = clientFolder + "/" + "Update.dat";
    platform::MappedFile file(archivePath);
    std::span<const uint8_t> archive(file.data(), file.size());
    if (file.empty() || archive.size() < 4 || LizaLoad32(archive.data()) != kLizaMagic)
        return UnpackOutcome::NotLiza;
    const size_t unpacked = LizaGetUnpackedSize(archive);
    const size_t capacity = unpacked + kUnpackSlack;
    platform::LargeBuffer out(capacity);
    if (out.empty()) return UnpackOutcome::NoMemory;
    LizaResult result = LizaUnpack(archive, std::span<uint8_t>(out.data(), capacity));
    if (!result.ok) {
        if (reason) *reason = result.reason;
        return UnpackOutcome::Damaged;
    }
    if (!platform::WriteFileAtomic(unpackedPath,
                                   std::string_view(reinterpret_cast<const char*>(out.data()), result.size)))
        return UnpackOutcome::CannotWrite;
    // The unpacked content takes the archive's name in one step: there is never a moment without
    // an Update.dat.
    if (!platform::MoveFile(unpackedPath, archivePath, true)) {
        platform::DeleteFile(unpackedPath);
        return UnpackOutcome::CannotWrite;
    }
    return UnpackOutcome::Unpacked;
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
