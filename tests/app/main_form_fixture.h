#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QTest>

#include "app/main_form.h"
#include "app/settings_file.h"
#include "components/prg_status_bar.h"
#include "support/event_wait.h"
#include "support/scripted_message_boxes.h"
#include "support/temp_folder.h"

// The main window over a settings file in a temporary folder, as if the
// executable lived there; the splash does not wait.
class MainFormTest : public ::testing::Test {
protected:
    std::string IniPath() const { return folder.File("bin/kelvandor.ini"); }

    void WriteIni(const std::string& text) {
        std::filesystem::create_directories(folder.File("bin"));
        folder.Write("bin/kelvandor.ini", text);
    }

    // The test plug-in's folder, as the settings would name it.
    static std::string PluginLine() { return std::string("SusiePath=") + KELVANDOR_TEST_PLUGIN_DIR + "\n"; }

    TMainForm& Start() {
        std::filesystem::create_directories(folder.File("bin"));
        form = std::make_unique<TMainForm>(
            std::make_unique<SettingsFile>(folder.File("bin/kelvandor"), folder.File("config")),
            std::chrono::milliseconds(0));
        form->show();
        EXPECT_TRUE(ProcessEventsUntil([&] { return form->Started(); }));
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
        return *form;
    }

    void Close() {
        form->close();
        form.reset();
    }

    QString Ini(const QString& key) const {
        return QSettings(QString::fromStdString(IniPath()), QSettings::IniFormat).value(key).toString();
    }

    QString Panel(int index) const { return form->StatusBar()->Panel(index).Text; }

    QString TestImage(const std::string& name, const std::string& words) {
        return QString::fromStdString(folder.Write(name, "KTESTSPI " + words + "\n"));
    }

    static QRect WorkArea() { return QGuiApplication::primaryScreen()->availableGeometry(); }

    ScriptedMessageBoxes messages;
    TempFolder folder;
    std::unique_ptr<TMainForm> form;
};
