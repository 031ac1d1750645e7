#include "dialogs/time_attribute_change.h"

#include <cerrno>
#include <utility>

#include "platform/file_operations.h"
#include "platform/tree_walk.h"

namespace {

constexpr std::uint32_t kSettableAttributes =
    platform::kAttrReadOnly | platform::kAttrHidden | platform::kAttrSystem | platform::kAttrArchive;
constexpr int kFailuresNamed = 5;
constexpr std::uint64_t kTicksPerSecond = 10'000'000;

std::uint64_t WholeSecond(platform::FileTime time) { return time.Ticks() / kTicksPerSecond; }

QString TimeText(platform::FileTime time) {
    return LocalDateTimeOf(time).toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
}

// Why the times of path are not what was asked ("" when they are): file
// systems keep times of a narrower range, or coarser, and fit the asked
// time in silently.
QString TimeRefusal(const std::string& path, const platform::FileTimes& asked) {
    platform::FindData kept;
    if (!platform::ReadFindData(path, kept)) return {};
    for (const auto& [wanted, actual] : {std::pair{asked.LastWrite, kept.LastWriteTime},
                                         std::pair{asked.LastAccess, kept.LastAccessTime}}) {
        if (wanted.IsZero() || WholeSecond(wanted) == WholeSecond(actual)) continue;
        return QStringLiteral("ファイル システムが日時 %1 を保存できません (保存された日時: %2)。")
            .arg(TimeText(wanted), TimeText(actual));
    }
    return {};
}

// Errors of a time change: the generic texts would speak of names.
QString TimeErrorText(int error) {
    if (error == EINVAL || error == EOVERFLOW || error == ERANGE)
        return QStringLiteral("ファイル システムがこの日時を受け付けません。");
    return platform::FileErrorText(error);
}

void ApplyToItem(const std::string& path, const TTimeAttributeChange& change, std::vector<TChangeFailure>& failures) {
    if (change.ChangeAttributes && !platform::SetFileAttributesOf(path, change.Attributes & kSettableAttributes)) {
        failures.push_back({path, platform::FileErrorText(errno)});
    }
    if (!change.ChangeTimes) return;
    if (const int error = platform::SetFileTimes(path, change.Times); error != 0) {
        failures.push_back({path, TimeErrorText(error)});
    } else if (const QString refusal = TimeRefusal(path, change.Times); !refusal.isEmpty()) {
        failures.push_back({path, refusal});
    }
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

QDate EarliestFileDate() { return QDate(1601, 1, 1); }
QDate LatestFileDate() { return QDate(9999, 12, 31); }

std::optional<platform::FileTime> FileTimeFromLocal(const QDate& date, const QTime& time) {
    if (!date.isValid() || date < EarliestFileDate() || date > LatestFileDate()) return std::nullopt;
    const QTime valid = time.isValid() ? time : QTime(0, 0);
    const QDateTime local(date, QTime(valid.hour(), valid.minute(), valid.second()));
    const platform::FileTime fileTime = platform::FileTimeFromUnixMs(local.toMSecsSinceEpoch());
    // The first hours of 1601 lie before the file-time epoch east of UTC.
    if (fileTime.IsZero()) return std::nullopt;
    return fileTime;
}

QDateTime LocalDateTimeOf(platform::FileTime time) {
    if (time.IsZero()) return {};
    return QDateTime::fromMSecsSinceEpoch(platform::UnixMsFromFileTime(time)).toLocalTime();
}

QString ChangeFailureMessage(const std::vector<TChangeFailure>& failures) {
    if (failures.empty()) return {};
    QString text = QStringLiteral("%1 個の項目を変更できませんでした。").arg(failures.size());
    for (std::size_t i = 0; i < failures.size() && i < kFailuresNamed; ++i)
        text += QStringLiteral("\n「%1」: %2").arg(platform::DisplayName(failures[i].Path), failures[i].Reason);
    if (failures.size() > kFailuresNamed) text += QStringLiteral("\n…");
    return text;
}
