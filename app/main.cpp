#include <memory>

#include <QApplication>
#include <QIcon>

#include "app/japanese_interface.h"
#include "app/main_form.h"
#include "app/settings_file.h"
#include "platform/file_size_signal.h"

int main(int argc, char* argv[]) {
    platform::WritesFailPastFileSizeLimit();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelvandor"));
    QApplication::setApplicationDisplayName(QStringLiteral("Kelvandor"));
    SetUpJapaneseInterface(application);
    // Outside a desktop session the theme is bare; files and folders still
    // get their icons.
    QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
    TMainForm mainForm(std::make_unique<SettingsFile>());
    mainForm.show();
    return application.exec();
}
