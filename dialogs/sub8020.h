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
class TSubForm8020 : public QDialog {
    Q_OBJECT

public:
    // target: the folder the new folders go into.
    TSubForm8020(QWidget* owner, std::string target);

    TIntSpinEdit* IntSpinEdit1() const { return count_; }
    QLineEdit* Edit1() const { return edit1_; }
    TIntSpinEdit* IntSpinEdit2() const { return digits_; }
    TIntSpinEdit* IntSpinEdit3() const { return start_; }
    TIntSpinEdit* IntSpinEdit4() const { return increment_; }
    QLineEdit* Edit2() const { return edit2_; }
    QLabel* StaticText1() const { return sample_; }
    QPushButton* OkButton() const { return ok_; }

    TFolderSequence Sequence() const;
    void SampleUpdate();

    void accept() override;

private:
    std::string target_;
    TIntSpinEdit* count_;
    QLineEdit* edit1_;
    TIntSpinEdit* digits_;
    TIntSpinEdit* start_;
    TIntSpinEdit* increment_;
    QLineEdit* edit2_;
    QLabel* sample_;
    QPushButton* ok_;
};
