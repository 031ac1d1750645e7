#pragma once

#include <cstdint>
#include <string_view>

#include <QString>

namespace platform {

// The order in which the shell lists names: the locale's collation
// ignoring case, with runs of digits compared by their value ("file2"
// before "file10"). Names that collate alike are ordered by their bytes,
// so only identical names compare equal. The collator is made once per
// thread.
int NaturalCompare(std::string_view a, std::string_view b);
int NaturalCompareText(const QString& a, const QString& b);

// A name with the first bytes of its order key, for sorting many names:
// where the starts of two keys differ they give the order at once, so most
// comparisons of a large sort read no name; otherwise NaturalCompare
// decides. The name is viewed, not copied.
struct NaturalSortKey {
    std::string_view Name;
    std::uint64_t High = 0;
    std::uint64_t Low = 0;
    bool Keyed = false;  // High and Low hold the start of the key
};
NaturalSortKey MakeNaturalSortKey(std::string_view name);
// The same order as NaturalCompare of the names.
int NaturalCompare(const NaturalSortKey& a, const NaturalSortKey& b);

// Lower-level access for checking the fast path against the collator.
int NaturalCompareByCollator(std::string_view a, std::string_view b);

// The display text of raw name bytes: UTF-8 decoded with replacement
// characters for invalid sequences; control characters become U+FFFD.
QString DisplayTextOfName(std::string_view name);

}  // namespace platform
