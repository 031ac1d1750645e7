#pragma once

#include <array>
#include <cstdint>

#include <QColor>
#include <QFont>
#include <QString>

// Colour values as the settings file keeps them: 0x00BBGGRR, or
// 0x80000000 + n for system colour n (5 window background, 8 window text).
constexpr std::uint32_t kWindowColorValue = 0x80000005;
constexpr std::uint32_t kWindowTextColorValue = 0x80000008;
QColor ColorOfValue(std::uint32_t value);
std::uint32_t ValueOfColor(const QColor& color);

// Font style bits: bold 1, italic 2, underline 4, strike-out 8.
int FontStyleOf(const QFont& font);

// A background colour and a font with its colour.
struct TFontLook {
    std::uint32_t Color = kWindowColorValue;
    QString FontName = QStringLiteral("MS UI Gothic");
    int FontSize = 9;  // points
    std::uint32_t FontColor = kWindowTextColorValue;
    int FontStyle = 0;

    QFont Font() const;
    void SetFont(const QFont& font);  // name, size and style
    bool operator==(const TFontLook&) const = default;
};

// The file list's attribute colours, in the order of the options dialog.
enum TAttributeColor { acReadOnly, acHiden, acSystem, acArchive, acDirectory, acTemporary, acCompress, acOffline };
constexpr int kAttributeColorCount = 8;

// The settings the options dialog edits. The settings-file key of each
// is named beside it.
struct TOptionSettings {
    QString DefaultPath;        // Kelvandor/DefaultPath
    int Initialize = 0;         // Kelvandor/Initialize: 0 cover the work area, 1 last bounds
    QString CdFolderPath;       // Kelvandor/CD_FolderPath
    QString CdSusiePath;        // Kelvandor/CD_SusiePath
    TFontLook Tree;             // ShellTreeView/Color, FontName, FontSize, FontColor, FontStyle
    TFontLook List;             // ShellListView/Color, FontName, FontSize, FontColor, FontStyle
    TFontLook LockedList;       // ShellListView/LockColor, LockFontName, LockFontSize, LockFontColor, LockFontStyle
    // ShellListView/FontReadOnly, FontHiden, FontSystem, FontArchive,
    // FontDirectory, FontTemporary, FontCompress, FontOffline
    std::array<std::uint32_t, kAttributeColorCount> AttributeColors{
        kWindowTextColorValue, kWindowTextColorValue, kWindowTextColorValue, kWindowTextColorValue,
        kWindowTextColorValue, kWindowTextColorValue, kWindowTextColorValue, kWindowTextColorValue};
    int ClickType = 0;   // ShellControl/ClickType: 0 point and single click, 1 click and double click
    int MouseWheel = 0;  // Kelvandor/MouseWheel: 0 up zooms out, 1 up zooms in

    bool operator==(const TOptionSettings&) const = default;
};
