#pragma once

#include <string>
#include <vector>

#include <QDialog>

#include "dialogs/batch_rename.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class TIntSpinEdit;

// Renames several files (or several folders) of one folder at once by a
// numbered name pattern. The user orders the list, excludes items or
// inserts skip rows that use up a number; old and new names stand side by
// side. OK renames everything or, when anything fails, nothing.
class TBatchRenameDialog : public QDialog {
    Q_OBJECT

public:
    // folders: the items are folders; paths: the selected items' absolute
    // paths in selection order; folder: the folder that holds them.
    TBatchRenameDialog(QWidget* owner, bool folders, const std::vector<std::string>& paths, std::string folder);

    QTreeWidget* ListView() const { return list_; }
    QLineEdit* HeaderEdit() const { return header_; }
    QCheckBox* QuoteOldNameBox() const { return quoteOldName_; }
    TIntSpinEdit* DigitsEdit() const { return digits_; }
    TIntSpinEdit* StartEdit() const { return start_; }
    TIntSpinEdit* IncrementEdit() const { return increment_; }
    QLineEdit* FooterEdit() const { return footer_; }
    QCheckBox* UnifyExtensionBox() const { return unifyExtension_; }
    QLineEdit* ExtensionEdit() const { return extension_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* UpButton() const { return up_; }
    QPushButton* DownButton() const { return down_; }
    QPushButton* ExcludeButton() const { return exclude_; }
    QPushButton* SkipButton() const { return skip_; }

    // The rows as they stand: items and skip rows in list order.
    std::vector<TRenameRow> Rows() const;

    // Recomputes the new names from the pattern (unless it holds a
    // forbidden character, which is reported instead).
    void SampleUpdate();

    void accept() override;

private:
    void BuildControls(bool folders);
    void AddItemRow(const std::string& path, bool folders);
    TRenamePattern Pattern() const;
    void UpdateButtons();
    void MoveSelected(int step);
    void ExcludeSelected();
    void InsertSkip();
    int SelectedRow() const;
    void SelectRow(int row);

    std::string folder_;
    QTreeWidget* list_;
    QLineEdit* header_;
    QCheckBox* quoteOldName_;
    TIntSpinEdit* digits_;
    TIntSpinEdit* start_;
    TIntSpinEdit* increment_;
    QLineEdit* footer_;
    QCheckBox* unifyExtension_;
    QLabel* extensionLabel_;
    QLineEdit* extension_;
    QPushButton* ok_;
    QPushButton* up_;
    QPushButton* down_;
    QPushButton* exclude_;
    QPushButton* skip_;
};
