#include <memory>

#include <QApplication>

#include "app/application_setup.h"
#include "app/main_form.h"
#include "app/settings_file.h"
#include "platform/file_size_signal.h"

int main(int argc, char* argv[]) {
    platform::WritesFailPastFileSizeLimit();
    QApplication application(argc, argv);
    SetUpApplication(application);
    TMainForm mainForm(std::make_unique<SettingsFile>());
    mainForm.show();
    return application.exec();
}
