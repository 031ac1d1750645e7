#pragma once

#include <QSpinBox>

// An integer spin edit with right-aligned text, for the number fields of
// the dialogs; they set its range and text length.
class TIntSpinEdit : public QSpinBox {
    Q_OBJECT

public:
    explicit TIntSpinEdit(QWidget* parent = nullptr);

    // The longest text the field accepts (0: no limit).
    int MaxLength() const;
    void SetMaxLength(int length);
};
