#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <random>

namespace platform {
namespace {

std::string TempNameBeside(const std::string& path) {
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    char suffix[32];
    snprintf(suffix, sizeof suffix, ".orl-%016llx.tmp", static_cast<unsigned long long>(rng()));
    return path + suffix;
}

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

uint32_t AttributesOf(const struct stat& st) {
    uint32_t attributes = S_ISDIR(st.st_mode) ? kAttrDirectory : kAttrArchive;
    if ((st.st_mode & S_IWUSR) == 0) attributes |= kAttrReadOnly;
    return attributes;
}

bool HasWildcard(std::string_view text) { return text.find_first_of("*?") != std::string_view::npos; }

}  // namespace

std::string NativePath(std::string_view path) {
    std::string native(path);
    std::replace(native.begin(), native.end(), '\\', '/');
    return native;
}

uint32_t GetFileAttributes(std::string_view path) {
    std::string native = NativePath(path);
    struct stat st;
    if (::lstat(native.c_str(), &st) != 0) return kInvalidAttributes;
    if (S_ISLNK(st.st_mode)) {
        struct stat target;
        uint32_t attributes = kAttrReparsePoint;
        if (::stat(native.c_str(), &target) == 0) attributes |= AttributesOf(target) & kAttrDirectory;
        return attributes;
    }
    return AttributesOf(st);
}

bool PathIsDirectory(std::string_view path) {
    struct stat st;
    return ::stat(NativePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(std::string_view path) {
    struct stat st;
    return ::stat(NativePath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DeleteFile(std::string_view path) {
    std::string native = NativePath(path);
    struct stat st;
    if (::lstat(native.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    return ::unlink(native.c_str()) == 0;
}

bool RemoveDirectory(std::string_view path) { return ::rmdir(NativePath(path).c_str()) == 0; }

bool CreateDirectory(std::string_view path) { return ::mkdir(NativePath(path).c_str(), 0755) == 0; }

bool CopyFile(std::string_view source, std::string_view destination, bool failIfExists) {
    std::string from = NativePath(source);
    std::string to = NativePath(destination);
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    struct stat st;
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(in);
        return false;
    }
    struct stat existing;
    if (::lstat(to.c_str(), &existing) == 0 && (failIfExists || S_ISDIR(existing.st_mode))) {
        ::close(in);
        return false;
    }
    AtomicFile out(to, st.st_mode & 0777);
    bool ok = out.IsOpen();
    char buffer[1 << 16];
    while (ok) {
        ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        ok = out.Write(buffer, static_cast<size_t>(n));
    }
    ::close(in);
    return ok && out.Commit();
}

bool MoveFile(std::string_view source, std::string_view destination, bool replaceExisting) {
    std::string from = NativePath(source);
    std::string to = NativePath(destination);
    struct stat st;
    if (::lstat(from.c_str(), &st) != 0) return false;
    if (!replaceExisting)
        return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
    struct stat existing;
    if (::lstat(to.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) return false;
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool WildcardMatch(std::string_view pattern, std::string_view name) {
    // A trailing ".*" also matches a name without an extension, so "*.*" matches everything.
    if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" &&
        WildcardMatch(pattern.substr(0, pattern.size() - 2), name)) {
        return true;
    }
    size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

std::vector<FindData> FindFiles(std::string_view pattern) {
    std::string native = NativePath(pattern);
    std::string folder, leaf;
    size_t slash = native.rfind('/');
    if (slash == std::string::npos) {
        folder = ".";
        leaf = native;
    } else {
        folder = slash == 0 ? "/" : native.substr(0, slash);
        leaf = native.substr(slash + 1);
    }
    std::vector<FindData> found;
    auto describe = [&](const std::string& name) {
        std::string full = folder + "/" + name;
        struct stat st;
        if (::lstat(full.c_str(), &st) != 0) return;
        FindData entry;
        entry.name = name;
        entry.attributes = GetFileAttributes(full);
        entry.size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
        entry.lastWrite = st.st_mtime;
        found.push_back(std::move(entry));
    };
    if (leaf.empty()) return found;
    if (!HasWildcard(leaf)) {
        describe(leaf);
        return found;
    }
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return found;
    std::vector<std::string> names;
    while (struct dirent* entry = ::readdir(dir)) {
        if (WildcardMatch(leaf, entry->d_name)) names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) describe(name);
    return found;
}

std::string GetCurrentDirectory() {
    char buffer[PATH_MAX];
    if (::getcwd(buffer, sizeof buffer) == nullptr) return {};
    return buffer;
}

std::optional<std::string> ReadFile(std::string_view path, size_t maxBytes) {
    int fd = ::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    std::string data;
    char buffer[1 << 16];
    while (data.size() < maxBytes) {
        size_t want = std::min(sizeof buffer, maxBytes - data.size());
        ssize_t n = ::read(fd, buffer, want);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        data.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return data;
}

AtomicFile::AtomicFile(std::string_view target, unsigned mode) : m_target(NativePath(target)) {
    m_temp = TempNameBeside(m_target);
    struct stat st;
    if (::stat(m_target.c_str(), &st) == 0) mode = st.st_mode & 0777;
    m_fd = ::open(m_temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (m_fd < 0) m_error = errno;
}

AtomicFile::~AtomicFile() {
    if (m_fd >= 0) ::close(m_fd);
    if (!m_committed) ::unlink(m_temp.c_str());
}

bool AtomicFile::Fail() {
    if (m_error == 0) m_error = errno != 0 ? errno : EIO;
    return false;
}

bool AtomicFile::Write(const void* data, size_t size) {
    if (m_fd < 0 || m_error != 0) return false;
    if (!WriteAll(m_fd, static_cast<const char*>(data), size)) return Fail();
    return true;
}

bool AtomicFile::Commit() {
    if (m_fd < 0 || m_error != 0) return false;
    bool ok = ::fdatasync(m_fd) == 0 || Fail();
    int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) ok = Fail();
    if (ok && ::rename(m_temp.c_str(), m_target.c_str()) != 0) ok = Fail();
    if (!ok) return false;
    m_committed = true;
    SyncParentFolder(m_target);
    return true;
}

bool WriteFileAtomic(std::string_view path, std::string_view data) {
    AtomicFile file(path);
    return file.Write(data.data(), data.size()) && file.Commit();
}

void SyncParentFolder(std::string_view path) {
    std::string native = NativePath(path);
    size_t slash = native.rfind('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : native.substr(0, slash);
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

bool IsLeftoverTemporary(std::string_view name) {
    // Temporaries of AtomicFile: ".orl-" and 16 hex digits before ".tmp" (".part" in earlier
    // launchers); the numbered ".part-N" downloads of earlier launchers.
    for (std::string_view ending : {std::string_view(".tmp"), std::string_view(".part")}) {
        if (name.size() < 21 + ending.size() || !name.ends_with(ending)) continue;
        std::string_view stem = name.substr(0, name.size() - ending.size());
        std::string_view tag = stem.substr(stem.size() - 21);
        if (tag.substr(0, 5) == ".orl-" &&
            tag.substr(5).find_first_not_of("0123456789abcdef") == std::string_view::npos)
            return true;
    }
    size_t dash = name.rfind(".part-");
    return dash != std::string_view::npos && dash + 6 < name.size() &&
           name.substr(dash + 6).find_first_not_of("0123456789") == std::string_view::npos;
}

std::optional<uint64_t> FileSize(std::string_view path) {
    struct stat st;
    if (::stat(NativePath(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return static_cast<uint64_t>(st.st_size);
}

std::optional<uint64_t> FreeDiskSpace(std::string_view path) {
    struct statvfs vfs;
    if (::statvfs(NativePath(path).c_str(), &vfs) != 0) return std::nullopt;
    return static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
}

}  // namespace platform
