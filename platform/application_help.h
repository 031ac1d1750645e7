#pragma once

#include <functional>

class QObject;
class QWidget;

namespace platform {

// How the program shows the topic of a help context. The application
// installs its manual here, so that controls of the lower layers (a
// context menu's F1) reach it without knowing it.
using HelpHandler = std::function<bool(int context, QWidget* owner)>;

// Installs the handler; an empty one removes it.
void SetHelpHandler(HelpHandler handler);

// Shows the topic of context (0: the contents); false when no help is
// installed or it could not be shown.
bool ShowHelpContext(int context, QWidget* owner);

// The name of the property that gives a plain action or a window its help
// context.
inline constexpr char kHelpContextProperty[] = "helpContext";

// The help context of a command (an Action's own) or of any other object
// (its help context property); 0 when it has none.
int HelpContextOf(const QObject* object);

}  // namespace platform
