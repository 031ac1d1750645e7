#include "float_edit.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr TDecimal kMinDecimal = 1;
constexpr TDecimal kMaxDecimal = 6;

QString GroupThousands(const QString& digits) {
    QString grouped;
    const qsizetype count = digits.size();
    for (qsizetype i = 0; i < count; ++i) {
        if (i > 0 && (count - i) % 3 == 0) grouped += QLatin1Char(',');
        grouped += digits[i];
    }
    return grouped;
}

}  // namespace

TFloatEdit::TFloatEdit(QWidget* parent) : QLineEdit(parent) {
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    BuildPattern();
    Render();
    connect(this, &QLineEdit::textEdited, this, [this] { HandleUserEdit(); });
}

void TFloatEdit::SetValue(double value) {
    if (value == value_ || !std::isfinite(value)) return;
    value_ = value;
    Render();
}

void TFloatEdit::SetSeparate(bool separate) {
    if (separate == separate_) return;
    separate_ = separate;
    BuildPattern();
    Render();
}

void TFloatEdit::SetDecimal(TDecimal decimal) {
    decimal_ = std::clamp(decimal, kMinDecimal, kMaxDecimal);
    BuildPattern();
    Render();
}

void TFloatEdit::BuildPattern() {
    pattern_ = (separate_ ? QStringLiteral("#,##0.") : QStringLiteral("###0.")) +
               QString(decimal_, QLatin1Char('0'));
}

void TFloatEdit::Render() { setText(FormatValue(value_, decimal_, separate_)); }

QString TFloatEdit::FormatValue(double value, TDecimal decimal, bool separate) {
    QString fixed = QString::number(std::fabs(value), 'f', decimal);
    const qsizetype point = fixed.indexOf(QLatin1Char('.'));
    QString whole = fixed.left(point);
    const QString fraction = fixed.mid(point);
    if (separate) whole = GroupThousands(whole);
    // A value that rounds to zero shows no sign.
    const bool negative =
        value < 0 && std::any_of(fixed.begin(), fixed.end(), [](QChar c) { return c >= u'1' && c <= u'9'; });
    return (negative ? QStringLiteral("-") : QString()) + whole + fraction;
}

std::optional<double> TFloatEdit::ParseValue(const QString& text) {
    if (text.isEmpty()) return 0.0;
    QString source = text;
    source.remove(QLatin1Char(','));
    QString number;
    bool seenPoint = false;
    for (qsizetype i = 0; i < source.size(); ++i) {
        const QChar c = source[i];
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            number += c;
        } else if (c == QLatin1Char('-') && i == 0 && source.size() >= 2) {
            number += c;
        } else if (c == QLatin1Char('.') && !seenPoint) {
            seenPoint = true;
            number += c;
        } else {
            return std::nullopt;
        }
    }
    bool ok = false;
    const double value = number.toDouble(&ok);
    if (!ok || !std::isfinite(value)) return std::nullopt;
    return value;
}

void TFloatEdit::HandleUserEdit() {
    const int caret = cursorPosition();
    if (const auto parsed = ParseValue(text())) value_ = *parsed;
    Render();
    setCursorPosition(std::min<int>(caret, static_cast<int>(text().size())));
    if (OnChange) OnChange(this);
}
