#pragma once

#include <cstdint>

#include <QColor>
#include <QFont>
#include <QString>

class QPalette;

// Colours as the settings file keeps them: 0x00BBGGRR for an explicit
// colour, 0x80000000 + n for system colour n.
constexpr std::uint32_t kColorWindow = 0x80000005u;
constexpr std::uint32_t kColorWindowText = 0x80000008u;

// The colour a value stands for; system colours come from palette.
QColor ColorFromValue(std::uint32_t value, const QPalette& palette);

// Font style bits: bold 1, italic 2, underline 4, strike-out 8.
QFont FontFromStyle(const QString& family, int pointSize, int style);
int StyleOfFont(const QFont& font);
