#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include <QSettings>
#include <QString>

// Where the program keeps its settings, and reading them safely.
//
// The INI file lives beside the executable and is named after it. When
// that folder cannot be written, or the program runs from an installation
// (its plug-ins under lib/, not beside it), it lives in
// $XDG_CONFIG_HOME/kelvandor/kelvandor.ini instead, starting from the copy
// beside the executable when there is one. Only when neither place can be
// written is the run read-only: the settings are read but never written.
//
// Reading never fails: a missing key, a value of the wrong type, a number
// out of its range or text that is not valid UTF-8 gives the caller's
// default for that key alone; every other key keeps its value.
class SettingsFile {
public:
    // The executable's path and the XDG configuration folder decide where
    // the file is; the defaults are this program's.
    SettingsFile();
    SettingsFile(const std::string& executablePath, const std::string& configHome);
    ~SettingsFile();
    SettingsFile(const SettingsFile&) = delete;
    SettingsFile& operator=(const SettingsFile&) = delete;

    // The file read and, unless read-only, written.
    const QString& Path() const { return path_; }
    bool ReadOnly() const { return readOnly_; }

    // The settings themselves, for controls that keep their own keys
    // (column settings). Keys are "Section/Key"; values are stored as
    // text, so write strings and numbers.
    QSettings& Settings() { return *settings_; }

    bool SectionExists(const QString& section) const;
    QString ReadString(const QString& section, const QString& key, const QString& fallback) const;
    // Decimal integers in [minimum, maximum]; anything else gives fallback.
    int ReadInteger(const QString& section, const QString& key, int fallback, int minimum = INT32_MIN,
                    int maximum = INT32_MAX) const;
    // Non-zero integers are true.
    bool ReadBool(const QString& section, const QString& key, bool fallback) const;
    // A colour value: 0x00BBGGRR or 0x80000000 + a system colour number,
    // stored as a signed 32-bit decimal.
    std::uint32_t ReadColor(const QString& section, const QString& key, std::uint32_t fallback) const;

    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, int value);
    void WriteBool(const QString& section, const QString& key, bool value);
    void WriteColor(const QString& section, const QString& key, std::uint32_t value);
    void DeleteKey(const QString& section, const QString& key);

    // Writes the file; false when read-only or when writing failed (the
    // old file is then left as it was).
    bool Save();

    // The file name beside the executable and the one in the
    // configuration folder.
    static std::string FileBesideExecutable(const std::string& executablePath);
    static std::string FileInConfigFolder(const std::string& configHome);
    // $XDG_CONFIG_HOME, or ~/.config when it is unset or not absolute.
    static std::string DefaultConfigHome();

private:
    std::optional<QString> RawValue(const QString& section, const QString& key) const;

    QString path_;
    bool readOnly_ = false;
    std::unique_ptr<QSettings> settings_;
};
