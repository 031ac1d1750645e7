#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

#include "platform/file_times.h"

// What one run of the timestamp and attribute dialog changes.
struct TTimeAttributeChange {
    bool ChangeTimes = false;
    platform::FileTimes Times;  // a zero time leaves that time as it is
    bool ChangeAttributes = false;
    std::uint32_t Attributes = 0;  // read-only, hidden, system, archive bits; the others are cleared
    bool Recursive = false;        // also everything inside the selected folders
};

// An item the change could not be applied to, with the reason.
struct TChangeFailure {
    std::string Path;
    QString Reason;
};

// Applies change to every path in order; with Recursive, everything inside
// a selected folder is changed first, deepest first, and links inside are
// left alone. Attributes go before times. A time the file system keeps
// otherwise than asked (out of its range) counts as a failure. Nothing
// stops at a failure: each is collected and returned.
std::vector<TChangeFailure> ApplyTimeAttributeChange(const std::vector<std::string>& paths,
                                                     const TTimeAttributeChange& change);

// The earliest and latest dates the dialog's times can express: the
// range of a file time, in whole years.
QDate EarliestFileDate();
QDate LatestFileDate();

// A local date and time as a file time, to the second; empty outside the
// range of a file time.
std::optional<platform::FileTime> FileTimeFromLocal(const QDate& date, const QTime& time);

// A file time as local date and time; invalid for a zero time.
QDateTime LocalDateTimeOf(platform::FileTime time);

// One message for the failures ("" when there are none), naming the first few.
QString ChangeFailureMessage(const std::vector<TChangeFailure>& failures);
