// The LIZA container: a 32-byte header, a stored or LZ77-coded payload driven by 32-bit control
// words, and the magic again at the very end. The decoder works on whole buffers in memory and checks
// every size, offset, length and count against the bytes it was given and the output it produced.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

inline constexpr uint32_t kLizaMagic = 0x415A494C;  // "LIZA"
inline constexpr uint32_t kLizaLevel = 3;
inline constexpr size_t kLizaHeaderSize = 32;
inline constexpr size_t kLizaTrailerSize = 4;
// The decoder writes whole words: the output buffer needs this many bytes after the unpacked size.
inline constexpr size_t kLizaOutputSlack = 4;

struct LizaHeader {
    uint32_t magic;
    uint32_t level;
    uint32_t containerSize;
    uint32_t unpackedSize;
    uint32_t codingFlag;
};

// The header fields, or false when fewer than the header's bytes are given.
bool LizaReadHeader(std::span<const uint8_t> container, LizaHeader* header);

// The unpacked size field when the leading magic is right, otherwise 0.
uint32_t LizaGetUnpackedSize(std::span<const uint8_t> container);

struct LizaResult {
    bool ok;
    size_t size;         // bytes written to the output when ok
    const char* reason;  // what was wrong when not ok
};

// Checks what can be checked without decoding: the magic at both ends, the level, the container size
// against the bytes given and, for a stored payload, its size. ok with the unpacked size, or the reason.
LizaResult LizaCheckContainer(std::span<const uint8_t> container, LizaHeader* header);

// Told, about every `every` bytes of output, how far the decoder has come: the bytes produced and the
// container bytes consumed. Nothing before produced - 128 KiB (the farthest a match reaches back) is
// read again, so a caller working on mapped files may let those pages go.
struct LizaProgress {
    size_t every;
    void (*report)(void* context, size_t produced, size_t consumed);
    void* context;
};
inline constexpr size_t kLizaWindow = size_t{1} << 17;

// Decodes container into out, which must hold the unpacked size plus kLizaOutputSlack bytes. A damaged
// container ends with ok false and a reason; nothing is read or written outside the two buffers.
LizaResult LizaUnpack(std::span<const uint8_t> container, std::span<uint8_t> out,
                      const LizaProgress* progress = nullptr);

inline uint32_t LizaLoad32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
    return v;
}

inline void LizaStore32(uint8_t* p, uint32_t v) {
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
    std::memcpy(p, &v, 4);
}

// Copies a match of length (at least 3) from src, at least 4 bytes behind dst, one word at a time:
// each word is read after the previous one was written, so an overlapping match repeats the bytes it
// has just produced. Writes the length rounded up to a multiple of 4.
inline void LizaCopyMatch(uint8_t* dst, const uint8_t* src, size_t length) {
    if (length < 5) {
        std::memcpy(dst, src, 4);
        return;
    }
    const ptrdiff_t back = dst - src;
    for (uint8_t *p = dst, *stop = dst + length; p < stop; p += 4) std::memcpy(p, p - back, 4);
}
