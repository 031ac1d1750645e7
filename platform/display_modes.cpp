#include "display_modes.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <cmath>
#include <memory>

namespace platform {
namespace {

struct DisplayClose {
    void operator()(Display* display) const { XCloseDisplay(display); }
};
struct ResourcesFree {
    void operator()(XRRScreenResources* resources) const { XRRFreeScreenResources(resources); }
};
struct OutputFree {
    void operator()(XRROutputInfo* output) const { XRRFreeOutputInfo(output); }
};

int RefreshRate(const XRRModeInfo& mode) {
    double lines = mode.vTotal;
    if ((mode.modeFlags & RR_DoubleScan) != 0) lines *= 2;
    if ((mode.modeFlags & RR_Interlace) != 0) lines /= 2;
    const double dots = static_cast<double>(mode.hTotal) * lines;
    return dots > 0 ? static_cast<int>(std::lround(static_cast<double>(mode.dotClock) / dots)) : 0;
}

const XRRModeInfo* FindMode(const XRRScreenResources& resources, RRMode id) {
    for (int i = 0; i < resources.nmode; ++i)
        if (resources.modes[i].id == id) return &resources.modes[i];
    return nullptr;
}

}  // namespace

std::vector<DisplayModeFacts> XRandRModes() {
    std::vector<DisplayModeFacts> modes;
    const std::unique_ptr<Display, DisplayClose> display(XOpenDisplay(nullptr));
    if (!display) return modes;
    int eventBase = 0;
    int errorBase = 0;
    if (!XRRQueryExtension(display.get(), &eventBase, &errorBase)) return modes;
    const int screen = DefaultScreen(display.get());
    const int depth = DefaultDepth(display.get(), screen);
    const std::unique_ptr<XRRScreenResources, ResourcesFree> resources(
        XRRGetScreenResources(display.get(), RootWindow(display.get(), screen)));
    if (!resources) return modes;
    for (int o = 0; o < resources->noutput; ++o) {
        const std::unique_ptr<XRROutputInfo, OutputFree> output(
            XRRGetOutputInfo(display.get(), resources.get(), resources->outputs[o]));
        if (!output || output->connection != RR_Connected) continue;
        for (int m = 0; m < output->nmode; ++m)
            if (const XRRModeInfo* mode = FindMode(*resources, output->modes[m]))
                modes.push_back(DisplayModeFacts{depth, static_cast<int>(mode->width), static_cast<int>(mode->height),
                                                 RefreshRate(*mode)});
    }
    return modes;
}

}  // namespace platform
