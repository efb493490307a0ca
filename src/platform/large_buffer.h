// Memory for whole archives: an anonymous mapping that asks for huge pages, so that filling a few
// hundred megabytes costs a few hundred page faults instead of tens of thousands; and a read-only
// mapping of a whole file, its pages mapped up front.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

class LargeBuffer {
public:
    // Holds size bytes (not cleared); empty() tells whether the memory could be had.
    explicit LargeBuffer(size_t size);
    ~LargeBuffer();
    LargeBuffer(LargeBuffer&& other) noexcept;
    LargeBuffer& operator=(LargeBuffer&&) = delete;
    LargeBuffer(const LargeBuffer&) = delete;

    bool empty() const { return m_data == nullptr; }
    uint8_t* data() const { return m_data; }
    size_t size() const { return m_size; }

private:
    uint8_t* m_data = nullptr;
    size_t m_size = 0;
    size_t m_mapped = 0;
};

class MappedFile {
public:
    // Maps the regular file at path, its pages read in up front unless populate is false; on failure
    // empty() and error() says why.
    explicit MappedFile(const std::string& path, bool populate = true);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    bool empty() const { return m_data == nullptr; }
    const uint8_t* data() const { return m_data; }
    size_t size() const { return m_size; }
    const std::string& error() const { return m_error; }

private:
    const uint8_t* m_data = nullptr;
    size_t m_size = 0;
    size_t m_mapped = 0;
    std::string m_error;
};

}  // namespace platform
