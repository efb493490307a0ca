#include "settings/server_selection.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <optional>

namespace {

// The number at the start of text, as std::stoi reads it in base 10: blanks skipped, an optional sign,
// digits up to the first other character.
std::optional<int32_t> LeadingNumber(const std::string& text) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(begin, &end, 10);
    if (end == begin || errno == ERANGE || value < INT32_MIN || value > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(value);
}

void TakeValue(const std::string& lowered, const std::string& key, int32_t& value) {
    size_t at = lowered.find(key);
    if (at == std::string::npos) return;
    if (auto number = LeadingNumber(lowered.substr(at + key.size()))) value = *number;
}

}  // namespace

bool ParseLanguageServerArguments(LaunchSettings& settings, const std::vector<std::string>& arguments) {
    if (arguments.empty()) return false;
    int32_t language = 2;
    int32_t server = 2;
    for (const std::string& argument : arguments) {
        std::string lowered = argument;
        for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        TakeValue(lowered, "language:", language);
        TakeValue(lowered, "server:", server);
    }
    if (language == 2 || server == 2) return false;
    settings.server = server;
    settings.language = language;
    return true;
}
