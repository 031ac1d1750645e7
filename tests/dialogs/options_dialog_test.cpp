#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTextDocument>
#include <QTest>
#include <QToolButton>

#include "dialogs/options_dialog.h"

namespace {

TOptionSettings SomeSettings() {
    TOptionSettings settings;
    settings.DefaultPath = "/home/user/写真";
    settings.Initialize = 1;
    settings.CdFolderPath = "pictures";
    settings.CdSusiePath = "spi";
    settings.Tree = {0x00FFEEDD, "DejaVu Sans", 11, 0x00000080, 1};
    settings.List = {0x00E0FFE0, "DejaVu Sans", 10, kWindowTextColorValue, 0};
    settings.LockedList = {0x00C0C0FF, "DejaVu Serif", 12, 0x00FF0000, 2};
    settings.AttributeColors[acHiden] = 0x00808080;
    settings.AttributeColors[acDirectory] = 0x00800000;
    settings.ClickType = 1;
    settings.MouseWheel = 1;
    return settings;
}

QColor Background(const QLabel* panel) { return panel->palette().color(QPalette::Window); }
QColor Foreground(const QLabel* panel) { return panel->palette().color(QPalette::WindowText); }

TEST(OptionsDialogTest, OpensOnTheCurrentSettingsAndOkGivesThemBackUnchanged) {
    const TOptionSettings settings = SomeSettings();
    TOptionsDialog dialog(nullptr, settings);
    EXPECT_EQ(dialog.windowTitle(), "オプション");
    ASSERT_EQ(dialog.PageControl()->count(), 3);
    EXPECT_EQ(dialog.PageControl()->tabText(0), "　起 動　");
    EXPECT_EQ(dialog.DefaultFolderEdit()->text(), "/home/user/写真");
    EXPECT_TRUE(dialog.LastPlacementRadio()->isChecked());
    EXPECT_EQ(dialog.PortableFolderEdit()->text(), "pictures");
    EXPECT_EQ(dialog.PortablePluginFolderEdit()->text(), "spi");
    EXPECT_TRUE(dialog.ClickToSelectRadio()->isChecked());
    EXPECT_TRUE(dialog.WheelUpEnlargesRadio()->isChecked());
    EXPECT_EQ(Background(dialog.TreeSample()), QColor(0xDD, 0xEE, 0xFF));
    EXPECT_EQ(Foreground(dialog.TreeSample()), QColor(0x80, 0, 0));
    EXPECT_TRUE(dialog.TreeSample()->font().bold());
    EXPECT_EQ(dialog.LockedListSample()->font().pointSize(), 12);
    EXPECT_TRUE(dialog.LockedListSample()->font().italic());
    EXPECT_EQ(Background(dialog.AttributePanel(acHiden)), QColor(0xE0, 0xFF, 0xE0));
    EXPECT_EQ(Foreground(dialog.AttributePanel(acHiden)), QColor(0x80, 0x80, 0x80));
    EXPECT_EQ(dialog.AttributeButton(acCompress)->text(), "圧縮(&C)...");

    dialog.show();
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Settings(), settings);
}

TEST(OptionsDialogTest, ListLookReachesTheAttributeSamplesWhichKeepTheirColours) {
    TOptionsDialog dialog(nullptr, SomeSettings());
    dialog.ChooseColor = [](const QColor& initial) -> std::optional<QColor> {
        EXPECT_EQ(initial, QColor(0xE0, 0xFF, 0xE0));
        return QColor(0x10, 0x20, 0x30);
    };
    QFont chosen("DejaVu Serif", 14);
    chosen.setUnderline(true);
    dialog.ChooseFont = [&](const QFont&) -> std::optional<QFont> { return chosen; };
    dialog.show();
    dialog.PageControl()->setCurrentIndex(1);
    QTest::mouseClick(dialog.ListColorButton(), Qt::LeftButton);
    QTest::mouseClick(dialog.ListFontButton(), Qt::LeftButton);
    for (int i = 0; i < kAttributeColorCount; ++i) {
        const QLabel* panel = dialog.AttributePanel(static_cast<TAttributeColor>(i));
        EXPECT_EQ(Background(panel), QColor(0x10, 0x20, 0x30));
        EXPECT_EQ(panel->font().pointSize(), 14);
        EXPECT_TRUE(panel->font().underline());
    }
    EXPECT_EQ(Foreground(dialog.AttributePanel(acHiden)), QColor(0x80, 0x80, 0x80));
    EXPECT_EQ(Foreground(dialog.AttributePanel(acDirectory)), QColor(0, 0, 0x80));
    // The locked look is its own.
    EXPECT_EQ(Background(dialog.LockedListSample()), QColor(0xFF, 0xC0, 0xC0));

    dialog.ChooseColor = [](const QColor& initial) -> std::optional<QColor> {
        EXPECT_EQ(initial, QColor(0, 0, 0x80));
        return QColor(0xAB, 0xCD, 0xEF);
    };
    QTest::mouseClick(dialog.AttributeButton(acDirectory), Qt::LeftButton);
    EXPECT_EQ(Foreground(dialog.AttributePanel(acDirectory)), QColor(0xAB, 0xCD, 0xEF));
    // A cancelled chooser changes nothing.
    dialog.ChooseColor = [](const QColor&) -> std::optional<QColor> { return std::nullopt; };
    QTest::mouseClick(dialog.TreeColorButton(), Qt::LeftButton);

    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    const TOptionSettings& result = dialog.Settings();
    EXPECT_EQ(result.List.Color, 0x00302010u);
    EXPECT_EQ(result.List.FontName, "DejaVu Serif");
    EXPECT_EQ(result.List.FontSize, 14);
    EXPECT_EQ(result.List.FontStyle, 4);
    EXPECT_EQ(result.AttributeColors[acDirectory], 0x00EFCDABu);
    EXPECT_EQ(result.Tree, SomeSettings().Tree);
    EXPECT_EQ(result.LockedList, SomeSettings().LockedList);
}

TEST(OptionsDialogTest, ChoicesOfEveryTabReachTheSettings) {
    TOptionsDialog dialog(nullptr, TOptionSettings{});
    EXPECT_TRUE(dialog.MaximizedRadio()->isChecked());
    EXPECT_TRUE(dialog.PointToSelectRadio()->isChecked());
    EXPECT_TRUE(dialog.WheelUpShrinksRadio()->isChecked());
    dialog.ChooseFolder = [](const QString&) -> std::optional<QString> { return QStringLiteral("/srv/images"); };
    dialog.show();
    QTest::mouseClick(dialog.DefaultFolderButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.DefaultFolderEdit()->text(), "/srv/images");
    dialog.LastPlacementRadio()->setChecked(true);
    dialog.PortableFolderEdit()->setText("../photos");
    dialog.PortablePluginFolderEdit()->setText("no such folder");
    dialog.ClickToSelectRadio()->setChecked(true);
    dialog.WheelUpEnlargesRadio()->setChecked(true);
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    const TOptionSettings& result = dialog.Settings();
    EXPECT_EQ(result.DefaultPath, "/srv/images");
    EXPECT_EQ(result.Initialize, 1);
    EXPECT_EQ(result.CdFolderPath, "../photos");
    EXPECT_EQ(result.CdSusiePath, "no such folder");
    EXPECT_EQ(result.ClickType, 1);
    EXPECT_EQ(result.MouseWheel, 1);
}

// What a label shows, markup aside.
QString ShownText(const QLabel* label) {
    QTextDocument document;
    document.setHtml(label->text());
    return document.toPlainText();
}

TEST(OptionsDialogTest, AttributeSamplesShowTheirCaptionsWithoutTheMnemonicMarker) {
    TOptionsDialog dialog(nullptr, SomeSettings());
    const std::pair<TAttributeColor, const char*> shown[] = {
        {acReadOnly, "ReadOnly"}, {acHiden, "Hiden"}, {acSystem, "System"}, {acArchive, "Archive"},
        {acDirectory, "Directory"}, {acTemporary, "Temporary"}, {acCompress, "Compress"}, {acOffline, "Offline"}};
    for (const auto& [which, text] : shown) EXPECT_EQ(ShownText(dialog.AttributePanel(which)), text);
    // The marked letter is underlined, as in the buttons' captions.
    EXPECT_TRUE(dialog.AttributePanel(acHiden)->text().contains("<u>n</u>"));
}

TEST(OptionsDialogTest, TheStartFolderCanBeTypedAndTheChooserStartsAtIt) {
    TOptionsDialog dialog(nullptr, SomeSettings());
    QString chooserStart;
    dialog.ChooseFolder = [&](const QString& current) -> std::optional<QString> {
        chooserStart = current;
        return std::nullopt;
    };
    dialog.show();
    dialog.DefaultFolderEdit()->selectAll();
    QTest::keyClicks(dialog.DefaultFolderEdit(), "/srv/typed");
    EXPECT_EQ(dialog.DefaultFolderEdit()->text(), "/srv/typed");
    QTest::mouseClick(dialog.DefaultFolderButton(), Qt::LeftButton);
    EXPECT_EQ(chooserStart, "/srv/typed");
    EXPECT_EQ(dialog.DefaultFolderEdit()->text(), "/srv/typed");
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.Settings().DefaultPath, "/srv/typed");
}

TEST(OptionsDialogTest, ColourValuesFollowTheSettingsFileLayout) {
    EXPECT_EQ(ColorOfValue(0x00332211), QColor(0x11, 0x22, 0x33));
    EXPECT_EQ(ValueOfColor(QColor(0x11, 0x22, 0x33)), 0x00332211u);
    EXPECT_EQ(ColorOfValue(kWindowColorValue), QGuiApplication::palette().color(QPalette::Base));
    EXPECT_EQ(ColorOfValue(kWindowTextColorValue), QGuiApplication::palette().color(QPalette::Text));
}

}  // namespace
