// The display modes offered in the resolution list: the adapter's distinct (width, height) pairs in
// the order first reported, and the list built from them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/display_mode_source.h"

struct DisplayMode {
    int32_t width;
    int32_t height;
    int32_t index;
};

// The adapter mode table keeps at most this many pairs; further pairs are ignored.
inline constexpr size_t kAdapterModeCapacity = 269;

struct AdapterModeTable {
    std::vector<std::pair<int32_t, int32_t>> pairs;
    void Add(int32_t width, int32_t height);
};
// The process's table, filled once at start-up.
AdapterModeTable& AdapterModes();

void AddDisplayMode(int32_t width, int32_t height);
// Fills the table from source: 0, or -1 when the modes cannot be listed or the list broke off.
int EnumerateDisplayModes(platform::IDisplayModeSource* source);

// The list's rows: pairs of at least 1024 x 768, by pixel count, or the two fallback modes when fewer
// than two qualify.
std::vector<DisplayMode> DisplayModeRows(const AdapterModeTable& table);
std::string DisplayModeText(int32_t width, int32_t height);
