#include "int_spin_edit.h"

#include <QLineEdit>

TIntSpinEdit::TIntSpinEdit(QWidget* parent) : QSpinBox(parent) {
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

int TIntSpinEdit::MaxLength() const {
    const int length = lineEdit()->maxLength();
    return length == 32767 ? 0 : length;
}

void TIntSpinEdit::SetMaxLength(int length) { lineEdit()->setMaxLength(length > 0 ? length : 32767); }
