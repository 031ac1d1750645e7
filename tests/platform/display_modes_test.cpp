#include <gtest/gtest.h>

#include <QProcess>

#include "platform/display_modes.h"

namespace {

// Sets an environment variable for one scope.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const QByteArray& value)
        : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {
        if (value.isNull()) qunsetenv(name);
        else qputenv(name, value);
    }
    ~ScopedEnvironment() {
        if (had_) qputenv(name_, old_);
        else qunsetenv(name_);
    }

private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

TEST(DisplayModesTest, NoDisplayMeansNoModes) {
    const ScopedEnvironment display("DISPLAY", QByteArray());
    EXPECT_TRUE(platform::XRandRModes().empty());
}

TEST(DisplayModesTest, ListsTheModesOfAVirtualServer) {
    QProcess server;
    // The server picks a free display number and writes it to its output.
    server.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                                          QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                                          QStringLiteral("1024x768x24")});
    if (!server.waitForStarted()) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_TRUE(server.waitForReadyRead(30000));
    const QByteArray number = server.readLine().trimmed();
    ASSERT_FALSE(number.isEmpty());
    std::vector<platform::DisplayModeFacts> modes;
    {
        const ScopedEnvironment display("DISPLAY", ":" + number);
        modes = platform::XRandRModes();
    }
    server.terminate();
    server.waitForFinished();

    ASSERT_FALSE(modes.empty());
    const auto current = std::find_if(modes.begin(), modes.end(),
                                      [](const auto& mode) { return mode.Width == 1024 && mode.Height == 768; });
    ASSERT_NE(current, modes.end());
    EXPECT_EQ(current->BitsPerPixel, 24);
    // A virtual server keeps no pixel clock, so no refresh rate.
    EXPECT_EQ(current->Frequency, 0);
}

}  // namespace
