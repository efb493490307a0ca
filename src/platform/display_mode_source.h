// Where the display modes of the primary display come from: XRandR for the player, a fixed list in
// tests.
#pragma once

#include <optional>
#include <vector>

namespace platform {

struct ScreenMode {
    int width = 0;
    int height = 0;
};

class IDisplayModeSource {
public:
    virtual ~IDisplayModeSource() = default;
    // Every mode the display reports, refresh rates included, in its order; no value when the modes
    // cannot be listed (no display). The list ends early, with what was read, when a mode cannot be.
    virtual std::optional<std::vector<ScreenMode>> ListModes() = 0;
};

}  // namespace platform
