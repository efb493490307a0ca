// The window's mirrors of Config.ini (display settings) and ORLConfig.ini (language and server), and
// the record that carries the player's choices to the game updater.
#pragma once

#include <cstdint>
#include <string>

struct DisplaySettings {
    int32_t width = 1024;
    int32_t height = 768;
    int32_t windowMode = 0;

    // False, with the record unchanged, when the file cannot be opened for reading.
    bool Load(const std::string& path);
    void Save(const std::string& path) const;
};

struct TypeSettings {
    int32_t language = 0;
    int32_t server = 0;

    bool Load(const std::string& path);
    void Save(const std::string& path) const;
};

struct LaunchSettings {
    std::string curdir;
    int32_t server = 2;
    int32_t language = 2;
};
