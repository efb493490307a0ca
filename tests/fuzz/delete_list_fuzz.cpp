// Feeds arbitrary text to the deletion list's parser as the lines of DeleteFiles.txt. Whatever the
// lines say, every target must be the client folder itself or lie below it, with no "." or ".."
// component left in it (a name such as " ." is an ordinary name here).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "patcher/client_folder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string kBase = "/Games/Velmora/Orvin";
    static const std::string kRoot = "\\games\\velmora\\orvin";
    std::vector<std::string> lines(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '\n') {
            lines.emplace_back();
        } else {
            lines.back().push_back(static_cast<char>(data[i]));
        }
    }
    for (const std::string& target : DeleteListTargets(kBase, lines)) {
        if (target != kRoot && target.rfind(kRoot + "\\", 0) != 0) std::abort();
        // Components as the file system sees them: split at the separators, nothing trimmed.
        for (size_t start = 1; start <= target.size();) {
            size_t end = target.find('\\', start);
            if (end == std::string::npos) end = target.size();
            std::string part = target.substr(start, end - start);
            if (part == "." || part == "..") std::abort();
            start = end + 1;
        }
    }
    return 0;
}
