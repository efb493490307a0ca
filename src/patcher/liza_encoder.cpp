#include "patcher/liza_encoder.h"

#include <algorithm>
#include <array>
#include <memory>

#include "patcher/liza.h"

namespace {

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutBytes(std::vector<uint8_t>& out, uint32_t v, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// The decoder ends its coded part with a literal step; the last bytes are literals so that step
// never runs past the end and no match is taken for a literal.
constexpr size_t kTailLiterals = 5;
constexpr int kHashBits = 17;
constexpr size_t kWindow = 1u << 17;
constexpr int kChainDepth = 24;
constexpr uint32_t kNoPosition = UINT32_MAX;

uint32_t Hash4(const uint8_t* p) { return (LizaLoad32(p) * 2654435761u) >> (32 - kHashBits); }
uint32_t Hash3(const uint8_t* p) { return ((LizaLoad32(p) & 0xFFFFFF) * 2654435761u) >> (32 - kHashBits); }

// The cheapest form for a match of offset, and how much of length it carries.
LizaForm CheapestForm(uint32_t offset, uint32_t length) {
    if (length == 3 && offset < 64) return LizaForm::Short;
    if (length == 3 && offset < 16384) return LizaForm::Near;
    if (length <= 18 && offset < 1024) return LizaForm::Medium;
    if (length <= 34 && offset < 65536) return LizaForm::Long;
    return LizaForm::Far;
}

class MatchFinder {
public:
    explicit MatchFinder(std::span<const uint8_t> data)
        : m_data(data),
          m_head4(new uint32_t[1u << kHashBits]),
          m_head3(new uint32_t[1u << kHashBits]),
          m_chain(new uint32_t[kWindow]) {
        std::fill_n(m_head4.get(), 1u << kHashBits, kNoPosition);
        std::fill_n(m_head3.get(), 1u << kHashBits, kNoPosition);
    }

    // Records position p (which needs 4 bytes after it) in the tables.
    void Insert(size_t p) {
        const uint8_t* at = m_data.data() + p;
        uint32_t h = Hash4(at);
        m_chain[p & (kWindow - 1)] = m_head4[h];
        m_head4[h] = static_cast<uint32_t>(p);
        m_head3[Hash3(at)] = static_cast<uint32_t>(p);
    }

    // The longest match for p that ends at or before limit; length 0 when none is worth taking.
    void Find(size_t p, size_t limit, uint32_t* offset, uint32_t* length) const {
        *length = 0;
        const uint8_t* at = m_data.data() + p;
        size_t maxLength = std::min<size_t>(limit - p, LizaLimitsOf(LizaForm::Far).maxLength);
        uint32_t candidate = m_head4[Hash4(at)];
        for (int depth = 0; depth < kChainDepth && candidate != kNoPosition; ++depth) {
            size_t distance = p - candidate;
            if (distance >= kWindow) break;
            if (distance >= kLizaMinOffset) {
                size_t n = MatchLength(m_data.data() + candidate, at, maxLength);
                if (n > *length && n >= 4) {
                    *length = static_cast<uint32_t>(n);
                    *offset = static_cast<uint32_t>(distance);
                    if (n == maxLength) break;
                }
            }
            uint32_t next = m_chain[candidate & (kWindow - 1)];
            if (next == kNoPosition || next >= candidate) break;
            candidate = next;
        }
        if (*length == 0 && maxLength >= 3) {
            uint32_t near = m_head3[Hash3(at)];
            if (near != kNoPosition) {
                size_t distance = p - near;
                if (distance >= kLizaMinOffset && distance < 16384 &&
                    MatchLength(m_data.data() + near, at, 3) == 3) {
                    *length = 3;
                    *offset = static_cast<uint32_t>(distance);
                }
            }
        }
        if (*length != 0) {
            LizaForm form = CheapestForm(*offset, *length);
            if (*length <= LizaLimitsOf(form).tokenBytes) *length = 0;
        }
    }

private:
    static size_t MatchLength(const uint8_t* a, const uint8_t* b, size_t max) {
        size_t n = 0;
        while (n + 8 <= max) {
            uint64_t x, y;
            std::memcpy(&x, a + n, 8);
            std::memcpy(&y, b + n, 8);
            if (x != y)
                return n + (std::endian::native == std::endian::little ? __builtin_ctzll(x ^ y)
                                                                       : __builtin_clzll(x ^ y)) /
                               8;
            n += 8;
        }
        while (n < max && a[n] == b[n]) ++n;
        return n;
    }

    std::span<const uint8_t> m_data;
    std::unique_ptr<uint32_t[]> m_head4;
    std::unique_ptr<uint32_t[]> m_head3;
    std::unique_ptr<uint32_t[]> m_chain;
};

size_t RunLength(std::span<const uint8_t> data, size_t p, size_t limit) {
    size_t n = 1;
    size_t max = std::min<size_t>(limit - p, kLizaMaxRun);
    while (n < max && data[p + n] == data[p]) ++n;
    return n;
}

}  // namespace

LizaFormLimits LizaLimitsOf(LizaForm form) {
    switch (form) {
        case LizaForm::Short:
            return {3, 63, 1};
        case LizaForm::Near:
            return {3, 16383, 2};
        case LizaForm::Medium:
            return {18, 1023, 2};
        case LizaForm::Long:
            return {34, 65535, 3};
        case LizaForm::Far:
            break;
    }
    return {2050, 131071, 4};
}

void LizaTokenWriter::Flag(bool match) {
    if (m_flags == 31) {
        if (!m_payload.empty()) LizaStore32(m_payload.data() + m_controlAt, m_control | 0x80000000u);
        m_controlAt = m_payload.size();
        Put32(m_payload, 0);
        m_control = 0;
        m_flags = 0;
    }
    if (match) m_control |= 1u << m_flags;
    ++m_flags;
}

void LizaTokenWriter::Literal(uint8_t byte) {
    Flag(false);
    m_payload.push_back(byte);
}

void LizaTokenWriter::Copy(LizaForm form, uint32_t offset, uint32_t length) {
    Flag(true);
    uint32_t lengthField = length - 3;
    switch (form) {
        case LizaForm::Short:
            PutBytes(m_payload, (offset & 0x3F) << 2, 1);
            break;
        case LizaForm::Near:
            PutBytes(m_payload, ((offset & 0x3FFF) << 2) | 1, 2);
            break;
        case LizaForm::Medium:
            PutBytes(m_payload, ((offset & 0x3FF) << 6) | ((lengthField & 0xF) << 2) | 2, 2);
            break;
        case LizaForm::Long:
            PutBytes(m_payload, ((offset & 0xFFFF) << 8) | ((lengthField & 0x1F) << 3) | 3, 3);
            break;
        case LizaForm::Far:
            PutBytes(m_payload, ((offset & 0x1FFFF) << 15) | ((lengthField & 0x7FF) << 4) | 7, 4);
            break;
    }
}

void LizaTokenWriter::Run(uint32_t count, uint8_t value) {
    Flag(true);
    PutBytes(m_payload, (static_cast<uint32_t>(value) << 16) | ((count & 0xFFF) << 4) | 0xF, 3);
}

std::vector<uint8_t> LizaTokenWriter::Finish() {
    if (!m_payload.empty()) LizaStore32(m_payload.data() + m_controlAt, m_control | 0x80000000u);
    m_flags = 31;
    m_controlAt = 0;
    m_control = 0;
    return std::move(m_payload);
}

std::vector<uint8_t> LizaContainer(std::span<const uint8_t> payload, uint32_t unpackedSize, bool coded) {
    std::vector<uint8_t> out;
    out.reserve(kLizaHeaderSize + payload.size() + kLizaTrailerSize);
    Put32(out, kLizaMagic);
    Put32(out, kLizaLevel);
    Put32(out, static_cast<uint32_t>(kLizaHeaderSize + payload.size() + kLizaTrailerSize));
    Put32(out, unpackedSize);
    Put32(out, coded ? 1 : 0);
    out.resize(kLizaHeaderSize, 0);
    out.insert(out.end(), payload.begin(), payload.end());
    Put32(out, kLizaMagic);
    return out;
}

std::vector<uint8_t> LizaPack(std::span<const uint8_t> data, bool stored) {
    const uint32_t size = static_cast<uint32_t>(data.size());
    if (stored) return LizaContainer(data, size, false);

    LizaTokenWriter writer;
    const size_t limit = data.size() > kTailLiterals ? data.size() - kTailLiterals : 0;
    MatchFinder finder(data);
    size_t p = 0;
    // Tables are filled up to here; every recorded position has 4 bytes after it.
    size_t inserted = 0;
    auto insertUpTo = [&](size_t q) {
        for (; inserted < q && inserted + 4 <= data.size(); ++inserted) finder.Insert(inserted);
    };
    while (p < limit) {
        size_t run = RunLength(data, p, limit);
        uint32_t offset = 0, length = 0;
        insertUpTo(p);
        finder.Find(p, limit, &offset, &length);
        if (run >= 4 && run >= length) {
            writer.Run(static_cast<uint32_t>(run), data[p]);
            p += run;
            continue;
        }
        if (length == 0) {
            writer.Literal(data[p++]);
            continue;
        }
        // One step of lazy matching: a longer match one byte on wins over this one.
        if (length < 64 && p + 1 < limit) {
            uint32_t nextOffset = 0, nextLength = 0;
            insertUpTo(p + 1);
            finder.Find(p + 1, limit, &nextOffset, &nextLength);
            if (nextLength > length + 1) {
                writer.Literal(data[p++]);
                continue;
            }
        }
        LizaForm form = CheapestForm(offset, length);
        length = std::min(length, LizaLimitsOf(form).maxLength);
        writer.Copy(form, offset, length);
        p += length;
    }
    for (; p < data.size(); ++p) writer.Literal(data[p]);
    std::vector<uint8_t> payload = writer.Finish();
    return LizaContainer(payload, size, true);
}
