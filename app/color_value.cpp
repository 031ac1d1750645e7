#include "color_value.h"

#include <QPalette>

namespace {

constexpr std::uint32_t kSystemColorFlag = 0x80000000u;

// The palette colour standing in for each system colour number.
QColor SystemColor(std::uint32_t number, const QPalette& palette) {
    switch (number) {
        case 5: return palette.color(QPalette::Base);             // window
        case 6: return palette.color(QPalette::Shadow);           // window frame
        case 7: return palette.color(QPalette::WindowText);       // menu text
        case 8: return palette.color(QPalette::Text);             // window text
        case 12: return palette.color(QPalette::Dark);            // application workspace
        case 13: return palette.color(QPalette::Highlight);       // highlight
        case 14: return palette.color(QPalette::HighlightedText);
        case 15: return palette.color(QPalette::Button);          // button face
        case 16: return palette.color(QPalette::Mid);             // button shadow
        case 17: return palette.color(QPalette::Disabled, QPalette::Text);  // grey text
        case 18: return palette.color(QPalette::ButtonText);
        case 20: return palette.color(QPalette::Light);           // button highlight
        case 21: return palette.color(QPalette::Shadow);          // dark shadow
        case 22: return palette.color(QPalette::Midlight);        // 3-D light
        case 23: return palette.color(QPalette::ToolTipText);     // info text
        case 24: return palette.color(QPalette::ToolTipBase);     // info background
        default: return palette.color(QPalette::Window);
    }
}

}  // namespace

QColor ColorFromValue(std::uint32_t value, const QPalette& palette) {
    if ((value & 0xFF000000u) == kSystemColorFlag) return SystemColor(value & 0x00FFFFFFu, palette);
    if ((value & 0xFF000000u) != 0) return palette.color(QPalette::Base);  // "none" and "default"
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

QFont FontFromStyle(const QString& family, int pointSize, int style) {
    QFont font(family);
    font.setPointSize(pointSize);
    font.setBold((style & 1) != 0);
    font.setItalic((style & 2) != 0);
    font.setUnderline((style & 4) != 0);
    font.setStrikeOut((style & 8) != 0);
    return font;
}

int StyleOfFont(const QFont& font) {
    return (font.bold() ? 1 : 0) | (font.italic() ? 2 : 0) | (font.underline() ? 4 : 0) | (font.strikeOut() ? 8 : 0);
}
