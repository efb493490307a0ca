#include "patcher/liza.h"

#include <algorithm>

namespace {

// How many literals one step copies, by the low 4 bits of the control value: the zero flags at its
// bottom, at most 4. Odd indexes stand for a match and are never used.
constexpr uint8_t kLiteralCount[16] = {4, 0, 1, 0, 2, 0, 1, 0, 3, 0, 1, 0, 2, 0, 1, 0};

LizaResult Fail(const char* reason) { return {false, 0, reason}; }

// The fields of a match token by the low 4 bits of fetch. Length forms of a fixed 3 have no length
// bits; the run ("1111") has size 0 here and is decoded on its own.
struct MatchForm {
    uint8_t size;
    uint8_t lengthShift;
    uint16_t lengthMask;
    uint8_t offsetShift;
    uint32_t offsetMask;
};
constexpr MatchForm kShort = {1, 0, 0, 2, 0x3F};
constexpr MatchForm kNear = {2, 0, 0, 2, 0x3FFF};
constexpr MatchForm kMedium = {2, 2, 0xF, 6, 0x3FF};
constexpr MatchForm kLong = {3, 3, 0x1F, 8, 0xFFFF};
constexpr MatchForm kFar = {4, 4, 0x7FF, 15, 0x1FFFF};
constexpr MatchForm kRun = {0, 0, 0, 0, 0};
constexpr MatchForm kForms[16] = {kShort, kNear, kMedium, kLong, kShort, kNear, kMedium, kFar,
                                  kShort, kNear, kMedium, kLong, kShort, kNear, kMedium, kRun};

// Far from the end of the output, copies move 16 or 8 bytes at a time where the offset allows: with
// the source that far behind, the result is the same as the format's word-by-word copy.
constexpr size_t kWideCopy = 16;

inline void CopyWide(uint8_t* dst, size_t offset, size_t length) {
    uint8_t* const stop = dst + length;
    if (offset >= 16) {
        do {
            std::memcpy(dst, dst - offset, 16);
            dst += 16;
        } while (dst < stop);
    } else if (offset >= 8) {
        do {
            std::memcpy(dst, dst - offset, 8);
            dst += 8;
        } while (dst < stop);
    } else {
        do {
            std::memcpy(dst, dst - offset, 4);
            dst += 4;
        } while (dst < stop);
    }
}

}  // namespace

bool LizaReadHeader(std::span<const uint8_t> container, LizaHeader* header) {
    if (container.size() < 20) return false;
    const uint8_t* p = container.data();
    *header = {LizaLoad32(p), LizaLoad32(p + 4), LizaLoad32(p + 8), LizaLoad32(p + 12), LizaLoad32(p + 16)};
    return true;
}

uint32_t LizaGetUnpackedSize(std::span<const uint8_t> container) {
    if (container.size() < 16 || LizaLoad32(container.data()) != kLizaMagic) return 0;
    return LizaLoad32(container.data() + 12);
}

LizaResult LizaCheckContainer(std::span<const uint8_t> container, LizaHeader* header) {
    if (!LizaReadHeader(container, header) || header->magic != kLizaMagic)
        return Fail("not a LIZA container");
    if (header->level != kLizaLevel) return Fail("unknown format level");
    const size_t containerSize = header->containerSize;
    if (containerSize < kLizaHeaderSize + kLizaTrailerSize) return Fail("container size too small");
    if (containerSize > container.size()) return Fail("container shorter than its size field");
    if (LizaLoad32(container.data() + containerSize - kLizaTrailerSize) != kLizaMagic)
        return Fail("trailing magic missing");
    if (header->codingFlag != 1 && header->unpackedSize > containerSize - kLizaHeaderSize - kLizaTrailerSize)
        return Fail("stored payload cut short");
    return {true, header->unpackedSize, nullptr};
}

LizaResult LizaUnpack(std::span<const uint8_t> container, std::span<uint8_t> out,
                      const LizaProgress* progress) {
    LizaHeader header;
    if (LizaResult checked = LizaCheckContainer(container, &header); !checked.ok) return checked;
    const size_t containerSize = header.containerSize;
    const size_t unpacked = header.unpackedSize;
    if (out.size() < unpacked + kLizaOutputSlack) return Fail("output buffer too small");

    const uint8_t* src = container.data() + kLizaHeaderSize;
    // The payload ends before the trailing magic; its 4 bytes are the room for reading whole words.
    const uint8_t* const inEnd = container.data() + containerSize - kLizaTrailerSize;
    if (header.codingFlag != 1) {
        const size_t step = progress != nullptr ? progress->every : unpacked;
        for (size_t done = 0; done < unpacked;) {
            const size_t n = std::min(step, unpacked - done);
            std::memcpy(out.data() + done, src + done, n);
            done += n;
            if (progress != nullptr) progress->report(progress->context, done, kLizaHeaderSize + done);
        }
        return {true, unpacked, nullptr};
    }

    uint8_t* const begin = out.data();
    uint8_t* const end = begin + unpacked;
    uint8_t* dst = begin;
    uint32_t control = 1;
    uint8_t* mark = progress != nullptr ? begin + progress->every : end;

    if (unpacked > 4) {
        for (;;) {
            if (control == 1) {
                if (inEnd - src < 4) return Fail("control word cut short");
                control = LizaLoad32(src);
                src += 4;
                if (dst >= mark) {
                    progress->report(progress->context, static_cast<size_t>(dst - begin),
                                     static_cast<size_t>(src - container.data()));
                    mark = dst + progress->every;
                }
            }
            if (src >= inEnd) return Fail("payload cut short");
            const uint32_t fetch = LizaLoad32(src);
            if ((control & 1) == 0) {
                // Far from both ends, all literal flags at the bottom of the control value (up to 16)
                // are taken in one step; the bytes are the same as in steps of up to 4.
                if (end - dst > 2 * static_cast<ptrdiff_t>(kWideCopy) &&
                    inEnd - src >= static_cast<ptrdiff_t>(kWideCopy)) {
                    const uint32_t n = static_cast<uint32_t>(__builtin_ctz(control | 0x10000u));
                    std::memcpy(dst, src, kWideCopy);
                    dst += n;
                    src += n;
                    control >>= n;
                    continue;
                }
                const uint32_t n = kLiteralCount[control & 15];
                LizaStore32(dst, fetch);
                dst += n;
                src += n;
                control >>= n;
                if (end - dst > 4) continue;
                // A step that reaches past the unpacked size carries the last bytes and the start of
                // what follows them; only the bytes up to the end count.
                if (dst > end) {
                    src -= dst - end;
                    dst = end;
                }
                break;
            }
            control >>= 1;
            const MatchForm& form = kForms[fetch & 15];
            if (form.size == 0) {
                const size_t count = (fetch >> 4) & 0xFFF;
                if (static_cast<size_t>(end - dst) < count) return Fail("run past the unpacked size");
                std::memset(dst, static_cast<int>((fetch >> 16) & 0xFF), count);
                dst += count;
                src += 3;
                if (dst == end) break;
                continue;
            }
            const size_t length = ((fetch >> form.lengthShift) & form.lengthMask) + 3;
            const size_t offset = (fetch >> form.offsetShift) & form.offsetMask;
            src += form.size;
            if (offset < 4 || offset > static_cast<size_t>(dst - begin))
                return Fail("match offset out of range");
            const size_t room = static_cast<size_t>(end - dst);
            if (room < length) return Fail("match past the unpacked size");
            if (room >= length + kWideCopy) {
                CopyWide(dst, offset, length);
            } else {
                LizaCopyMatch(dst, dst - offset, length);
            }
            dst += length;
            if (dst == end) break;
        }
        if (src > inEnd) return Fail("payload cut short");
    } else {
        // The only group's control word is skipped; its flags are all literals.
        src += 4;
        control = 0x80000000u;
    }

    // The last bytes are literals, one flag each; a used-up control word is skipped.
    while (dst < end) {
        if (control == 1) {
            control = 0x80000000u;
            src += 4;
        }
        if (src >= inEnd) return Fail("payload cut short");
        *dst++ = *src++;
        control >>= 1;
    }
    return {true, static_cast<size_t>(dst - begin), nullptr};
}
