#include "support/liza_reference.h"

#include <cstring>

#include "patcher/liza.h"

namespace {

constexpr uint32_t kTable[16] = {4, 0, 1, 0, 2, 0, 1, 0, 3, 0, 1, 0, 2, 0, 1, 0};

}  // namespace

size_t ReferenceLizaUnpack(const uint8_t* container, uint8_t* out) {
    uint32_t size = LizaLoad32(container + 8);
    if (LizaLoad32(container + 4) != 3 || LizaLoad32(container) != kLizaMagic ||
        LizaLoad32(container + size - 4) != kLizaMagic)
        return 0;
    uint32_t unpacked = LizaLoad32(container + 12);
    const uint8_t* src = container + 32;
    if (LizaLoad32(container + 16) != 1) {
        std::memcpy(out, src, unpacked);
        return unpacked;
    }
    // Positions as integers, so that "end - 4" of a tiny output compares as the format says.
    uintptr_t base = reinterpret_cast<uintptr_t>(out);
    uintptr_t end = base + unpacked;
    uint8_t* dst = out;
    uint32_t control = 1;
    if (reinterpret_cast<uintptr_t>(dst) >= end - 4) {
        src += 4;
        while (reinterpret_cast<uintptr_t>(dst) < end) *dst++ = *src++;
        return dst - out;
    }
    for (;;) {
        if (control == 1) {
            control = LizaLoad32(src);
            src += 4;
        }
        uint32_t fetch = LizaLoad32(src);
        if ((control & 1) == 0) {
            LizaStore32(dst, fetch);
            uint32_t n = kTable[control & 15];
            dst += n;
            src += n;
            control >>= n;
            if (reinterpret_cast<uintptr_t>(dst) < end - 4) continue;
            break;
        }
        control >>= 1;
        if ((fetch & 3) == 0) {
            LizaStore32(dst, LizaLoad32(dst - ((fetch >> 2) & 0x3F)));
            dst += 3;
            src += 1;
        } else if ((fetch & 2) == 0) {
            LizaStore32(dst, LizaLoad32(dst - ((fetch >> 2) & 0x3FFF)));
            dst += 3;
            src += 2;
        } else if ((fetch & 1) == 0) {
            uint32_t length = ((fetch >> 2) & 0xF) + 3;
            LizaCopyMatch(dst, dst - ((fetch >> 6) & 0x3FF), length);
            dst += length;
            src += 2;
        } else if ((fetch & 4) == 0) {
            uint32_t length = ((fetch >> 3) & 0x1F) + 3;
            LizaCopyMatch(dst, dst - ((fetch >> 8) & 0xFFFF), length);
            dst += length;
            src += 3;
        } else if ((fetch & 8) == 0) {
            uint32_t length = ((fetch >> 4) & 0x7FF) + 3;
            LizaCopyMatch(dst, dst - (fetch >> 15), length);
            dst += length;
            src += 4;
        } else {
            uint32_t count = (fetch >> 4) & 0xFFF;
            std::memset(dst, (fetch >> 16) & 0xFF, count);
            dst += count;
            src += 3;
        }
    }
    while (reinterpret_cast<uintptr_t>(dst) < end) {
        if (control == 1) {
            control = 0x80000000u;
            src += 4;
        }
        *dst++ = *src++;
        control >>= 1;
    }
    return dst - out;
}
