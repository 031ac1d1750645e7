#include "platform/application_help.h"

#include <QVariant>

#include "platform/action.h"

namespace platform {
namespace {

HelpHandler& InstalledHandler() {
    static HelpHandler handler;
    return handler;
}

}  // namespace

void SetHelpHandler(HelpHandler handler) { InstalledHandler() = std::move(handler); }

bool ShowHelpContext(int context, QWidget* owner) {
    const HelpHandler& handler = InstalledHandler();
    return handler && handler(context, owner);
}

int HelpContextOf(const QObject* object) {
    if (!object) return 0;
    if (const auto* command = qobject_cast<const Action*>(object); command && command->HelpContext() != 0)
        return command->HelpContext();
    return object->property(kHelpContextProperty).toInt();
}

}  // namespace platform
