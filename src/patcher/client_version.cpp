#include "patcher/client_version.h"

#include <cstring>

#include "platform/files.h"

std::optional<std::string> ReadClientVersionFile(const std::string& clientFolder) {
    auto head = platform::ReadFile(clientFolder + "/" + "List.mfm", 12);
    if (!head || head->size() != 12) return std::nullopt;
    return std::string(head->c_str(), strnlen(head->c_str(), 12));
}
