#pragma once

#include <QFrame>

class QLabel;

// The text the owner panel shows for a full name: the name, or
// "Known User" when none is recorded.
QString RegisteredOwnerText(const QString& fullName);

// The content the splash window and the version dialog share: the
// application icon, the product name, the version, and the user the
// program is licensed to, on a sky-blue panel.
class TVersionPanel : public QFrame {
    Q_OBJECT

public:
    TVersionPanel(QFrame::Shadow shadow, QWidget* parent);

    QLabel* Image() const { return image_; }
    QLabel* ProductLabel() const { return productLabel_; }
    QLabel* LabelVer() const { return labelVer_; }
    QLabel* LabelReg() const { return labelReg_; }
    QLabel* PanelReg() const { return panelReg_; }
    QLabel* Notice() const { return notice_; }

private:
    QLabel* image_;
    QLabel* productLabel_;
    QLabel* labelVer_;
    QLabel* labelReg_;
    QLabel* panelReg_;
    QLabel* notice_;
};
