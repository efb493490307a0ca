// Readers of the launcher's other INI files: the banner entries of orl.ini, config_stage.ini and the
// update paths of serverlist.ini.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct BannerEntry {
    std::string bannerUrl;  // opened in the browser when the banner is clicked
    std::string imageUrl;   // the page the banner panel shows
};

// At most 5 entries in key order, from the client folder's orl.ini, else the working folder's. A gap,
// an empty value or "Load_Finish" ends the list.
std::vector<BannerEntry> ReadBannerEntries(const std::string& clientFolder, const std::string& workingFolder);

// The player's download speed cap in bytes per second: "MaxKBps" of [Download] in the working
// folder's ORLConfig.ini, in units of 1024 bytes; 0 (also for a missing or negative value) is no cap.
uint64_t ReadDownloadSpeedCap(const std::string& workingFolder);

// "EnableStarter" of config_stage.ini is not 0.
bool StarterEnabled(const std::string& workingFolder);

// "CurrentClient" of config_stage.ini, "NoneString" when it is not set.
std::string ReadCurrentClient(const std::string& workingFolder);

// "dir" of the client folder's serverlist.ini, defaultDir when it is not set.
std::string ReadUpdateDir(const std::string& clientFolder, const std::string& defaultDir);

// "domain" and "orldir" of the working folder's serverlist.ini (each at most 259 characters).
std::string ReadUpdateDomain(const std::string& defaultDomain);
std::string ReadOrlDir();
