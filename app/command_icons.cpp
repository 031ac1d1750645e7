#include "app/command_icons.h"

#include <QStandardPaths>

namespace command_icons {

void UseCommandTheme() {
    if (QIcon::hasThemeIcon(QStringLiteral("edit-copy-symbolic")) &&
        QIcon::hasThemeIcon(QStringLiteral("view-app-grid-symbolic")))
        return;
    // Platforms without a desktop theme (a bare or virtual display) know no
    // icon folders: the XDG data folders hold them.
    QStringList searchPaths = QIcon::themeSearchPaths();
    for (const QString& folder :
         QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("icons"),
                                   QStandardPaths::LocateDirectory))
        if (!searchPaths.contains(folder)) searchPaths << folder;
    QIcon::setThemeSearchPaths(searchPaths);
    QIcon::setThemeName(QString::fromLatin1(kThemeName));
}

QIcon CommandIcon(const char* iconName) {
    if (*iconName == '\0') return {};
    return QIcon::fromTheme(QString::fromLatin1(iconName));
}

}  // namespace command_icons
