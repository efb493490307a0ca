#include "platform/profile.h"

#include <unistd.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/files.h"

namespace platform {
namespace {

struct Line {
    std::string text;  // without its line end
    std::string end;   // "\r\n", "\n" or "" for a last line without one
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (IsBlank(text.front()) || text.front() == '\r')) text.remove_prefix(1);
    while (!text.empty() && (IsBlank(text.back()) || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

std::vector<Line> SplitLines(std::string_view data) {
    if (data.size() >= 3 && data.substr(0, 3) == "\xEF\xBB\xBF") data.remove_prefix(3);
    std::vector<Line> lines;
    while (!data.empty()) {
        size_t newline = data.find('\n');
        Line line;
        if (newline == std::string_view::npos) {
            line.text = std::string(data);
            data = {};
        } else {
            std::string_view text = data.substr(0, newline);
            if (!text.empty() && text.back() == '\r') {
                text.remove_suffix(1);
                line.end = "\r\n";
            } else {
                line.end = "\n";
            }
            line.text = std::string(text);
            data.remove_prefix(newline + 1);
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

// The section name when line is a section header.
std::optional<std::string_view> SectionName(std::string_view line) {
    line = Trim(line);
    if (line.empty() || line.front() != '[') return std::nullopt;
    size_t close = line.find(']');
    if (close == std::string_view::npos) return Trim(line.substr(1));
    return Trim(line.substr(1, close - 1));
}

struct KeyValue {
    std::string_view key;
    std::string_view value;
};

std::optional<KeyValue> KeyOf(std::string_view line) {
    std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == ';') return std::nullopt;
    size_t equals = trimmed.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    return KeyValue{Trim(trimmed.substr(0, equals)), Trim(trimmed.substr(equals + 1))};
}

// Index of the key's line inside section, and of the section's last non-blank line.
struct Position {
    std::optional<size_t> header;
    std::optional<size_t> key;
    size_t lastOfSection = 0;
};

Position Locate(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
    Position position;
    bool inside = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (auto name = SectionName(lines[i].text)) {
            if (inside) break;
            if (EqualsIgnoringCase(*name, section)) {
                inside = true;
                position.header = i;
                position.lastOfSection = i;
            }
            continue;
        }
        if (!inside) continue;
        if (!Trim(lines[i].text).empty()) position.lastOfSection = i;
        if (auto kv = KeyOf(lines[i].text); kv && !position.key && EqualsIgnoringCase(kv->key, key)) {
            position.key = i;
        }
    }
    return position;
}

std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

}  // namespace

int AtoiRule(std::string_view text) {
    size_t i = 0;
    while (i < text.size() &&
           (IsBlank(text[i]) || text[i] == '\n' || text[i] == '\r' || text[i] == '\v' || text[i] == '\f')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10u + static_cast<uint32_t>(text[i] - '0');
    }
    if (negative) value = 0u - value;
    return static_cast<int>(value);
}

std::string GetPrivateProfileString(std::string_view section, std::string_view key, std::string_view def,
                                    size_t bufferSize, std::string_view path) {
    std::string value(def);
    if (auto data = ReadFile(path)) {
        std::vector<Line> lines = SplitLines(*data);
        Position position = Locate(lines, section, key);
        if (position.key) value = std::string(Unquote(KeyOf(lines[*position.key].text)->value));
    }
    if (bufferSize == 0) return {};
    if (value.size() > bufferSize - 1) value.resize(bufferSize - 1);
    return value;
}

int GetPrivateProfileInt(std::string_view section, std::string_view key, int def, std::string_view path) {
    auto data = ReadFile(path);
    if (!data) return def;
    std::vector<Line> lines = SplitLines(*data);
    Position position = Locate(lines, section, key);
    if (!position.key) return def;
    return AtoiRule(Unquote(KeyOf(lines[*position.key].text)->value));
}

bool WritePrivateProfileString(std::string_view section, std::string_view key, std::string_view value,
                               std::string_view path) {
    std::string native = NativePath(path);
    if (PathIsDirectory(native)) return false;
    std::vector<Line> lines;
    if (auto data = ReadFile(native)) {
        if (::access(native.c_str(), W_OK) != 0) return false;
        lines = SplitLines(*data);
    }
    std::string end = "\r\n";
    if (!lines.empty() && lines.front().end == "\n") end = "\n";

    std::string entry = std::string(key) + "=" + std::string(value);
    Position position = Locate(lines, section, key);
    if (position.key) {
        lines[*position.key].text = entry;
    } else if (position.header) {
        Line& last = lines[position.lastOfSection];
        if (last.end.empty()) last.end = end;
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(position.lastOfSection) + 1,
                     Line{entry, end});
    } else {
        if (!lines.empty() && lines.back().end.empty()) lines.back().end = end;
        lines.push_back(Line{"[" + std::string(section) + "]", end});
        lines.push_back(Line{entry, end});
    }
    std::string out;
    for (const Line& line : lines) out += line.text + line.end;
    return WriteFileAtomic(native, out);
}

}  // namespace platform
