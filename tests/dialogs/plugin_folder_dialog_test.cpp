#include <filesystem>

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "dialogs/plugin_folder_dialog.h"
#include "plugins/susie_plug.h"
#include "plugins/wine_bridge.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

QStringList Column(const QTreeWidget* list, int column) {
    QStringList texts;
    for (int i = 0; i < list->topLevelItemCount(); ++i) texts << list->topLevelItem(i)->text(column);
    return texts;
}

TEST(PluginFolderDialogTest, ListsWhatEachPluginReportsSortedByName) {
    TSusiePlugs host;
    host.SetPath(KELVANDOR_PLUGIN_DIR);
    TPluginFolderDialog dialog(nullptr, host);
    EXPECT_EQ(dialog.windowTitle(), "Susieプラグインの設定");
    EXPECT_EQ(dialog.FolderEdit()->text(), KELVANDOR_PLUGIN_DIR);
    const QTreeWidget* list = dialog.PluginList();
    EXPECT_EQ(Column(list, 0), QStringList({"ifbmp.spi", "ifgif.spi", "ifjpeg.spi", "ifpng.spi", "iftiff.spi", "ifwebp.spi"}));
    const int png = Column(list, 0).indexOf("ifpng.spi");
    EXPECT_TRUE(list->topLevelItem(png)->text(2).contains("png", Qt::CaseInsensitive));
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        for (int column = 1; column < 4; ++column) EXPECT_FALSE(list->topLevelItem(i)->text(column).isEmpty());
        EXPECT_TRUE(list->topLevelItem(i)->icon(0).isNull());
    }
    // Listing used a registry of its own: nothing of the host stays loaded.
    EXPECT_FALSE(host.InUse());
}

TEST(PluginFolderDialogTest, BrokenLibrariesAreLeftOutAndOnlyUpdateSwitchesTheHost) {
    TempFolder folder;
    fs::copy_file(fs::path(KELVANDOR_PLUGIN_DIR) / "ifpng.spi", folder.File("b.spi"));
    fs::copy_file(fs::path(KELVANDOR_PLUGIN_DIR) / "ifbmp.spi", folder.File("a.spi"));
    folder.Write("broken.spi", "not a library");
    fs::copy_file(fs::path(KELVANDOR_TEST_PLUGIN_DIR) / "variants" / "ktest_no_getpicture.spi", folder.File("c.spi"));
    TempFolder empty;

    TSusiePlugs host;
    host.SetPath(KELVANDOR_PLUGIN_DIR);
    TPluginFolderDialog dialog(nullptr, host);
    dialog.SetFolder(folder.Path());
    EXPECT_EQ(Column(dialog.PluginList(), 0), QStringList({"a.spi", "b.spi"}));
    dialog.SetFolder(empty.Path());
    EXPECT_EQ(dialog.PluginList()->topLevelItemCount(), 0);
    EXPECT_EQ(host.Path(), KELVANDOR_PLUGIN_DIR);

    dialog.show();
    QTest::mouseClick(dialog.UpdateButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(host.Path(), empty.Path());
    EXPECT_EQ(host.Count(), 0);
}

// The head of a 32-bit Windows DLL: enough to be taken for a Windows plug-in.
std::string WindowsDllHead() {
    std::string head(512, '\0');
    head[0] = 'M';
    head[1] = 'Z';
    head[0x3c] = char(0x80);
    head.replace(0x80, 4, std::string("PE\0\0", 4));
    head[0x84] = char(0x4c);  // i386
    head[0x85] = char(0x01);
    head[0x97] = char(0x20);  // a DLL
    return head;
}

TEST(PluginFolderDialogTest, AWindowsPluginThatCannotRunHereIsListedWithTheReason) {
    TempFolder folder;
    fs::copy_file(fs::path(KELVANDOR_PLUGIN_DIR) / "ifbmp.spi", folder.File("a.spi"));
    folder.Write("b.spi", WindowsDllHead());
    TWineBridgeSettings noWine;
    noWine.WineCommand = folder.File("no-wine");
    TWineBridge::Configure(noWine);

    TSusiePlugs host;
    host.SetPath(KELVANDOR_PLUGIN_DIR);
    TPluginFolderDialog dialog(nullptr, host);
    dialog.SetFolder(folder.Path());
    const QTreeWidget* list = dialog.PluginList();
    ASSERT_EQ(Column(list, 0), QStringList({"a.spi", "b.spi"}));
    const QTreeWidgetItem* windows = list->topLevelItem(1);
    EXPECT_TRUE(windows->text(3).contains("Wine")) << windows->text(3).toStdString();
    EXPECT_FALSE(windows->flags() & Qt::ItemIsEnabled);
    EXPECT_TRUE(list->topLevelItem(0)->flags() & Qt::ItemIsEnabled);
    TWineBridge::Configure(TWineBridgeSettings{});
}

TEST(PluginFolderDialogTest, CancelLeavesTheHostAlone) {
    TempFolder folder;
    TSusiePlugs host;
    host.SetPath(KELVANDOR_PLUGIN_DIR);
    TPluginFolderDialog dialog(nullptr, host);
    dialog.SetFolder(folder.Path());
    dialog.reject();
    EXPECT_EQ(host.Path(), KELVANDOR_PLUGIN_DIR);
    EXPECT_EQ(host.Count(), 6);
}

}  // namespace
