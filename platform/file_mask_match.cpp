#include "platform/file_mask_match.h"

#include <QStringList>

namespace platform {
namespace {

// Matching with backtracking to the last '*' only: linear in practice and
// never exponential, whatever the pattern.
bool MatchesPattern(const QString& name, const QString& pattern) {
    qsizetype n = 0;
    qsizetype p = 0;
    qsizetype starAt = -1;
    qsizetype resumeAt = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == QLatin1Char('?') ||
                                   pattern[p].toCaseFolded() == name[n].toCaseFolded())) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == QLatin1Char('*')) {
            starAt = p++;
            resumeAt = n;
        } else if (starAt >= 0) {
            p = starAt + 1;
            n = ++resumeAt;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == QLatin1Char('*')) ++p;
    return p == pattern.size();
}

}  // namespace

bool PathMatchSpec(const QString& name, const QString& mask) {
    for (const QString& part : mask.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString pattern = part.trimmed();
        if (pattern == QLatin1String("*.*") || pattern == QLatin1String("*")) return true;
        if (!pattern.isEmpty() && MatchesPattern(name, pattern)) return true;
    }
    return false;
}

}  // namespace platform
