#include "system_facts.h"

#include <gnu/libc-version.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <array>
#include <charconv>
#include <fstream>
#include <iterator>

namespace platform {
namespace {

constexpr std::size_t kSystemFileLimit = 16 << 20;

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// Calls use(key, value) for each "key<separator>value" line.
template <typename Use>
void ForEachField(std::string_view text, char separator, Use use) {
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const auto split = line.find(separator);
        if (split != std::string_view::npos) use(Trim(line.substr(0, split)), Trim(line.substr(split + 1)));
    }
}

// An os-release value: optionally quoted, with backslash escapes.
QString OsReleaseValue(std::string_view raw) {
    if (raw.size() >= 2 && (raw.front() == '"' || raw.front() == '\'') && raw.back() == raw.front())
        raw = raw.substr(1, raw.size() - 2);
    std::string value;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\\' && i + 1 < raw.size()) ++i;
        value += raw[i];
    }
    return QString::fromUtf8(value);
}

std::uint64_t KiloBytes(std::string_view value) {
    std::uint64_t number = 0;
    std::from_chars(value.data(), value.data() + value.size(), number);
    return number * 1024;
}

}  // namespace

OsRelease ParseOsRelease(std::string_view text) {
    OsRelease release;
    ForEachField(text, '=', [&release](std::string_view key, std::string_view value) {
        if (key == "ID") release.Id = OsReleaseValue(value);
        else if (key == "NAME") release.Name = OsReleaseValue(value);
        else if (key == "VERSION") release.Version = OsReleaseValue(value);
        else if (key == "VERSION_ID") release.VersionId = OsReleaseValue(value);
        else if (key == "PRETTY_NAME") release.PrettyName = OsReleaseValue(value);
    });
    return release;
}

OsRelease ReadOsRelease() {
    std::string text = ReadSystemFile("/etc/os-release");
    if (text.empty()) text = ReadSystemFile("/usr/lib/os-release");
    return ParseOsRelease(text);
}

std::optional<KernelFacts> ReadKernelFacts() {
    utsname names{};
    if (uname(&names) != 0) return std::nullopt;
    return KernelFacts{QString::fromUtf8(names.sysname), QString::fromUtf8(names.release),
                       QString::fromUtf8(names.version), QString::fromUtf8(names.machine)};
}

QString HostName() {
    std::array<char, 256> name{};
    if (gethostname(name.data(), name.size() - 1) != 0) return QString();
    return QString::fromUtf8(name.data());
}

std::optional<MemoryFacts> ParseMemInfo(std::string_view text) {
    MemoryFacts facts;
    bool total = false;
    bool available = false;
    std::uint64_t free = 0;
    ForEachField(text, ':', [&](std::string_view key, std::string_view value) {
        if (key == "MemTotal") facts.Total = KiloBytes(value), total = true;
        else if (key == "MemAvailable") facts.Available = KiloBytes(value), available = true;
        else if (key == "MemFree") free = KiloBytes(value);
        else if (key == "SwapTotal") facts.SwapTotal = KiloBytes(value);
        else if (key == "SwapFree") facts.SwapFree = KiloBytes(value);
    });
    if (!total) return std::nullopt;
    // Kernels before 3.14 report no estimate of available memory.
    if (!available) facts.Available = free;
    return facts;
}

std::optional<MemoryFacts> ReadMemoryFacts() { return ParseMemInfo(ReadSystemFile("/proc/meminfo")); }

QString ParseProcessorName(std::string_view text) {
    QString name;
    ForEachField(text, ':', [&name](std::string_view key, std::string_view value) {
        if (name.isEmpty() && (key == "model name" || key == "Model" || key == "cpu model"))
            name = QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
    });
    return name;
}

QString ReadProcessorName() { return ParseProcessorName(ReadSystemFile("/proc/cpuinfo")); }

QString LibraryPathInMaps(std::string_view maps, const QString& baseName) {
    const std::string prefix = baseName.toStdString() + ".so";
    while (!maps.empty()) {
        const auto end = maps.find('\n');
        const std::string_view line = maps.substr(0, end);
        maps = end == std::string_view::npos ? std::string_view() : maps.substr(end + 1);
        const auto path = line.find('/');
        if (path == std::string_view::npos) continue;
        const std::string_view file = line.substr(path);
        const std::string_view name = file.substr(file.rfind('/') + 1);
        if (name.starts_with(prefix) && (name.size() == prefix.size() || name[prefix.size()] == '.'))
            return QString::fromLocal8Bit(file.data(), static_cast<qsizetype>(file.size()));
    }
    return QString();
}

QString LoadedLibraryPath(const QString& baseName) {
    return LibraryPathInMaps(ReadSystemFile("/proc/self/maps"), baseName);
}

QString CLibraryVersion() { return QString::fromLatin1(gnu_get_libc_version()); }

std::string ReadSystemFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::string();
    std::string text;
    std::array<char, 4096> block{};
    while (text.size() < kSystemFileLimit && file.read(block.data(), block.size()).gcount() > 0)
        text.append(block.data(), static_cast<std::size_t>(file.gcount()));
    return text;
}

}  // namespace platform
