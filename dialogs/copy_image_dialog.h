#pragma once

#include <QDialog>

class QButtonGroup;
class QRadioButton;
class TRaster;

// Asks in which size the displayed image goes to the clipboard: at the
// image's actual size or at the size shown on screen. OK copies.
class TCopyImageDialog : public QDialog {
    Q_OBJECT

public:
    TCopyImageDialog(QWidget* owner, TRaster* raster);

    // 0 actual size, 1 displayed size.
    int ItemIndex() const;
    void SetItemIndex(int index);
    QRadioButton* Item(int index) const;

    void accept() override;

private:
    TRaster* raster_;
    QButtonGroup* kinds_;
};
