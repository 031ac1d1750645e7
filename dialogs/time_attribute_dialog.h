#pragma once

#include <optional>
#include <string>
#include <vector>

#include <QDialog>

#include "platform/file_times.h"

class QCheckBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QTimeEdit;

// Changes the creation, last-write and access times and the read-only,
// hidden, archive and system attributes of the selected items at once,
// optionally of everything inside the selected folders too.
class TTimeAttributeDialog : public QDialog {
    Q_OBJECT

public:
    // paths: the selected items' absolute paths, in selection order.
    TTimeAttributeDialog(QWidget* owner, std::vector<std::string> paths);

    QCheckBox* ChangeTimesBox() const { return changeTimes_; }
    QDateEdit* CreationDateField() const { return creationDate_; }
    QTimeEdit* CreationTimeField() const { return creationTime_; }
    QDateEdit* LastWriteDateField() const { return lastWriteDate_; }
    QTimeEdit* LastWriteTimeField() const { return lastWriteTime_; }
    QDateEdit* LastAccessDateField() const { return lastAccessDate_; }
    QCheckBox* ChangeAttributesBox() const { return changeAttributes_; }
    QCheckBox* ReadOnlyBox() const { return readOnly_; }
    QCheckBox* HiddenBox() const { return hidden_; }
    QCheckBox* ArchiveBox() const { return archive_; }
    QCheckBox* SystemBox() const { return system_; }
    QCheckBox* RecursiveBox() const { return recursive_; }
    QPushButton* OkButton() const { return ok_; }
    // Says why the creation time cannot be changed; hidden when it can.
    QLabel* CreationNote() const { return creationNote_; }

    // Enables the fields of the checked groups and OK when one is checked.
    void CheckBoxClick();

    void accept() override;

private:
    void BuildControls();
    void LoadFirstItem();
    std::optional<platform::FileTimes> TimesShown();
    bool AnyFolderSelected() const;

    std::vector<std::string> paths_;
    bool creationKept_ = true;
    QCheckBox* changeTimes_;
    QDateEdit* creationDate_;
    QTimeEdit* creationTime_;
    QDateEdit* lastWriteDate_;
    QTimeEdit* lastWriteTime_;
    QDateEdit* lastAccessDate_;
    QCheckBox* changeAttributes_;
    QCheckBox* readOnly_;
    QCheckBox* hidden_;
    QCheckBox* archive_;
    QCheckBox* system_;
    QCheckBox* recursive_;
    QLabel* creationNote_;
    QPushButton* ok_;
};
