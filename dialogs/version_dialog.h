#pragma once

#include <QDialog>

class QPushButton;
class TVersionPanel;

// The version dialog of the Help menu: the splash window's content with an
// OK button.
class TVersionDialog : public QDialog {
    Q_OBJECT

public:
    explicit TVersionDialog(QWidget* owner = nullptr);

    TVersionPanel* Panel() const { return panel_; }
    QPushButton* OkButton() const { return okButton_; }

private:
    TVersionPanel* panel_;
    QPushButton* okButton_;
};
