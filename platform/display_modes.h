#pragma once

#include <vector>

// The display modes the X server offers through its RandR extension.
namespace platform {

struct DisplayModeFacts {
    int BitsPerPixel = 0;
    int Width = 0;
    int Height = 0;
    int Frequency = 0;  // Hz, rounded
};

// Every mode of every connected output, in the server's order; empty
// when there is no X display or it lacks the extension (for example
// under Wayland without XWayland).
std::vector<DisplayModeFacts> XRandRModes();

}  // namespace platform
