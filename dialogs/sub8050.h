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
class TSubForm8050 : public QDialog {
    Q_OBJECT

public:
    TSubForm8050(QWidget* owner, const TOptionSettings& current);

    // The edited values (those of OK once the dialog was accepted).
    const TOptionSettings& Settings() const { return settings_; }

    // The standard choosers; tests put their own answers here.
    std::function<std::optional<QColor>(const QColor& initial)> ChooseColor;
    std::function<std::optional<QFont>(const QFont& initial)> ChooseFont;
    // The folder chooser starts at the folder the field names.
    std::function<std::optional<QString>(const QString& current)> ChooseFolder;

    QTabWidget* PageControl() const { return pages_; }
    QLineEdit* Edit111() const { return edit111_; }
    QToolButton* SpeedButton111() const { return speedButton111_; }
    QRadioButton* RadioButton121() const { return radio121_; }
    QRadioButton* RadioButton122() const { return radio122_; }
    QLineEdit* Edit131() const { return edit131_; }
    QLineEdit* Edit132() const { return edit132_; }
    QLabel* Panel211() const { return panel211_; }
    QLabel* Panel221() const { return panel221_; }
    QLabel* Panel222() const { return panel222_; }
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
    QRadioButton* RadioButton311() const { return radio311_; }
    QRadioButton* RadioButton312() const { return radio312_; }
    QRadioButton* RadioButton321() const { return radio321_; }
    QRadioButton* RadioButton322() const { return radio322_; }
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
    QLineEdit* edit111_;
    QToolButton* speedButton111_;
    QRadioButton* radio121_;
    QRadioButton* radio122_;
    QLineEdit* edit131_;
    QLineEdit* edit132_;
    QLabel* panel211_;
    QLabel* panel221_;
    QLabel* panel222_;
    std::array<QLabel*, kAttributeColorCount> attributePanels_{};
    std::array<QPushButton*, kAttributeColorCount> attributeButtons_{};
    QPushButton* treeColor_;
    QPushButton* treeFont_;
    QPushButton* listColor_;
    QPushButton* listFont_;
    QPushButton* lockColor_;
    QPushButton* lockFont_;
    QRadioButton* radio311_;
    QRadioButton* radio312_;
    QRadioButton* radio321_;
    QRadioButton* radio322_;
    QPushButton* ok_;
};
