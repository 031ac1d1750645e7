#include <gtest/gtest.h>

#include <QApplication>

// One application object for all tests, so that widgets, the clipboard and
// fonts work. The platform is offscreen unless the environment says more.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen"
                                                                    : qgetenv("QT_QPA_PLATFORM"));
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelvandor"));
    QApplication::setApplicationDisplayName(QStringLiteral("Kelvandor"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
