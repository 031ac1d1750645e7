#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QTest>

#include "app/main_command_table.h"
#include "app/main_commands.h"
#include "app/main_form.h"
#include "app/settings_file.h"
#include "components/prg_status_bar.h"
#include "platform/action_list.h"
#include "raster/raster.h"
#include "raster/raster_layers.h"
#include "raster/raster_tree_view.h"
#include "shell/shell_list_view.h"
#include "shell/shell_tree_view.h"
#include "support/event_wait.h"
#include "support/listing_wait.h"
#include "support/scripted_message_boxes.h"
#include "support/temp_folder.h"
#include "support/tree_readings.h"

// Failures name the command.
inline std::ostream& operator<<(std::ostream& out, TCommand command) { return out << CommandRow(command).Name; }

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

    // The folder of test images most tests start in.
    QString Pictures() const { return QString::fromStdString(folder.File("pictures")); }

    // Settings that start in Pictures() with the test plug-in, then more.
    std::string StartIni(const std::string& more = std::string()) const {
        return "[Kelvandor]\nDefaultPath=" + Pictures().toStdString() + "\n" + PluginLine() + more;
    }

    // The window over the settings, not shown yet.
    void CreateForm() {
        std::filesystem::create_directories(folder.File("bin"));
        form = std::make_unique<TMainForm>(
            std::make_unique<SettingsFile>(folder.File("bin/kelvandor"), folder.File("config")),
            std::chrono::milliseconds(0));
    }

    TMainForm& Start() {
        CreateForm();
        form->show();
        EXPECT_TRUE(ProcessEventsUntil([&] { return form->Started(); }));
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
        EXPECT_TRUE(WaitUntilListed(*form->ShellListView()));
        EXPECT_TRUE(ReadingsDone(*form->ShellTreeView()));
        return *form;
    }

    void Close() {
        form->close();
        form.reset();
    }

    QString Ini(const QString& key) const {
        return QSettings(QString::fromStdString(IniPath()), QSettings::IniFormat).value(key).toString();
    }

    TSHListView& List() const { return *form->ShellListView(); }
    TSHTreeView& Tree() const { return *form->ShellTreeView(); }
    TMainCommands& Commands() const { return form->Commands(); }
    platform::Action* Command(TCommand command) const { return Commands().Command(command); }

    // The state of a command as the idle pass leaves it now.
    bool EnabledNow(TCommand command) const {
        Commands().ActionList().UpdateActions();
        return Command(command)->isEnabled();
    }

    // Runs a command as a menu click does: only when enabled now.
    void Run(TCommand command) const {
        Commands().ActionList().UpdateActions();
        Command(command)->trigger();
    }

    // Whether the file list shows an entry of that name now.
    bool Listed(const QString& name) const { return FindRow(name) >= 0; }

    // The list's row of an entry that must be there once the folder has
    // been read.
    int RowOf(const QString& name) const {
        WaitUntilListed(List());
        const int row = FindRow(name);
        if (row < 0) ADD_FAILURE() << "no row " << name.toStdString();
        return row;
    }

    // Two new layers of the open image for drags between them: the lower
    // one active and holding one object, the marker "目印".
    struct MarkedLayers {
        TRasterLayer* lower = nullptr;
        TRasterLayer* upper = nullptr;
        TRasterObject* marker = nullptr;
    };
    MarkedLayers AddMarkedLayers() const {
        MarkedLayers added;
        TRasterLayers& layers = form->Raster()->Layers();
        added.lower = layers.NewLayer();
        added.upper = layers.NewLayer();
        added.lower->SetMode(lmActive);
        auto marker = std::make_unique<TRasterObject>(added.lower);
        marker->SetName(QStringLiteral("目印"));
        added.marker = added.lower->AddObject(std::move(marker));
        return added;
    }

    // The layer tree's node of a layer; null when it has none.
    QTreeWidgetItem* LayerNode(const TRasterLayer* layer) const {
        TRasterTreeView* tree = form->RasterTreeView();
        for (int i = 0; i < tree->NodeCount(); ++i)
            if (TRasterTreeView::NodeLayer(tree->NodeAt(i)) == layer) return tree->NodeAt(i);
        return nullptr;
    }

    QString Panel(int index) const { return form->StatusBar()->Panel(index).Text; }

    QString TestImage(const std::string& name, const std::string& words) {
        return QString::fromStdString(folder.Write(name, "KTESTSPI " + words + "\n"));
    }

    static QRect WorkArea() { return QGuiApplication::primaryScreen()->availableGeometry(); }

    ScriptedMessageBoxes messages;
    TempFolder folder;
    std::unique_ptr<TMainForm> form;

private:
    int FindRow(const QString& name) const {
        for (int row = 0; row < List().RowCount(); ++row)
            if (List().Model()->index(row, 0).data().toString() == name) return row;
        return -1;
    }
};
