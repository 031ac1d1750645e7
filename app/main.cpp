#include <cstdio>

#include <QApplication>

#include "platform/file_size_signal.h"

int main(int argc, char* argv[]) {
    platform::WritesFailPastFileSizeLimit();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelvandor"));
    QApplication::setApplicationDisplayName(QStringLiteral("Kelvandor"));
    std::puts("Kelvandor: the main window is not built yet; the libraries and plug-ins are.");
    return 0;
}
