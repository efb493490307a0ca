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
