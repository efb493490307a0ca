#include "settings/settings_records.h"

#include "platform/files.h"
#include "platform/profile.h"

namespace {

constexpr size_t kValueBuffer = 32;

int ReadNumber(const char* section, const char* key, const char* def, const std::string& path) {
    return platform::AtoiRule(platform::GetPrivateProfileString(section, key, def, kValueBuffer, path));
}

}  // namespace

bool DisplaySettings::Load(const std::string& path) {
    if (!platform::ReadFile(path, 0)) return false;
    width = ReadNumber("Resolution", "width", "1024", path);
    height = ReadNumber("Resolution", "height", "768", path);
    windowMode = ReadNumber("WINDOW_MODE", "MODE", "0", path);
    return true;
}

void DisplaySettings::Save(const std::string& path) const {
    platform::WritePrivateProfileString("Resolution", "width", std::to_string(width), path);
    platform::WritePrivateProfileString("Resolution", "height", std::to_string(height), path);
    platform::WritePrivateProfileString("WINDOW_MODE", "MODE", std::to_string(windowMode), path);
}

bool TypeSettings::Load(const std::string& path) {
    if (!platform::ReadFile(path, 0)) return false;
    language = ReadNumber("Type", "language", "2", path);
    server = ReadNumber("Type", "server", "2", path);
    return true;
}

void TypeSettings::Save(const std::string& path) const {
    platform::WritePrivateProfileString("Type", "language", std::to_string(language), path);
    platform::WritePrivateProfileString("Type", "server", std::to_string(server), path);
}
