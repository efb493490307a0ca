#include "patcher/banner_file.h"

#include <cstdio>

#include "core/launcher_globals.h"
#include "platform/files.h"
#include "platform/resources.h"
#include "platform/transfer.h"
#include "settings/config_files.h"

namespace {

// orl.ini lists a few banners; a larger answer is not a banner list.
constexpr uint64_t kBannerFileMax = 1 << 20;

}  // namespace

bool BannerFileIsStale(const std::string& clientFolder, const std::tm& today) {
    auto found = platform::FindFiles(clientFolder + "\\orl.ini");
    if (found.empty()) return true;
    std::tm changed{};
    localtime_r(&found.front().lastWrite, &changed);
    return changed.tm_mon != today.tm_mon || changed.tm_mday != today.tm_mday;
}

void RefreshBannerFile(const std::string& clientFolder) {
    std::string domain = ReadUpdateDomain(platform::UpdateHostRoot());
    std::string orldir = ReadOrlDir();
    AppendBaseUrl(domain + "/" + orldir);
    if (orldir == "orldir") return;
    std::string url = g_baseUrl + "/orl.ini";
    std::string target = platform::GetCurrentDirectory() + "\\orl.ini";
    platform::HttpSession session("InetURL/1.0");
    platform::Transfer fetch(session, {.url = url, .path = target, .maxBytes = kBannerFileMax});
    if (fetch.Run().state != platform::TransferState::Succeeded) return;
    if (platform::MoveFile(target, clientFolder + "\\orl.ini", true)) {
        std::printf("File Move Successfully.");
        std::fflush(stdout);
    }
}
