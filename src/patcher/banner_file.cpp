#include "patcher/banner_file.h"

#include <cstdio>

#include "core/launcher_globals.h"
#include "platform/files.h"
#include "platform/release_trust.h"
#include "platform/resources.h"
#include "platform/signatures.h"
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
    platform::TransferRequest request{.url = url, .path = target, .maxBytes = kBannerFileMax};
    // With a publisher's key to trust, orl.ini is taken only as the starter folder's signed
    // manifest names it.
    std::vector<std::string> keys = platform::TrustedKeys();
    if (!keys.empty()) {
        platform::CReleaseTrust trust;
        platform::ManifestOutcome outcome =
            trust.FetchAndCheck(session, domain + "/" + orldir, keys, "starter",
                                platform::GetCurrentDirectory() + "/" + "orl-release.ini");
        const platform::ManifestFile* expected = trust.Expected(orldir + "/" + "orl.ini");
        if (outcome != platform::ManifestOutcome::Verified || expected == nullptr) {
            std::fprintf(stderr, "orl.ini: not named by a signed manifest, kept as it was\n");
            return;
        }
        request.expectedSize = expected->size;
        request.expectedSha256 = expected->sha256;
    }
    platform::Transfer fetch(session, request);
    if (fetch.Run().state != platform::TransferState::Succeeded) return;
    if (platform::MoveFile(target, clientFolder + "\\orl.ini", true)) {
        std::printf("File Move Successfully.");
        std::fflush(stdout);
    }
}
