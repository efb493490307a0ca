#include "patcher/http_text.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

namespace {

// The read buffer of one chunk; a chunk larger than this reads the same text in more pieces, since a
// read only comes back short at the end of the answer.
constexpr uint32_t kLargestChunk = 1 << 20;

}  // namespace

uint32_t HttpGetText(const platform::HttpSession& session, std::string& out, const std::string& base,
                     const std::string& name, uint32_t chunkSize) {
    out.clear();
    std::string url = base + "/" + name;
    if (url.size() > 999) url.resize(999);
    auto stream = platform::HttpStream::Open(session, url);
    if (!stream) return 0;
    size_t chunk = std::max<uint32_t>(1, std::min(chunkSize, kLargestChunk));
    std::vector<char> buffer(chunk + 1);
    uint32_t total = 0;
    for (;;) {
        long n = stream->Read(buffer.data(), chunk);
        if (n <= 0) break;
        total += static_cast<uint32_t>(n);
        buffer[static_cast<size_t>(n)] = '\0';
        out.append(buffer.data(), strnlen(buffer.data(), static_cast<size_t>(n)));
        if (static_cast<size_t>(n) < chunk) break;
    }
    return total;
}

bool IsInvalidSize(int32_t size) { return size == 404 || static_cast<uint32_t>(size) < 10; }

std::string FirstToken(const std::string& text, size_t maxLength) {
    size_t begin = 0;
    while (begin < text.size() && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    size_t end = begin;
    while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end]))) ++end;
    if (begin == end) return "@";
    return text.substr(begin, std::min(end - begin, maxLength));
}

bool ScanDecimal(const std::string& text, int32_t& value) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size() || !std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    // Too many digits wrap around in 32 bits, as the C conversion does on the platforms that wrote the
    // size files; the value check that follows rejects what makes no sense.
    uint32_t parsed = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        parsed = parsed * 10u + static_cast<uint32_t>(text[i] - '0');
    }
    value = static_cast<int32_t>(negative ? 0u - parsed : parsed);
    return true;
}
