#include "dialogs/option_settings.h"

#include <QGuiApplication>
#include <QPalette>

namespace {

constexpr std::uint32_t kSystemColorFlag = 0x80000000;
constexpr std::uint32_t kWindowIndex = 5;
constexpr std::uint32_t kWindowTextIndex = 8;

}  // namespace

QColor ColorOfValue(std::uint32_t value) {
    if (value & kSystemColorFlag) {
        const QPalette palette = QGuiApplication::palette();
        const std::uint32_t index = value & ~kSystemColorFlag;
        if (index == kWindowIndex) return palette.color(QPalette::Base);
        if (index == kWindowTextIndex) return palette.color(QPalette::Text);
        return palette.color(QPalette::Window);
    }
    return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF), static_cast<int>((value >> 16) & 0xFF));
}

std::uint32_t ValueOfColor(const QColor& color) {
    return static_cast<std::uint32_t>(color.red()) | (static_cast<std::uint32_t>(color.green()) << 8) |
           (static_cast<std::uint32_t>(color.blue()) << 16);
}

int FontStyleOf(const QFont& font) {
    return (font.bold() ? 1 : 0) | (font.italic() ? 2 : 0) | (font.underline() ? 4 : 0) | (font.strikeOut() ? 8 : 0);
}

QFont TFontLook::Font() const {
    QFont font(FontName);
    if (FontSize > 0) font.setPointSize(FontSize);
    font.setBold(FontStyle & 1);
    font.setItalic(FontStyle & 2);
    font.setUnderline(FontStyle & 4);
    font.setStrikeOut(FontStyle & 8);
    return font;
}

void TFontLook::SetFont(const QFont& font) {
    FontName = font.family();
    FontSize = font.pointSize() > 0 ? font.pointSize() : FontSize;
    FontStyle = FontStyleOf(font);
}
