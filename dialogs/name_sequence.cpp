#include "dialogs/name_sequence.h"

#include <algorithm>

#include <QStringList>

#include "platform/path_text.h"

namespace {

const QString kForbiddenCharacters = QStringLiteral("\\/:,;*?\"<>|");

}  // namespace

bool HasForbiddenCharacter(const QString& text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) { return kForbiddenCharacters.contains(c); });
}

QString ForbiddenCharacterMessage() {
    QStringList characters;
    for (QChar c : kForbiddenCharacters) characters << QString(c);
    return QStringLiteral("ファイル名には次の文字は使えません。\r\n　　　") + characters.join(QLatin1Char(' '));
}

std::string SequenceNumberText(int digits, std::int64_t start, std::int64_t increment, std::int64_t position) {
    if (digits <= 0) return {};
    const std::int64_t number = start + position * increment;
    std::string text = std::to_string(number < 0 ? -number : number);
    if (text.size() < static_cast<std::size_t>(digits)) text.insert(0, digits - text.size(), '0');
    return number < 0 ? '-' + text : text;
}

std::string FileNameBytes(const QString& text) { return platform::PathBytes(text); }
