#include <cstdio>

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelvandor"));
    QApplication::setApplicationDisplayName(QStringLiteral("Kelvandor"));
    std::puts("Kelvandor: the main window is not built yet; the libraries and plug-ins are.");
    return 0;
}
