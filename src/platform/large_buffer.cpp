#include "platform/large_buffer.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/files.h"

namespace platform {
namespace {

constexpr size_t kHugePage = size_t{2} << 20;

}  // namespace

LargeBuffer::LargeBuffer(size_t size) : m_size(size) {
    if (size > SIZE_MAX - kHugePage) return;
    size_t mapped = (size + kHugePage - 1) / kHugePage * kHugePage;
    if (mapped == 0) mapped = kHugePage;
    void* p = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return;
    ::madvise(p, mapped, MADV_HUGEPAGE);
    m_data = static_cast<uint8_t*>(p);
    m_mapped = mapped;
}

LargeBuffer::~LargeBuffer() {
    if (m_data != nullptr) ::munmap(m_data, m_mapped);
}

LargeBuffer::LargeBuffer(LargeBuffer&& other) noexcept
    : m_data(other.m_data), m_size(other.m_size), m_mapped(other.m_mapped) {
    other.m_data = nullptr;
    other.m_size = other.m_mapped = 0;
}

MappedFile::MappedFile(const std::string& path, bool populate) {
    int fd = ::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        m_error = std::strerror(errno);
        return;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        m_error = "not a regular file";
        ::close(fd);
        return;
    }
    m_size = static_cast<size_t>(st.st_size);
    // An empty file still gets a page, so that data() is never null for a file that opened.
    m_mapped = m_size == 0 ? 1 : m_size;
    void* p = ::mmap(nullptr, m_mapped, PROT_READ, MAP_PRIVATE | (populate ? MAP_POPULATE : 0), fd, 0);
    ::close(fd);
    if (p == MAP_FAILED) {
        m_error = std::strerror(errno);
        m_size = m_mapped = 0;
        return;
    }
    m_data = static_cast<const uint8_t*>(p);
}

MappedFile::~MappedFile() {
    if (m_data != nullptr) ::munmap(const_cast<uint8_t*>(m_data), m_mapped);
}

}  // namespace platform
