#include <string>

#include "platform/files.h"
#include "window/plx_dlg.h"

namespace {

constexpr int kRetryBudget = 11;
constexpr uint32_t kRetryPauseMs = 1000;
constexpr size_t kPrefixLength = 4;  // "New_"

}  // namespace

bool RunPendingFileRenames(const std::string& folder, platform::IClock& clock) {
    int retries = 0;
    for (const platform::FindData& match : platform::FindFiles(folder + "\\" + "New_*.*")) {
        if ((match.attributes & platform::kAttrDirectory) != 0) continue;
        std::string from = folder + "\\" + match.name;
        std::string to = folder + "\\" + match.name.substr(kPrefixLength);
        // One rename replaces the old file: at every moment the folder holds the old file or the new
        // one, and a replacement without an old file simply takes its place.
        while (!platform::MoveFile(from, to, true)) {
            if (retries == kRetryBudget) return false;
            ++retries;
            clock.Sleep(kRetryPauseMs);
        }
    }
    return true;
}
