#pragma once

#include <array>
#include <functional>
#include <optional>

#include <QColor>
#include <QDialog>
#include <QFont>

#include "dialogs/option_settings.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QToolButton;

// The options: start-up folder and window placement, the portable
// (relative) folders, the look of the folder tree and the file list, the
// file list's attribute colours, the click and mouse-wheel behaviour. The
// sample panels show the values being edited; OK hands them back through
// Settings(), Cancel drops them.
class TOptionsDialog : public QDialog {
    Q_OBJECT

public:
    TOptionsDialog(QWidget* owner, const TOptionSettings& current);

    // The edited values (those of OK once the dialog was accepted).
    const TOptionSettings& Settings() const { return settings_; }

    // The standard choosers; tests put their own answers here.
    std::function<std::optional<QColor>(const QColor& initial)> ChooseColor;
    std::function<std::optional<QFont>(const QFont& initial)> ChooseFont;
    // The folder chooser starts at the folder the field names.
    std::function<std::optional<QString>(const QString& current)> ChooseFolder;

    QTabWidget* PageControl() const { return pages_; }
    QLineEdit* DefaultFolderEdit() const { return defaultFolder_; }
    QToolButton* DefaultFolderButton() const { return defaultFolderButton_; }
    QRadioButton* MaximizedRadio() const { return maximized_; }
    QRadioButton* LastPlacementRadio() const { return lastPlacement_; }
    QLineEdit* PortableFolderEdit() const { return portableFolder_; }
    QLineEdit* PortablePluginFolderEdit() const { return portablePluginFolder_; }
    QLabel* TreeSample() const { return treeSample_; }
    QLabel* ListSample() const { return listSample_; }
    QLabel* LockedListSample() const { return lockedListSample_; }
    QLabel* AttributePanel(TAttributeColor which) const { return attributePanels_[which]; }
    QPushButton* AttributeButton(TAttributeColor which) const { return attributeButtons_[which]; }
    // "背景色(&B)...", "フォント(&F)..." of the tree; "背景色(&K)...",
    // "フォント(&V)..." of the list; "背景色(&L)...", "フォント(&I)..." locked.
    QPushButton* TreeColorButton() const { return treeColor_; }
    QPushButton* TreeFontButton() const { return treeFont_; }
    QPushButton* ListColorButton() const { return listColor_; }
    QPushButton* ListFontButton() const { return listFont_; }
    QPushButton* LockColorButton() const { return lockColor_; }
    QPushButton* LockFontButton() const { return lockFont_; }
    QRadioButton* PointToSelectRadio() const { return pointToSelect_; }
    QRadioButton* ClickToSelectRadio() const { return clickToSelect_; }
    QRadioButton* WheelUpShrinksRadio() const { return wheelUpShrinks_; }
    QRadioButton* WheelUpEnlargesRadio() const { return wheelUpEnlarges_; }
    QPushButton* OkButton() const { return ok_; }

    void accept() override;

private:
    QWidget* BuildStartPage();
    QWidget* BuildLookPage();
    QWidget* BuildOperationPage();
    void ShowSamples();
    void PickColor(std::uint32_t& value);
    void PickFont(TFontLook& look);
    void PickFolder();

    TOptionSettings settings_;
    QTabWidget* pages_;
    QLineEdit* defaultFolder_;
    QToolButton* defaultFolderButton_;
    QRadioButton* maximized_;
    QRadioButton* lastPlacement_;
    QLineEdit* portableFolder_;
    QLineEdit* portablePluginFolder_;
    QLabel* treeSample_;
    QLabel* listSample_;
    QLabel* lockedListSample_;
    std::array<QLabel*, kAttributeColorCount> attributePanels_{};
    std::array<QPushButton*, kAttributeColorCount> attributeButtons_{};
    QPushButton* treeColor_;
    QPushButton* treeFont_;
    QPushButton* listColor_;
    QPushButton* listFont_;
    QPushButton* lockColor_;
    QPushButton* lockFont_;
    QRadioButton* pointToSelect_;
    QRadioButton* clickToSelect_;
    QRadioButton* wheelUpShrinks_;
    QRadioButton* wheelUpEnlarges_;
    QPushButton* ok_;
};
