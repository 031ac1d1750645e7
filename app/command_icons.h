#pragma once

#include <QIcon>

// The images of the main window's commands: one symbolic icon theme for
// every toolbar button and menu entry, so the set looks of one piece on
// any desktop (and under a bare X server, where no theme is configured).
namespace command_icons {

// The theme the commands draw from.
inline constexpr const char* kThemeName = "Adwaita";

// Makes the commands' theme the application's theme unless the desktop's
// own theme already offers the command icons.
void UseCommandTheme();

// The icon of a freedesktop icon name; a null icon for an empty name.
QIcon CommandIcon(const char* iconName);

}  // namespace command_icons
