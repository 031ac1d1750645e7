#include "platform/shell_collation.h"

#include <algorithm>
#include <array>
#include <cstring>

#include <QCollator>
#include <QLocale>

#include "platform/path_text.h"

namespace platform {
namespace {

// Names made only of printable ASCII are compared with a table of the
// collator's own primary ranks, so that sorting large folders does not
// pay for a full collation per comparison; every other name goes to the
// collator. Both paths give the same order.
class NaturalCollator {
public:
    NaturalCollator() {
        collator_.setNumericMode(true);
        collator_.setCaseSensitivity(Qt::CaseInsensitive);
        collator_.setIgnorePunctuation(false);
        BuildRanks();
    }

    int Compare(std::string_view a, std::string_view b) const {
        if (IsPrintableAscii(a) && IsPrintableAscii(b)) return CompareAscii(a, b);
        return CompareWithCollator(a, b);
    }

    // The start of a printable ASCII name's order key: each character as
    // its rank plus one, each digit run as the digits' rank, its length
    // without leading zeros, and those digits; compared bytewise, keys
    // order as CompareAscii does. Zeros pad a short key and sort first.
    bool KeyStart(std::string_view name, std::uint64_t& high, std::uint64_t& low) const {
        if (!keysAgree_ || !IsPrintableAscii(name)) return false;
        std::array<std::uint8_t, 16> bytes{};
        std::size_t out = 0;
        auto put = [&](int byte) {
            if (out < bytes.size()) bytes[out++] = static_cast<std::uint8_t>(byte);
        };
        for (std::size_t i = 0; i < name.size() && out < bytes.size();) {
            if (!IsDigit(name[i])) {
                put(ranks_[static_cast<unsigned char>(name[i++])] + 1);
                continue;
            }
            std::string_view digits = DigitRun(name, i);
            while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
            if (digits.size() > 255) return false;
            put(ranks_['0'] + 1);
            put(static_cast<int>(digits.size()));
            for (const char digit : digits) put(digit);
        }
        high = low = 0;
        for (std::size_t i = 0; i < 8; ++i) high = high << 8 | bytes[i];
        for (std::size_t i = 8; i < 16; ++i) low = low << 8 | bytes[i];
        return true;
    }

    int CompareWithCollator(std::string_view a, std::string_view b) const {
        return collator_.compare(QString::fromUtf8(a.data(), static_cast<qsizetype>(a.size())),
                                 QString::fromUtf8(b.data(), static_cast<qsizetype>(b.size())));
    }

    int Compare(const QString& a, const QString& b) const { return collator_.compare(a, b); }

private:
    static constexpr char kFirst = 0x20;
    static constexpr char kLast = 0x7E;

    static bool IsPrintableAscii(std::string_view text) {
        for (const char c : text)
            if (c < kFirst || c > kLast) return false;
        return true;
    }

    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

    // Rank of each printable character: characters the collator holds
    // equal share a rank; all digits share the rank of '0' because digit
    // runs are compared by value.
    void BuildRanks() {
        std::array<char, kLast - kFirst + 1> chars{};
        for (int i = 0; i < static_cast<int>(chars.size()); ++i) chars[i] = static_cast<char>(kFirst + i);
        std::sort(chars.begin(), chars.end(), [this](char x, char y) {
            return collator_.compare(QString(QChar(x)), QString(QChar(y))) < 0;
        });
        int rank = 0;
        for (std::size_t i = 0; i < chars.size(); ++i) {
            if (i > 0 && collator_.compare(QString(QChar(chars[i - 1])), QString(QChar(chars[i]))) != 0) ++rank;
            ranks_[static_cast<unsigned char>(chars[i])] = rank;
        }
        for (char digit = '1'; digit <= '9'; ++digit) ranks_[static_cast<unsigned char>(digit)] = ranks_['0'];
        // A key puts a whole digit run where CompareAscii steps over single
        // characters; the two agree only while no other character ranks
        // with the digits.
        for (int c = kFirst; c <= kLast; ++c)
            if (!IsDigit(static_cast<char>(c)) && ranks_[static_cast<unsigned char>(c)] == ranks_['0']) keysAgree_ = false;
    }

    static std::string_view DigitRun(std::string_view text, std::size_t& position) {
        const std::size_t start = position;
        while (position < text.size() && IsDigit(text[position])) ++position;
        return text.substr(start, position - start);
    }

    static int CompareNumbers(std::string_view x, std::string_view y) {
        while (x.size() > 1 && x.front() == '0') x.remove_prefix(1);
        while (y.size() > 1 && y.front() == '0') y.remove_prefix(1);
        if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
        const int order = x.compare(y);
        return order < 0 ? -1 : (order > 0 ? 1 : 0);
    }

    int CompareAscii(std::string_view a, std::string_view b) const {
        std::size_t i = 0;
        std::size_t j = 0;
        while (i < a.size() && j < b.size()) {
            if (IsDigit(a[i]) && IsDigit(b[j])) {
                const int order = CompareNumbers(DigitRun(a, i), DigitRun(b, j));
                if (order != 0) return order;
                continue;
            }
            const int x = ranks_[static_cast<unsigned char>(a[i++])];
            const int y = ranks_[static_cast<unsigned char>(b[j++])];
            if (x != y) return x < y ? -1 : 1;
        }
        if (i < a.size()) return 1;
        if (j < b.size()) return -1;
        return 0;
    }

    // The C locale's collator compares code points and knows no numbers;
    // such a system sorts as the English locale does.
    static QLocale CollationLocale() {
        const QLocale locale;
        return locale.language() == QLocale::C ? QLocale(QLocale::English, QLocale::UnitedStates) : locale;
    }

    QCollator collator_{CollationLocale()};
    std::array<int, 128> ranks_{};
    bool keysAgree_ = true;
};

const NaturalCollator& ThreadCollator() {
    thread_local const NaturalCollator collator;
    return collator;
}

int ByBytes(std::string_view a, std::string_view b) {
    const int order = a.compare(b);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

int Sign(int value) { return value < 0 ? -1 : (value > 0 ? 1 : 0); }

}  // namespace

int NaturalCompare(std::string_view a, std::string_view b) {
    const int order = ThreadCollator().Compare(a, b);
    return order != 0 ? Sign(order) : ByBytes(a, b);
}

NaturalSortKey MakeNaturalSortKey(std::string_view name) {
    NaturalSortKey key;
    key.Name = name;
    key.Keyed = ThreadCollator().KeyStart(name, key.High, key.Low);
    return key;
}

int NaturalCompare(const NaturalSortKey& a, const NaturalSortKey& b) {
    if (a.Keyed && b.Keyed) {
        if (a.High != b.High) return a.High < b.High ? -1 : 1;
        if (a.Low != b.Low) return a.Low < b.Low ? -1 : 1;
    }
    return NaturalCompare(a.Name, b.Name);
}

int NaturalCompareText(const QString& a, const QString& b) {
    const int order = ThreadCollator().Compare(a, b);
    if (order != 0) return Sign(order);
    return Sign(a.compare(b));
}

int NaturalCompareByCollator(std::string_view a, std::string_view b) {
    return Sign(ThreadCollator().CompareWithCollator(a, b));
}

QString DisplayTextOfName(std::string_view name) {
    return ShownText(PathText(name));
}

}  // namespace platform
