#pragma once

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

// Lower-level access for checking the fast path against the collator.
int NaturalCompareByCollator(std::string_view a, std::string_view b);

// The display text of raw name bytes: UTF-8 decoded with replacement
// characters for invalid sequences; control characters become U+FFFD.
QString DisplayTextOfName(std::string_view name);

}  // namespace platform
