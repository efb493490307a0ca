// File-system services with the outcomes the launcher's logic expects: every call accepts both "\" and
// "/" as separators, deleting a folder as a file fails, a folder goes only when it is empty.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

inline constexpr uint32_t kAttrReadOnly = 0x01;
inline constexpr uint32_t kAttrDirectory = 0x10;
inline constexpr uint32_t kAttrArchive = 0x20;
inline constexpr uint32_t kAttrReparsePoint = 0x400;
inline constexpr uint32_t kInvalidAttributes = 0xFFFFFFFF;

// One entry of a folder search: the name without its folder, the attribute word, the size in bytes
// (0 for folders) and the time of the last change.
struct FindData {
    std::string name;
    uint32_t attributes = 0;
    uint64_t size = 0;
    std::time_t lastWrite = 0;
};

// The path with every "\" turned into "/".
std::string NativePath(std::string_view path);

// The attribute word of the entry at path, kInvalidAttributes when there is none. A symbolic link
// carries kAttrReparsePoint, so a walker that enters only plain folders never follows one.
uint32_t GetFileAttributes(std::string_view path);
bool PathIsDirectory(std::string_view path);
bool FileExists(std::string_view path);

bool DeleteFile(std::string_view path);
bool RemoveDirectory(std::string_view path);
bool CreateDirectory(std::string_view path);
// Copies a regular file through a temporary beside the destination, so the destination is either the
// old file or the whole new one.
bool CopyFile(std::string_view source, std::string_view destination, bool failIfExists);
bool MoveFile(std::string_view source, std::string_view destination, bool replaceExisting);

// The entries matching pattern, whose last component may hold "*" and "?" ("*.*" matches every name,
// as it does for the player's Windows tools). "." and ".." are listed like any entry when they
// match. Entries come sorted by name so every run walks a folder in the same order.
std::vector<FindData> FindFiles(std::string_view pattern);
bool WildcardMatch(std::string_view pattern, std::string_view name);

// The process's working folder without a trailing separator, of any length up to PATH_MAX; empty
// when it cannot be read.
std::string GetCurrentDirectory();

std::optional<std::string> ReadFile(std::string_view path, size_t maxBytes = SIZE_MAX);

// A file written beside its target under a temporary name and renamed into place by Commit. The data
// reaches the disk before the name does, so a kill or a power cut leaves the old file or the whole
// new one, never a part. Without a Commit the temporary goes when the object does.
class AtomicFile {
public:
    // mode applies to a new file; a file that is replaced keeps its own mode.
    explicit AtomicFile(std::string_view target, unsigned mode = 0644);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    // The temporary's descriptor, for writers that size or map it themselves.
    int Descriptor() const { return m_fd; }
    bool Write(const void* data, size_t size);
    // Syncs, closes and renames the temporary over the target; false, with the target as it was,
    // when any step or an earlier write failed.
    bool Commit();
    // The errno of the first failure, 0 while none happened (ENOSPC when the disk is full).
    int Error() const { return m_error; }

private:
    bool Fail();
    std::string m_target;
    std::string m_temp;
    int m_fd = -1;
    int m_error = 0;
    bool m_committed = false;
};

// Writes data to a temporary beside path and renames it into place (see AtomicFile).
bool WriteFileAtomic(std::string_view path, std::string_view data);
// Syncs the folder that holds path, so a rename into it survives a power cut.
void SyncParentFolder(std::string_view path);
// Whether name is a temporary that AtomicFile or an earlier launcher left beside a target.
bool IsLeftoverTemporary(std::string_view name);
std::optional<uint64_t> FileSize(std::string_view path);

// Free bytes for the calling user on the file system that holds path.
std::optional<uint64_t> FreeDiskSpace(std::string_view path);

}  // namespace platform
