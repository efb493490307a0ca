#include "patcher/http_text.h"

#include <algorithm>
#include <cctype>
#include <cstring>

std::unique_ptr<platform::Transfer> StartTextRequest(const platform::HttpSession& session,
                                                     const std::string& base, const std::string& name,
                                                     uint64_t maxBytes, uint64_t expectedSize,
                                                     const std::string& expectedSha256) {
    std::string url = base + "/" + name;
    if (url.size() > 999) url.resize(999);
    platform::TransferRequest request{.url = url, .maxBytes = maxBytes};
    if (!expectedSha256.empty()) {
        request.expectedSize = expectedSize;
        request.expectedSha256 = expectedSha256;
    }
    return std::make_unique<platform::Transfer>(session, request);
}

uint32_t TakeText(const platform::Transfer& request, std::string& out, uint32_t chunkSize) {
    out.clear();
    if (request.Result().state != platform::TransferState::Succeeded) return 0;
    const std::string& body = request.Body();
    size_t chunk = std::max<uint32_t>(1, chunkSize);
    for (size_t at = 0; at < body.size(); at += chunk) {
        size_t n = std::min(chunk, body.size() - at);
        out.append(body.data() + at, strnlen(body.data() + at, n));
    }
    return static_cast<uint32_t>(body.size());
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
