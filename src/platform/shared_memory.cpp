#include "platform/shared_memory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace platform {

SharedBlock::SharedBlock(const std::string& name, size_t size) : m_name(name), m_size(size) {
    m_fd = ::shm_open(m_name.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
    if (m_fd < 0 || ::ftruncate(m_fd, static_cast<off_t>(m_size)) != 0) return;
    void* view = ::mmap(nullptr, m_size, PROT_READ | PROT_WRITE, MAP_SHARED, m_fd, 0);
    if (view != MAP_FAILED) m_view = static_cast<int32_t*>(view);
}

SharedBlock::~SharedBlock() {
    if (m_view != nullptr) ::munmap(m_view, m_size);
    if (m_fd >= 0) {
        ::close(m_fd);
        ::shm_unlink(m_name.c_str());
    }
}

}  // namespace platform
