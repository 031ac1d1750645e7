#include "app/command_icons.h"

#include <map>

#include <QStandardPaths>

namespace command_icons {
namespace {

// Freedesktop icon names by command number.
const std::map<int, const char*>& IconNames() {
    static const std::map<int, const char*> names{
        {1010, "document-new-symbolic"},
        {1020, "document-open-symbolic"},
        {1030, "window-close-symbolic"},
        {1040, "document-save-symbolic"},
        {1050, "document-save-as-symbolic"},
        {1060, "document-page-setup-symbolic"},
        {1070, "document-print-symbolic"},
        {1080, "preferences-system-time-symbolic"},
        {1090, "document-edit-symbolic"},
        {1100, "system-run-symbolic"},
        {1110, "document-properties-symbolic"},
        {1120, "application-exit-symbolic"},
        {2010, "edit-undo-symbolic"},
        {2020, "edit-cut-symbolic"},
        {2030, "edit-copy-symbolic"},
        {2040, "edit-paste-symbolic"},
        {2050, "edit-delete-symbolic"},
        {2060, "folder-symbolic"},
        {2070, "send-to-symbolic"},
        {2080, "edit-select-all-symbolic"},
        {2090, "folder-open-symbolic"},
        {2100, "text-x-generic-symbolic"},
        {2110, "selection-mode-symbolic"},
        {3031, "view-grid-symbolic"},
        {3032, "view-app-grid-symbolic"},
        {3033, "view-list-symbolic"},
        {3034, "view-list-bullet-symbolic"},
        {3046, "view-sort-ascending-symbolic"},
        {3047, "view-sort-descending-symbolic"},
        {3060, "view-reveal-symbolic"},
        {3071, "zoom-original-symbolic"},
        {3072, "view-fullscreen-symbolic"},
        {3081, "image-x-generic-symbolic"},
        {3082, "color-select-symbolic"},
        {3090, "view-refresh-symbolic"},
        {4010, "go-previous-symbolic"},
        {4020, "go-next-symbolic"},
        {4030, "go-up-symbolic"},
        {4040, "go-top-symbolic"},
        {4050, "go-bottom-symbolic"},
        {4060, "changes-prevent-symbolic"},
        {4070, "media-skip-backward-symbolic"},
        {4080, "media-skip-forward-symbolic"},
        {4090, "process-stop-symbolic"},
        {5010, "input-mouse-symbolic"},
        {5020, "zoom-fit-best-symbolic"},
        {5030, "zoom-in-symbolic"},
        {5040, "zoom-out-symbolic"},
        {5050, "find-location-symbolic"},
        {5060, "mark-location-symbolic"},
        {5070, "view-restore-symbolic"},
        {5080, "video-display-symbolic"},
        {6010, "list-add-symbolic"},
        {6020, "list-remove-symbolic"},
        {6030, "document-edit-symbolic"},
        {6051, "go-up-symbolic"},
        {6052, "go-down-symbolic"},
        {7010, "list-add-symbolic"},
        {7020, "view-more-symbolic"},
        {7030, "document-edit-symbolic"},
        {7040, "edit-delete-symbolic"},
        {8010, "application-x-addon-symbolic"},
        {8020, "folder-new-symbolic"},
        {8030, "insert-image-symbolic"},
        {8050, "preferences-system-symbolic"},
        {9010, "help-browser-symbolic"},
        {9020, "web-browser-symbolic"},
        {9030, "mail-send-symbolic"},
        {9040, "help-about-symbolic"},
    };
    return names;
}

}  // namespace

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

QIcon CommandIcon(int number) {
    const auto found = IconNames().find(number);
    if (found == IconNames().end()) return {};
    return QIcon::fromTheme(QString::fromLatin1(found->second));
}

}  // namespace command_icons
