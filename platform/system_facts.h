#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <QString>

// Facts about the machine the program runs on, read from the files and
// calls the system provides for them. Readers answer nothing (or empty)
// when the fact is not available.
namespace platform {

struct OsRelease {
    QString Id;          // "debian"
    QString Name;        // "Debian GNU/Linux"
    QString Version;     // "12 (bookworm)"
    QString VersionId;   // "12"
    QString PrettyName;  // "Debian GNU/Linux 12 (bookworm)"
};
// The fields of an os-release file's text (quotes and escapes removed).
OsRelease ParseOsRelease(std::string_view text);
// /etc/os-release, else /usr/lib/os-release.
OsRelease ReadOsRelease();

struct KernelFacts {
    QString SystemName;  // "Linux"
    QString Release;     // "6.1.0-18-amd64"
    QString Version;     // "#1 SMP PREEMPT_DYNAMIC ..."
    QString Machine;     // "x86_64"
};
std::optional<KernelFacts> ReadKernelFacts();

QString HostName();  // "" when it cannot be read

// Memory and swap in bytes.
struct MemoryFacts {
    std::uint64_t Total = 0;
    std::uint64_t Available = 0;
    std::uint64_t SwapTotal = 0;
    std::uint64_t SwapFree = 0;
};
// From the text of /proc/meminfo; nothing without MemTotal.
std::optional<MemoryFacts> ParseMemInfo(std::string_view text);
std::optional<MemoryFacts> ReadMemoryFacts();

// The processor's model name from the text of /proc/cpuinfo ("" when the
// text names none).
QString ParseProcessorName(std::string_view text);
QString ReadProcessorName();

// The file of a library loaded into this process, by its name before
// ".so" ("libQt6Core"); "" when none is loaded.
QString LoadedLibraryPath(const QString& baseName);
// The same search in the text of a /proc/<pid>/maps file.
QString LibraryPathInMaps(std::string_view maps, const QString& baseName);

// The version of the C library the program runs with ("2.36").
QString CLibraryVersion();

// The whole of a small system file ("" when it cannot be read).
std::string ReadSystemFile(const std::string& path);

}  // namespace platform
