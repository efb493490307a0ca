// Named shared memory that other processes can open by the same name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// A block of size bytes under name (a POSIX name, "/..."), created or opened, mapped for reading and
// writing. It is unmapped and its name removed when the object goes.
class SharedBlock {
public:
    SharedBlock(const std::string& name, size_t size);
    ~SharedBlock();
    SharedBlock(const SharedBlock&) = delete;
    SharedBlock& operator=(const SharedBlock&) = delete;

    // The mapped integers; null when the block could not be had.
    int32_t* Data() const { return m_view; }

private:
    std::string m_name;
    size_t m_size;
    int m_fd = -1;
    int32_t* m_view = nullptr;
};

}  // namespace platform
