#include "dialogs/time_attribute_change.h"

#include "platform/file_operations.h"
#include "platform/tree_walk.h"

namespace {

constexpr std::uint32_t kSettableAttributes =
    platform::kAttrReadOnly | platform::kAttrHidden | platform::kAttrSystem | platform::kAttrArchive;
constexpr int kFailuresNamed = 5;

// Times go first when they carry a creation time, so that one write of the
// Samba attribute holds both the creation time and the new bits; the
// attribute change after it then finds its bits in place.
void ApplyToItem(const std::string& path, const TTimeAttributeChange& change, std::vector<TChangeFailure>& failures) {
    const std::uint32_t attributes = change.Attributes & kSettableAttributes;
    platform::FileTimes times = change.Times;
    if (!change.ChangeTimes) {
        times = {};
        // Rewriting the attribute bits drops the record that holds a
        // stored creation time; it is written back with them.
        if (change.ChangeAttributes) times.Creation = platform::StoredCreationTime(path);
    }
    const std::optional<std::uint32_t> dosBits =
        change.ChangeAttributes ? std::optional<std::uint32_t>(attributes) : std::nullopt;
    const bool timesFirst = change.ChangeTimes || !times.Creation.IsZero();
    bool dosBitsWritten = false;
    if (timesFirst) {
        const int error = platform::SetFileTimes(path, times, dosBits);
        if (error != 0) failures.push_back({path, platform::FileErrorText(error)});
        dosBitsWritten = error == 0 && !times.Creation.IsZero();
    }
    if (!change.ChangeAttributes) return;
    const bool readOnly = (attributes & platform::kAttrReadOnly) != 0;
    bool applied = true;
    if (dosBitsWritten) {
        // The record written with the creation time holds the new bits
        // already; only the write permission is left.
        applied = platform::SetReadOnlyOf(path, readOnly);
    } else {
        // Hidden, system and archive are written while the file is still
        // writable; read-only comes last.
        applied = platform::SetFileAttributesOf(path, attributes & ~platform::kAttrReadOnly);
        if (applied && readOnly) applied = platform::SetFileAttributesOf(path, attributes);
    }
    if (!applied) failures.push_back({path, platform::FileErrorText(errno)});
}

bool IsFolder(const std::string& path) {
    return (platform::FileAttributesOf(path) & platform::kAttrDirectory) != 0;
}

}  // namespace

std::vector<TChangeFailure> ApplyTimeAttributeChange(const std::vector<std::string>& paths,
                                                     const TTimeAttributeChange& change) {
    std::vector<TChangeFailure> failures;
    const auto visit = [&](const std::string& path, bool) { ApplyToItem(path, change, failures); };
    const auto unreadable = [&](const std::string& path, int error) {
        failures.push_back({path, platform::FileErrorText(error)});
    };
    for (const std::string& path : paths) {
        ApplyToItem(path, change, failures);
        if (change.Recursive && IsFolder(path)) platform::WalkTree(path, visit, unreadable);
    }
    return failures;
}

QDate EarliestFileDate() { return QDate(1980, 1, 1); }
QDate LatestFileDate() { return QDate(2107, 12, 31); }

std::optional<platform::FileTime> FileTimeFromLocal(const QDate& date, const QTime& time) {
    if (!date.isValid() || date < EarliestFileDate() || date > LatestFileDate()) return std::nullopt;
    const QTime valid = time.isValid() ? time : QTime(0, 0);
    const QDateTime local(date, QTime(valid.hour(), valid.minute(), valid.second() & ~1));
    return platform::FileTimeFromUnixNs(local.toMSecsSinceEpoch() * 1'000'000);
}

QDateTime LocalDateTimeOf(platform::FileTime time) {
    if (time.IsZero()) return {};
    return QDateTime::fromMSecsSinceEpoch(platform::UnixNsFromFileTime(time) / 1'000'000).toLocalTime();
}

QString ChangeFailureMessage(const std::vector<TChangeFailure>& failures) {
    if (failures.empty()) return {};
    QString text = QStringLiteral("%1 個の項目を変更できませんでした。").arg(failures.size());
    for (std::size_t i = 0; i < failures.size() && i < kFailuresNamed; ++i)
        text += QStringLiteral("\n「%1」: %2").arg(platform::DisplayName(failures[i].Path), failures[i].Reason);
    if (failures.size() > kFailuresNamed) text += QStringLiteral("\n…");
    return text;
}
