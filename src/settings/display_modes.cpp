#include "settings/display_modes.h"

#include <algorithm>

void AdapterModeTable::Add(int32_t width, int32_t height) {
    for (const auto& pair : pairs) {
        if (pair.first == width && pair.second == height) return;
    }
    if (pairs.size() < kAdapterModeCapacity) pairs.emplace_back(width, height);
}

AdapterModeTable& AdapterModes() {
    static AdapterModeTable table;
    return table;
}

void AddDisplayMode(int32_t width, int32_t height) { AdapterModes().Add(width, height); }

int EnumerateDisplayModes(platform::IDisplayModeSource* source) {
    if (source == nullptr) return -1;
    auto modes = source->ListModes();
    if (!modes) return -1;
    for (const platform::ScreenMode& mode : *modes) AddDisplayMode(mode.width, mode.height);
    return 0;
}

std::string DisplayModeText(int32_t width, int32_t height) {
    return std::to_string(width) + " x " + std::to_string(height);
}

std::vector<DisplayMode> DisplayModeRows(const AdapterModeTable& table) {
    std::vector<DisplayMode> rows;
    for (const auto& [width, height] : table.pairs) {
        if (width >= 1024 && height >= 768) rows.push_back({width, height, 0});
    }
    std::sort(rows.begin(), rows.end(), [](const DisplayMode& a, const DisplayMode& b) {
        return static_cast<int64_t>(a.width) * a.height < static_cast<int64_t>(b.width) * b.height;
    });
    if (rows.size() < 2) rows = {{1024, 768, 0}, {1600, 900, 0}};
    for (size_t i = 0; i < rows.size(); ++i) rows[i].index = static_cast<int32_t>(i);
    return rows;
}
