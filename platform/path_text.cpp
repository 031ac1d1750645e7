#include "platform/path_text.h"

#include <algorithm>

namespace platform {
namespace {

constexpr char16_t kFirstKeptByte = 0xDC80;
constexpr char16_t kLastKeptByte = 0xDCFF;

// The length of the valid UTF-8 sequence that bytes start with, 0 when
// the first byte begins none (overlong forms, surrogates and code points
// past U+10FFFF are not valid); code receives its code point.
std::size_t Utf8SequenceAt(std::string_view bytes, char32_t& code) {
    const auto byte = [bytes](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 1;
    char32_t smallest = 0;
    if (lead < 0x80) {
        code = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        code = lead & 0x1F;
        smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        code = lead & 0x0F;
        smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        code = lead & 0x07;
        smallest = 0x10000;
    } else {
        return 0;
    }
    if (bytes.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(i) & 0x3F);
    }
    if (code < smallest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

void AppendUtf8(std::string& bytes, char32_t code) {
    if (code < 0x80) {
        bytes += char(code);
    } else if (code < 0x800) {
        bytes += char(0xC0 | (code >> 6));
        bytes += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        bytes += char(0xE0 | (code >> 12));
        bytes += char(0x80 | ((code >> 6) & 0x3F));
        bytes += char(0x80 | (code & 0x3F));
    } else {
        bytes += char(0xF0 | (code >> 18));
        bytes += char(0x80 | ((code >> 12) & 0x3F));
        bytes += char(0x80 | ((code >> 6) & 0x3F));
        bytes += char(0x80 | (code & 0x3F));
    }
}

bool IsPairAt(const QString& text, qsizetype i) {
    return text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
}

}  // namespace

QString PathText(std::string_view bytes) {
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    while (!bytes.empty()) {
        char32_t code = 0;
        const std::size_t length = Utf8SequenceAt(bytes, code);
        if (length == 0) {
            text += QChar(char16_t(0xDC00 + static_cast<unsigned char>(bytes.front())));
            bytes.remove_prefix(1);
            continue;
        }
        if (code >= 0x10000) {
            text += QChar(QChar::highSurrogate(code));
            text += QChar(QChar::lowSurrogate(code));
        } else {
            text += QChar(char16_t(code));
        }
        bytes.remove_prefix(length);
    }
    return text;
}

std::string PathBytes(const QString& text) {
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (IsPairAt(text, i)) {
            AppendUtf8(bytes, QChar::surrogateToUcs4(text[i], text[i + 1]));
            ++i;
        } else if (unit >= kFirstKeptByte && unit <= kLastKeptByte) {
            bytes += char(unit - 0xDC00);
        } else if (QChar::isSurrogate(unit)) {
            AppendUtf8(bytes, QChar::ReplacementCharacter);
        } else {
            AppendUtf8(bytes, unit);
        }
    }
    return bytes;
}

QString ShownText(const QString& pathText) {
    QString text = pathText;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (IsPairAt(text, i)) {
            ++i;
            continue;
        }
        const char16_t unit = text[i].unicode();
        if (QChar::isSurrogate(unit) || unit < 0x20 || unit == 0x7F) text[i] = QChar(QChar::ReplacementCharacter);
    }
    return text;
}

std::string EditedNameBytes(std::string_view oldName, const QString& edited) {
    const QString kept = PathText(oldName);
    const QString shown = ShownText(kept);
    if (edited == shown) return std::string(oldName);
    const qsizetype most = std::min(shown.size(), edited.size());
    qsizetype front = 0;
    while (front < most && shown[front] == edited[front]) ++front;
    // A pair split by the edit belongs to the edited part.
    if (front > 0 && shown[front - 1].isHighSurrogate()) --front;
    qsizetype back = 0;
    while (back < most - front && shown[shown.size() - 1 - back] == edited[edited.size() - 1 - back]) ++back;
    if (back > 0 && shown[shown.size() - back].isLowSurrogate()) --back;
    const QString typed = edited.mid(front, edited.size() - front - back);
    return PathBytes(kept.left(front) + typed + kept.right(back));
}

}  // namespace platform
