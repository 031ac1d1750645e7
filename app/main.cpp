#include <cstdio>
#include <memory>

#include <QApplication>

#include "app/application_setup.h"
#include "app/command_line.h"
#include "app/main_form.h"
#include "app/settings_file.h"
#include "platform/file_names.h"
#include "platform/file_size_signal.h"
#include "platform/path_text.h"

namespace {

// A path argument is file-name bytes, kept as they are (path_text.h).
QStringList RawArguments(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << platform::PathText(argv[i]);
    return arguments;
}

QString CurrentFolder() { return platform::PathText(platform::CurrentFolder()); }

int Print(std::FILE* stream, const QString& text, int exitCode) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    return exitCode;
}

}  // namespace

int main(int argc, char* argv[]) {
    // Version and usage are answered before the toolkit starts, so they
    // work without a display.
    const TCommandLine early = ParseCommandLine(RawArguments(argc, argv), CurrentFolder());
    if (early.Request == TCommandLine::Help) return Print(stdout, HelpText(), 0);
    if (early.Request == TCommandLine::Version) return Print(stdout, VersionText(), 0);

    platform::WritesFailPastFileSizeLimit();
    QApplication application(argc, argv);
    // Read again without the toolkit's own options, which it has taken
    // out of argv.
    const TCommandLine line = ParseCommandLine(RawArguments(argc, argv), CurrentFolder());
    if (line.Request == TCommandLine::Mistake) return Print(stderr, line.Problem, 2);
    SetUpApplication(application);
    TMainForm mainForm(std::make_unique<SettingsFile>());
    mainForm.SetStartPath(line.Path);
    mainForm.show();
    return application.exec();
}
