// orl.ini, the banner list the update server provides, renewed at most once a day.
#pragma once

#include <ctime>
#include <string>

// True when the client folder's orl.ini is missing or was last changed on another day of the month or
// in another month than today (the year is not compared).
bool BannerFileIsStale(const std::string& clientFolder, const std::tm& today);

// Fetches a fresh orl.ini from the update server into the working folder and moves it into the client
// folder. Appends the starter folder's URL to g_baseUrl.
void RefreshBannerFile(const std::string& clientFolder);
