// The display modes of the primary output (else of every connected output) from XRandR.
#pragma once

#include "platform/display_mode_source.h"

namespace platform {

class XRandrModeSource : public IDisplayModeSource {
public:
    std::optional<std::vector<ScreenMode>> ListModes() override;
};

}  // namespace platform
