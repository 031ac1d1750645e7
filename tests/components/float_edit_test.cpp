#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QTest>

#include "components/float_edit.h"
#include "components/int_spin_edit.h"

namespace {

// Replaces the whole text the way a user pastes it.
void Paste(TFloatEdit& edit, const QString& text) {
    QGuiApplication::clipboard()->setText(text);
    edit.selectAll();
    QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
}

TEST(FloatEditTest, RendersWithPatternDecimalsAndSeparators) {
    TFloatEdit edit;
    EXPECT_EQ(edit.text(), "0.0");
    EXPECT_EQ(edit.FormatPattern(), "#,##0.0");
    EXPECT_TRUE(edit.alignment() & Qt::AlignRight);

    edit.SetDecimal(3);
    edit.SetValue(1234.5);
    EXPECT_EQ(edit.text(), "1,234.500");
    edit.SetSeparate(false);
    EXPECT_EQ(edit.text(), "1234.500");
    EXPECT_EQ(edit.FormatPattern(), "###0.000");

    edit.SetDecimal(0);
    EXPECT_EQ(edit.Decimal(), 1);
    edit.SetDecimal(9);
    EXPECT_EQ(edit.Decimal(), 6);

    EXPECT_EQ(TFloatEdit::FormatValue(-1234567.25, 1, true), "-1,234,567.3");
    EXPECT_EQ(TFloatEdit::FormatValue(999.96, 1, true), "1,000.0");
    EXPECT_EQ(TFloatEdit::FormatValue(-0.01, 1, true), "0.0");
}

TEST(FloatEditTest, SettingTheSameValueLeavesTheTextAlone) {
    TFloatEdit edit;
    edit.SetValue(2.5);
    edit.setText("typed");
    edit.SetValue(2.5);
    EXPECT_EQ(edit.text(), "typed");
    edit.SetValue(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(edit.Value(), 2.5);
}

TEST(FloatEditTest, TypedTextIsReadBackAsANumber) {
    TFloatEdit edit;
    int changes = 0;
    edit.OnChange = [&changes](TFloatEdit*) { ++changes; };
    edit.setFocus();

    Paste(edit, "-12,3");
    EXPECT_EQ(edit.Value(), -123);
    EXPECT_EQ(edit.text(), "-123.0");
    EXPECT_EQ(changes, 1);

    // A letter, a second point or a lone point leave the value as it was.
    edit.SetValue(1);
    edit.setCursorPosition(1);
    QTest::keyClick(&edit, Qt::Key_A);
    EXPECT_EQ(edit.text(), "1.0");
    EXPECT_EQ(edit.Value(), 1);
    EXPECT_EQ(edit.cursorPosition(), 2);

    edit.SetValue(1.2);
    Paste(edit, "1.2.3");
    EXPECT_EQ(edit.Value(), 1.2);
    EXPECT_EQ(edit.text(), "1.2");
    Paste(edit, "-");
    EXPECT_EQ(edit.Value(), 1.2);
    Paste(edit, ".");
    EXPECT_EQ(edit.Value(), 1.2);
    EXPECT_EQ(edit.text(), "1.2");

    // Typing digit by digit goes through the same reading at every key.
    edit.selectAll();
    QTest::keyClicks(&edit, "25");
    EXPECT_EQ(edit.Value(), 25);
    EXPECT_EQ(edit.text(), "25.0");

    // Emptying the field is zero.
    edit.selectAll();
    QTest::keyClick(&edit, Qt::Key_Backspace);
    EXPECT_EQ(edit.Value(), 0);
    EXPECT_EQ(edit.text(), "0.0");

    // Programmatic text is not read back.
    edit.setText("9");
    EXPECT_EQ(edit.Value(), 0);
}

TEST(FloatEditTest, ParsesOnlyWellFormedNumbers) {
    EXPECT_EQ(TFloatEdit::ParseValue(""), 0.0);
    EXPECT_EQ(TFloatEdit::ParseValue("1,234.5"), 1234.5);
    EXPECT_EQ(TFloatEdit::ParseValue("-0.5"), -0.5);
    EXPECT_FALSE(TFloatEdit::ParseValue("-"));
    EXPECT_FALSE(TFloatEdit::ParseValue("."));
    EXPECT_FALSE(TFloatEdit::ParseValue("1-2"));
    EXPECT_FALSE(TFloatEdit::ParseValue("1e5"));
    EXPECT_FALSE(TFloatEdit::ParseValue(QString(400, QLatin1Char('9'))));
}

TEST(IntSpinEditTest, RightAlignedWithALimitedTextLength) {
    TIntSpinEdit edit;
    edit.setRange(0, 99999);
    edit.SetMaxLength(3);
    EXPECT_TRUE(edit.alignment() & Qt::AlignRight);
    edit.setFocus();
    edit.selectAll();
    QTest::keyClicks(&edit, "12345");
    edit.interpretText();
    EXPECT_EQ(edit.value(), 123);
}

}  // namespace
