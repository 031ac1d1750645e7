#include <filesystem>

#include <gtest/gtest.h>

#include "platform/registered_applications.h"
#include "support/test_desktop.h"

namespace {

using platform::RegisteredApplication;

class RegisteredApplicationsTest : public ::testing::Test {
protected:
    const TestDesktop& desktop = TestDesktop::Installed();

    static QStringList Names(const std::vector<RegisteredApplication>& applications) {
        QStringList names;
        for (const RegisteredApplication& application : applications) names << application.Name();
        return names;
    }
};

TEST_F(RegisteredApplicationsTest, ListsTheApplicationsOfTheFilesTypeWithTheDefaultFirst) {
    QString error;
    const auto applications = platform::ApplicationsForFile(desktop.MakeFile("list.kvtest"), &error);
    EXPECT_EQ(Names(applications),
              QStringList({QStringLiteral("Kelvandor テスト エディタ"),
                           QStringLiteral("Kelvandor テスト ビューア")}));
    ASSERT_FALSE(applications.empty());
    EXPECT_EQ(applications.front().Id(), QStringLiteral("kelvandor-test-editor.desktop"));
    EXPECT_FALSE(applications.front().Icon().isNull());
    EXPECT_TRUE(error.isEmpty());
}

TEST_F(RegisteredApplicationsTest, NoApplicationOrNoFileGiveAnEmptyList) {
    QString error;
    EXPECT_TRUE(platform::ApplicationsForFile(desktop.MakeFile("nobody.kvorphan"), &error).empty());
    EXPECT_TRUE(error.isEmpty());
    EXPECT_TRUE(platform::ApplicationsForFile(desktop.Files() + "/missing.kvtest", &error).empty());
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(RegisteredApplicationsTest, LaunchingStartsTheProgramWithTheFile) {
    const std::string path = desktop.MakeFile("写真 (1) 'a'.kvtest");
    QString error;
    const auto applications = platform::ApplicationsForFile(path, &error);
    ASSERT_EQ(applications.size(), 2u);
    desktop.ClearRecord("viewer");
    EXPECT_TRUE(applications[1].LaunchFile(path, &error)) << error.toStdString();
    EXPECT_EQ(desktop.AwaitRecord("viewer"), path);
}

TEST_F(RegisteredApplicationsTest, AProgramThatVanishedCannotBeLaunched) {
    const std::string path = desktop.MakeFile("gone.kvgone");
    QString error;
    const auto applications = platform::ApplicationsForFile(path, &error);
    ASSERT_EQ(applications.size(), 1u);
    std::filesystem::remove(desktop.ProgramOf("vanishing"));
    EXPECT_FALSE(applications.front().LaunchFile(path, &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(RegisteredApplicationsTest, TheDefaultBrowserGetsTheUriWithItsFragment) {
    const auto browser = platform::DefaultApplicationForType(QStringLiteral("text/html"));
    ASSERT_TRUE(browser.has_value());
    EXPECT_EQ(browser->Id(), QStringLiteral("kelvandor-test-browser.desktop"));
    desktop.ClearRecord("browser");
    QString error;
    EXPECT_TRUE(browser->LaunchUri(QStringLiteral("file:///manual/kelvandor.html#1020"), &error));
    EXPECT_EQ(desktop.AwaitRecord("browser"), "file:///manual/kelvandor.html#1020");
    EXPECT_FALSE(platform::DefaultApplicationForType(QStringLiteral("application/x-kelvandor-orphan")));
}

}  // namespace
