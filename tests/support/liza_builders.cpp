#include "support/liza_builders.h"

#include "support/liza_reference.h"

namespace {

constexpr size_t kSlack = 65500;

}  // namespace

Bytes BytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes CodedContainer(LizaTokenWriter& writer, uint32_t unpackedSize) {
    Bytes payload = writer.Finish();
    return LizaContainer(payload, unpackedSize, true);
}

Decoded CheckedDecode(const Bytes& container) {
    Decoded d;
    Bytes out(LizaGetUnpackedSize(container) + kSlack);
    LizaResult r = LizaUnpack(container, out);
    d.ok = r.ok;
    if (r.ok) d.bytes.assign(out.begin(), out.begin() + r.size);
    if (r.reason) d.reason = r.reason;
    return d;
}

Decoded ReferenceDecode(const Bytes& container) {
    Decoded d;
    Bytes in(container);
    in.resize(container.size() + kSlack);
    Bytes out(LizaGetUnpackedSize(container) + kSlack);
    size_t n = ReferenceLizaUnpack(in.data(), out.data());
    d.ok = n != 0 || LizaGetUnpackedSize(container) == 0;
    d.bytes.assign(out.begin(), out.begin() + n);
    return d;
}

std::map<std::string, int> CountTokens(const Bytes& container) {
    std::map<std::string, int> counts;
    LizaHeader h;
    if (!LizaReadHeader(container, &h) || h.codingFlag != 1) return counts;
    const uint8_t* src = container.data() + kLizaHeaderSize;
    const uint8_t* end = container.data() + h.containerSize - kLizaTrailerSize;
    uint32_t control = 1;
    while (src < end) {
        if (control == 1) {
            control = LizaLoad32(src);
            src += 4;
            continue;
        }
        bool match = control & 1;
        control >>= 1;
        if (!match) {
            ++counts["literal"];
            src += 1;
            continue;
        }
        uint32_t fetch = LizaLoad32(src);
        if ((fetch & 3) == 0) {
            ++counts["short"];
            src += 1;
        } else if ((fetch & 3) == 1) {
            ++counts["near"];
            src += 2;
        } else if ((fetch & 3) == 2) {
            ++counts["medium"];
            src += 2;
        } else if ((fetch & 4) == 0) {
            ++counts["long"];
            src += 3;
        } else if ((fetch & 8) == 0) {
            ++counts["far"];
            src += 4;
        } else {
            ++counts["run"];
            src += 3;
        }
    }
    return counts;
}
