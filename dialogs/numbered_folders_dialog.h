#pragma once

#include <string>

#include <QDialog>

#include "dialogs/numbered_folders.h"

class QLabel;
class QLineEdit;
class QPushButton;
class TIntSpinEdit;

// Creates a run of numbered folders in one folder; shows the first and the
// last name before anything is made.
class TNumberedFoldersDialog : public QDialog {
    Q_OBJECT

public:
    // target: the folder the new folders go into.
    TNumberedFoldersDialog(QWidget* owner, std::string target);

    TIntSpinEdit* CountEdit() const { return count_; }
    QLineEdit* HeaderEdit() const { return header_; }
    TIntSpinEdit* DigitsEdit() const { return digits_; }
    TIntSpinEdit* StartEdit() const { return start_; }
    TIntSpinEdit* IncrementEdit() const { return increment_; }
    QLineEdit* FooterEdit() const { return footer_; }
    QLabel* SampleLabel() const { return sample_; }
    QPushButton* OkButton() const { return ok_; }

    TFolderSequence Sequence() const;
    void SampleUpdate();

    void accept() override;

private:
    std::string target_;
    TIntSpinEdit* count_;
    QLineEdit* header_;
    TIntSpinEdit* digits_;
    TIntSpinEdit* start_;
    TIntSpinEdit* increment_;
    QLineEdit* footer_;
    QLabel* sample_;
    QPushButton* ok_;
};
