#include "platform/x11/display_modes_xrandr.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <memory>

namespace platform {
namespace {

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};
struct ResourcesFree {
    void operator()(XRRScreenResources* resources) const { XRRFreeScreenResources(resources); }
};
struct OutputFree {
    void operator()(XRROutputInfo* info) const { XRRFreeOutputInfo(info); }
};

void AppendModes(XRRScreenResources* resources, XRROutputInfo* output, std::vector<ScreenMode>& modes) {
    for (int i = 0; i < output->nmode; ++i) {
        for (int j = 0; j < resources->nmode; ++j) {
            if (resources->modes[j].id == output->modes[i]) {
                modes.push_back({static_cast<int>(resources->modes[j].width),
                                 static_cast<int>(resources->modes[j].height)});
            }
        }
    }
}

}  // namespace

std::optional<std::vector<ScreenMode>> XRandrModeSource::ListModes() {
    std::unique_ptr<Display, DisplayCloser> display(XOpenDisplay(nullptr));
    if (!display) return std::nullopt;
    int eventBase = 0, errorBase = 0;
    if (!XRRQueryExtension(display.get(), &eventBase, &errorBase)) return std::nullopt;
    Window root = DefaultRootWindow(display.get());
    std::unique_ptr<XRRScreenResources, ResourcesFree> resources(
        XRRGetScreenResourcesCurrent(display.get(), root));
    if (!resources) return std::nullopt;
    std::vector<ScreenMode> modes;
    RROutput primary = XRRGetOutputPrimary(display.get(), root);
    if (primary != 0) {
        std::unique_ptr<XRROutputInfo, OutputFree> info(
            XRRGetOutputInfo(display.get(), resources.get(), primary));
        if (info && info->connection == RR_Connected) AppendModes(resources.get(), info.get(), modes);
    }
    if (modes.empty()) {
        for (int i = 0; i < resources->noutput; ++i) {
            std::unique_ptr<XRROutputInfo, OutputFree> info(
                XRRGetOutputInfo(display.get(), resources.get(), resources->outputs[i]));
            if (info && info->connection == RR_Connected) AppendModes(resources.get(), info.get(), modes);
        }
    }
    return modes;
}

}  // namespace platform
