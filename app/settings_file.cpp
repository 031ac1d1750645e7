#include "settings_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <cstdlib>
#include <filesystem>
#include <limits>

#include <QBuffer>
#include <QDir>
#include <QSaveFile>
#include <QStringDecoder>

#include "platform/application_paths.h"
#include "platform/regular_file.h"

namespace {

namespace fs = std::filesystem;

// Highest system colour number (0x80000000 + n) a colour may name, and the
// two special colour values "none" and "default".
constexpr std::uint32_t kSystemColorFlag = 0x80000000u;
constexpr std::uint32_t kHighestSystemColor = 30;
constexpr std::uint32_t kColorNone = 0x1FFFFFFFu;
constexpr std::uint32_t kColorDefault = 0x20000000u;

std::optional<QString> DecodeUtf8(QByteArrayView bytes) {
    if (bytes.contains('\0')) return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) return std::nullopt;
    return text;
}

// Reads "[Section]" headers and "Key=Value" lines. Lines that are not
// valid UTF-8 are left out (and the keys of such a section), so that they
// read as absent; the first of two equal keys counts.
bool ReadIni(QIODevice& device, QSettings::SettingsMap& map) {
    QByteArray bytes = device.readAll();
    if (bytes.startsWith("\xEF\xBB\xBF")) bytes.remove(0, 3);
    QString section;
    bool sectionValid = true;
    for (QByteArrayView line : bytes.split('\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(';') || line.startsWith('#')) continue;
        if (line.startsWith('[') && line.endsWith(']')) {
            const auto name = DecodeUtf8(line.sliced(1, line.size() - 2).trimmed());
            sectionValid = name.has_value() && !name->isEmpty();
            if (sectionValid) section = *name;
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (!sectionValid || equals <= 0) continue;
        const auto key = DecodeUtf8(line.first(equals).trimmed());
        const auto value = DecodeUtf8(line.sliced(equals + 1).trimmed());
        if (!key || !value || key->isEmpty()) continue;
        const QString fullKey = section.isEmpty() ? *key : section + QLatin1Char('/') + *key;
        if (!map.contains(fullKey)) map.insert(fullKey, *value);
    }
    return true;
}

QString IniText(const QVariant& value) {
    QString text;
    if (value.typeId() == QMetaType::Bool) text = value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    else if (value.typeId() == QMetaType::QStringList) text = value.toStringList().join(QLatin1Char(','));
    else text = value.toString();
    // One value is one line.
    text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

// Keys without a section first, then each section with its keys.
bool WriteIni(QIODevice& device, const QSettings::SettingsMap& map) {
    QByteArray out;
    for (auto it = map.constBegin(); it != map.constEnd(); ++it)
        if (!it.key().contains(QLatin1Char('/'))) out += it.key().toUtf8() + '=' + IniText(it.value()).toUtf8() + '\n';
    QString currentSection;
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        const qsizetype slash = it.key().indexOf(QLatin1Char('/'));
        if (slash < 0) continue;
        const QString section = it.key().first(slash);
        if (section != currentSection) {
            if (!out.isEmpty()) out += '\n';
            out += '[' + section.toUtf8() + "]\n";
            currentSection = section;
        }
        out += it.key().sliced(slash + 1).toUtf8() + '=' + IniText(it.value()).toUtf8() + '\n';
    }
    return device.write(out) == out.size();
}

// Settings files are a few kilobytes; anything far larger is not ours and
// is not read into memory.
constexpr std::int64_t kMaxSettingsBytes = 4 * 1024 * 1024;

// The keys of a settings file; none when it is absent, too large or not a
// regular file. What was opened is checked, so a FIFO or a device put in
// its place can neither block the start nor be taken for settings.
QSettings::SettingsMap ReadSettingsFile(const std::string& path) {
    QSettings::SettingsMap map;
    QString reason;
    std::optional<platform::RegularFile> file = platform::RegularFile::Open(path, reason);
    if (!file || file->Size() > kMaxSettingsBytes) return map;
    QByteArray bytes(static_cast<qsizetype>(file->Size()), Qt::Uninitialized);
    const std::int64_t read = file->Read(bytes.data(), bytes.size(), reason);
    if (read < 0) return map;
    bytes.truncate(static_cast<qsizetype>(read));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    ReadIni(buffer, map);
    return map;
}

void AddKeys(QSettings& settings, const QSettings::SettingsMap& map) {
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) settings.setValue(it.key(), it.value());
}

QString FullKey(const QString& section, const QString& key) { return section + QLatin1Char('/') + key; }

// Whether a file can be written and replaced at path: its folder exists
// (or can be made) and takes new files, and the file, when it exists,
// opens for writing. Tried for real, because permission bits do not tell
// about read-only mounts or a privileged user.
bool CanWriteFile(const std::string& path) {
    const fs::path file(path);
    std::error_code error;
    fs::create_directories(file.parent_path(), error);
    if (!fs::is_directory(file.parent_path(), error)) return false;
    std::string probe = (file.parent_path() / ".kelvandor-probe-XXXXXX").string();
    const int probeHandle = mkstemp(probe.data());
    if (probeHandle < 0) return false;
    close(probeHandle);
    unlink(probe.c_str());
    // O_NONBLOCK: a FIFO in the file's place fails at once instead of
    // waiting for a reader; only a regular file counts as the settings.
    const int handle = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (handle < 0) return errno == ENOENT;
    struct stat info {};
    const bool regular = fstat(handle, &info) == 0 && S_ISREG(info.st_mode);
    close(handle);
    return regular;
}

bool FileExists(const std::string& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

}  // namespace

SettingsFile::SettingsFile() : SettingsFile(platform::ExecutablePath(), DefaultConfigHome()) {}

SettingsFile::SettingsFile(const std::string& executablePath, const std::string& configHome) {
    const std::string beside = FileBesideExecutable(executablePath);
    const std::string inConfig = FileInConfigFolder(configHome);
    std::string chosen = beside;
    std::string seed;
    // An installed program never writes into its bin folder, even when it
    // may (run by root): the package manager does not know that file.
    const bool installed = platform::IsInstalledProgram(fs::path(executablePath).parent_path().string());
    if (beside.empty() || installed || !CanWriteFile(beside)) {
        if (!configHome.empty() && CanWriteFile(inConfig)) {
            chosen = inConfig;
            if (!FileExists(inConfig) && !beside.empty() && FileExists(beside)) seed = beside;
        } else {
            readOnly_ = true;
            chosen = FileExists(inConfig) ? inConfig : beside;
        }
    }
    path_ = QString::fromStdString(chosen);
    // A store in memory only: the file is read and written here, not by
    // QSettings, which would open whatever stands at the path and block
    // on a FIFO.
    settings_ = std::make_unique<QSettings>(QString(), QSettings::IniFormat);
    AddKeys(*settings_, ReadSettingsFile(seed.empty() ? chosen : seed));
}

SettingsFile::~SettingsFile() = default;

std::string SettingsFile::FileBesideExecutable(const std::string& executablePath) {
    if (executablePath.empty()) return std::string();
    fs::path path(executablePath);
    path.replace_extension(".ini");
    return path.string();
}

std::string SettingsFile::FileInConfigFolder(const std::string& configHome) {
    return (fs::path(configHome) / "kelvandor" / "kelvandor.ini").string();
}

std::string SettingsFile::DefaultConfigHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') return xdg;
    return (fs::path(QDir::homePath().toStdString()) / ".config").string();
}

std::optional<QString> SettingsFile::RawValue(const QString& section, const QString& key) const {
    const QVariant value = settings_->value(FullKey(section, key));
    if (!value.isValid()) return std::nullopt;
    return IniText(value).trimmed();
}

bool SettingsFile::SectionExists(const QString& section) const {
    return settings_->childGroups().contains(section);
}

QString SettingsFile::ReadString(const QString& section, const QString& key, const QString& fallback) const {
    return RawValue(section, key).value_or(fallback);
}

int SettingsFile::ReadInteger(const QString& section, const QString& key, int fallback, int minimum,
                              int maximum) const {
    const auto text = RawValue(section, key);
    if (!text) return fallback;
    bool ok = false;
    const qlonglong value = text->toLongLong(&ok, 10);
    return ok && value >= minimum && value <= maximum ? static_cast<int>(value) : fallback;
}

bool SettingsFile::ReadBool(const QString& section, const QString& key, bool fallback) const {
    const auto text = RawValue(section, key);
    if (!text) return fallback;
    if (text->compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) return true;
    if (text->compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) return false;
    bool ok = false;
    const qlonglong value = text->toLongLong(&ok, 10);
    return ok ? value != 0 : fallback;
}

std::uint32_t SettingsFile::ReadColor(const QString& section, const QString& key, std::uint32_t fallback) const {
    const auto text = RawValue(section, key);
    if (!text) return fallback;
    bool ok = false;
    const qlonglong value = text->toLongLong(&ok, 10);
    if (!ok || value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::uint32_t>::max())
        return fallback;
    const auto color = static_cast<std::uint32_t>(value);
    const bool explicitColor = (color & 0xFF000000u) == 0;
    const bool systemColor = (color & 0xFF000000u) == kSystemColorFlag && (color & 0x00FFFFFFu) <= kHighestSystemColor;
    return explicitColor || systemColor || color == kColorNone || color == kColorDefault ? color : fallback;
}

void SettingsFile::WriteString(const QString& section, const QString& key, const QString& value) {
    settings_->setValue(FullKey(section, key), value);
}

void SettingsFile::WriteInteger(const QString& section, const QString& key, int value) {
    settings_->setValue(FullKey(section, key), QString::number(value));
}

void SettingsFile::WriteBool(const QString& section, const QString& key, bool value) {
    WriteInteger(section, key, value ? 1 : 0);
}

void SettingsFile::WriteColor(const QString& section, const QString& key, std::uint32_t value) {
    WriteInteger(section, key, static_cast<std::int32_t>(value));
}

void SettingsFile::DeleteKey(const QString& section, const QString& key) { settings_->remove(FullKey(section, key)); }

bool SettingsFile::Save() {
    if (readOnly_) return false;
    QSettings::SettingsMap map;
    for (const QString& key : settings_->allKeys()) map.insert(key, settings_->value(key));
    // Written beside the old file and renamed over it only when complete.
    QSaveFile file(path_);
    return file.open(QIODevice::WriteOnly) && WriteIni(file, map) && file.commit();
}
