#include "application_setup.h"

#include <QApplication>
#include <QIcon>

#include "app/japanese_interface.h"

void SetUpApplication(QApplication& application) {
    QApplication::setApplicationName(QStringLiteral("Kelvandor"));
    QApplication::setApplicationDisplayName(QStringLiteral("Kelvandor"));
    // The desktop matches the window to its menu entry by this name.
    QApplication::setDesktopFileName(QStringLiteral("org.kelvandor.Kelvandor"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/application/kelvandor.svg")));
    SetUpJapaneseInterface(application);
    // Outside a desktop session the theme is bare; files and folders still
    // get their icons.
    QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
}
