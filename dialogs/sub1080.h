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
class TSubForm1080 : public QDialog {
    Q_OBJECT

public:
    // paths: the selected items' absolute paths, in selection order.
    TSubForm1080(QWidget* owner, std::vector<std::string> paths);

    QCheckBox* CheckBoxA() const { return checkBoxA_; }
    QDateEdit* DateTimePicker1D() const { return picker1D_; }
    QTimeEdit* DateTimePicker1T() const { return picker1T_; }
    QDateEdit* DateTimePicker2D() const { return picker2D_; }
    QTimeEdit* DateTimePicker2T() const { return picker2T_; }
    QDateEdit* DateTimePicker3D() const { return picker3D_; }
    QCheckBox* CheckBoxB() const { return checkBoxB_; }
    QCheckBox* CheckBox1() const { return readOnly_; }
    QCheckBox* CheckBox2() const { return hidden_; }
    QCheckBox* CheckBox3() const { return archive_; }
    QCheckBox* CheckBox4() const { return system_; }
    QCheckBox* CheckBoxC() const { return checkBoxC_; }
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
    QCheckBox* checkBoxA_;
    QDateEdit* picker1D_;
    QTimeEdit* picker1T_;
    QDateEdit* picker2D_;
    QTimeEdit* picker2T_;
    QDateEdit* picker3D_;
    QCheckBox* checkBoxB_;
    QCheckBox* readOnly_;
    QCheckBox* hidden_;
    QCheckBox* archive_;
    QCheckBox* system_;
    QCheckBox* checkBoxC_;
    QLabel* creationNote_;
    QPushButton* ok_;
};
