#pragma once

#include <functional>
#include <optional>

#include <QLineEdit>

// The number of decimals a TFloatEdit shows (1 ... 6).
using TDecimal = int;

// A single-line edit holding a floating-point value, shown right-aligned
// with a fixed number of decimals and optional thousands separators. What
// the user types is read back as a number; anything that is not one is
// replaced by the last valid value, so the field always shows a
// well-formed number.
class TFloatEdit : public QLineEdit {
    Q_OBJECT

public:
    explicit TFloatEdit(QWidget* parent = nullptr);

    double Value() const { return value_; }
    // Ignored when equal to the current value or not a finite number.
    void SetValue(double value);

    bool Separate() const { return separate_; }
    void SetSeparate(bool separate);

    TDecimal Decimal() const { return decimal_; }
    // Clamped to 1 ... 6; always re-renders.
    void SetDecimal(TDecimal decimal);

    // "#,##0.0…" with separators, "###0.0…" without.
    const QString& FormatPattern() const { return pattern_; }

    // Raised after the user changed the text and it was read back.
    std::function<void(TFloatEdit* Sender)> OnChange;

    // value rendered with the given decimals, "," grouping thousands when
    // separate is true.
    static QString FormatValue(double value, TDecimal decimal, bool separate);
    // The number in text (separators ignored); nothing for text that is
    // not a number. Empty text reads as 0.
    static std::optional<double> ParseValue(const QString& text);

private:
    void BuildPattern();
    void Render();
    void HandleUserEdit();

    double value_ = 0;
    bool separate_ = true;
    TDecimal decimal_ = 1;
    QString pattern_;
};
