#include "settings/config_files.h"

#include "platform/files.h"
#include "platform/profile.h"

std::vector<BannerEntry> ReadBannerEntries(const std::string& clientFolder,
                                           const std::string& workingFolder) {
    std::string file = clientFolder + "\\orl.ini";
    if (platform::FindFiles(file).empty()) file = workingFolder + "\\orl.ini";
    std::vector<BannerEntry> entries;
    constexpr size_t kUrlBuffer = 2084;
    for (int n = 1; n <= 5; ++n) {
        std::string key = std::to_string(n);
        std::string banner =
            platform::GetPrivateProfileString("BannerURL", key, "Load_Finish", kUrlBuffer, file);
        std::string image =
            platform::GetPrivateProfileString("ImageURL", key, "Load_Finish", kUrlBuffer, file);
        if (banner == "Load_Finish" || image == "Load_Finish" || banner.empty() || image.empty()) break;
        entries.push_back({banner, image});
    }
    return entries;
}

uint64_t ReadDownloadSpeedCap(const std::string& workingFolder) {
    int kbps = platform::GetPrivateProfileInt("Download", "MaxKBps", 0, workingFolder + "\\ORLConfig.ini");
    return kbps > 0 ? static_cast<uint64_t>(kbps) * 1024 : 0;
}

bool StarterEnabled(const std::string& workingFolder) {
    return platform::GetPrivateProfileInt("Download", "EnableStarter", 1,
                                          workingFolder + "\\config_stage.ini") != 0;
}

std::string ReadCurrentClient(const std::string& workingFolder) {
    return platform::GetPrivateProfileString("PATH", "CurrentClient", "NoneString", 260,
                                             workingFolder + "\\config_stage.ini");
}

std::string ReadUpdateDir(const std::string& clientFolder, const std::string& defaultDir) {
    return platform::GetPrivateProfileString("UpdateServer", "dir", defaultDir, 1000,
                                             clientFolder + "\\" + "serverlist.ini");
}

std::string ReadUpdateDomain(const std::string& defaultDomain) {
    return platform::GetPrivateProfileString("UpdateServer", "domain", defaultDomain, 260,
                                             ".\\serverlist.ini");
}

std::string ReadOrlDir() {
    return platform::GetPrivateProfileString("UpdateServer", "orldir", "orl/KOR/Starter", 260,
                                             ".\\serverlist.ini");
}
