#include "platform/resources.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <string_view>

#include "platform/resource_index.h"

namespace platform {
namespace {

std::string Unescape(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        char next = text[++i];
        out += next == 'n' ? '\n' : next == 't' ? '\t' : next;
    }
    return out;
}

const std::map<int, std::string>& StringTable() {
    static const std::map<int, std::string> table = [] {
        std::map<int, std::string> entries;
        std::string_view data(orl_resource_strings);
        while (!data.empty()) {
            size_t end = data.find('\n');
            std::string_view line = data.substr(0, end);
            data = end == std::string_view::npos ? std::string_view{} : data.substr(end + 1);
            if (line.empty() || line.front() == '#') continue;
            size_t tab = line.find('\t');
            if (tab == std::string_view::npos) continue;
            entries[std::atoi(std::string(line.substr(0, tab)).c_str())] = Unescape(line.substr(tab + 1));
        }
        return entries;
    }();
    return table;
}

std::string FromEnvironment(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : fallback;
}

void ReplaceAll(std::string& text, std::string_view what, std::string_view with) {
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size())) {
        text.replace(at, what.size(), with);
    }
}

}  // namespace

std::string WebHost() { return FromEnvironment("ORL_WEB_HOST", ORL_DEFAULT_WEB_HOST); }
std::string CommunityHost() { return FromEnvironment("ORL_COMMUNITY_HOST", ORL_DEFAULT_COMMUNITY_HOST); }
std::string UpdateHostRoot() { return FromEnvironment("ORL_UPDATE_HOST", ORL_DEFAULT_UPDATE_HOST); }

std::string LoadStringById(int id) {
    auto found = StringTable().find(id);
    if (found == StringTable().end()) return {};
    std::string text = found->second;
    ReplaceAll(text, "{web}", WebHost());
    ReplaceAll(text, "{community}", CommunityHost());
    return text;
}

std::span<const uint8_t> BitmapResource(int id) {
    for (const ResourceBlob* blob = kBitmapBlobs; blob->id != 0; ++blob) {
        if (blob->id == id) return {blob->begin, static_cast<size_t>(blob->end - blob->begin)};
    }
    return {};
}

std::optional<BitmapInfo> BitmapResourceInfo(int id) {
    std::span<const uint8_t> bytes = BitmapResource(id);
    if (bytes.size() < 30 || bytes[0] != 'B' || bytes[1] != 'M') return std::nullopt;
    auto read32 = [&](size_t at) {
        uint32_t value;
        std::memcpy(&value, bytes.data() + at, 4);
        return static_cast<int32_t>(value);
    };
    uint16_t bits;
    std::memcpy(&bits, bytes.data() + 28, 2);
    int height = read32(22);
    return BitmapInfo{read32(18), height < 0 ? -height : height, bits};
}

}  // namespace platform
