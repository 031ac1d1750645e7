#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include <QObject>
#include <QPixmap>
#include <QString>
#include <QStringList>

#include "platform/system_facts.h"

class QTimer;

// The fixed part of a file's version record (52 bytes).
struct TVSFixedFileInfo {
    std::uint32_t dwSignature = 0;
    std::uint32_t dwStrucVersion = 0;
    std::uint32_t dwFileVersionMS = 0;
    std::uint32_t dwFileVersionLS = 0;
    std::uint32_t dwProductVersionMS = 0;
    std::uint32_t dwProductVersionLS = 0;
    std::uint32_t dwFileFlagsMask = 0;
    std::uint32_t dwFileFlags = 0;
    std::uint32_t dwFileOS = 0;
    std::uint32_t dwFileType = 0;
    std::uint32_t dwFileSubtype = 0;
    std::uint32_t dwFileDateMS = 0;
    std::uint32_t dwFileDateLS = 0;
};
static_assert(sizeof(TVSFixedFileInfo) == 52);

// The version facts and shell icons of one file. The running program
// knows its own version; other programs and libraries (ELF files) give
// what their header and file name tell: the kind of file, and the version
// in a library's file name (libexample.so.1.2.3 is 1.2.3). Any other file
// has no version facts: every string is empty.
class TFileInfo {
public:
    const QString& FileName() const { return fileName_; }
    // Reloads everything when name differs from the current one.
    void SetFileName(const QString& name);

    const QString& ProductVersion() const { return productVersion_; }
    const QString& CompanyName() const { return companyName_; }
    const QString& OriginalFilename() const { return originalFilename_; }
    const QString& FileDescription() const { return fileDescription_; }
    const QString& FileVersion() const { return fileVersion_; }
    const QString& InternalName() const { return internalName_; }
    const QString& ProductName() const { return productName_; }
    const TVSFixedFileInfo& FixedFileInfo() const { return fixed_; }
    const QPixmap& SmallIcon() const { return smallIcon_; }  // 16 × 16
    const QPixmap& LargeIcon() const { return largeIcon_; }  // 32 × 32

private:
    void Reload();
    void LoadIcons();

    QString fileName_;
    QString productVersion_, companyName_, originalFilename_, fileDescription_, fileVersion_, internalName_,
        productName_;
    TVSFixedFileInfo fixed_;
    QPixmap smallIcon_;
    QPixmap largeIcon_;
};

struct TDisplayMode {
    int BitsPerPel = 0;
    int Width = 0;
    int Height = 0;
    int Frequency = 0;  // Hz, rounded
};

// The display modes: those the X server offers for its connected outputs,
// else the mode each screen is in, the primary screen first.
class TDisplayInfo {
public:
    TDisplayInfo();
    const std::vector<TDisplayMode>& Modes() const { return modes_; }
    int Count() const { return static_cast<int>(modes_.size()); }

private:
    std::vector<TDisplayMode> modes_;
};

enum TNtProductType { ntNone, ntWorkStation, ntServer };
enum TMemoryStatusKind { mkB, mkKB, mkMB };

// Memory status in the chosen unit: load in percent, then physical total
// and free, then swap total and free.
struct TMemStatus {
    double MemoryLoad = 0;
    double TotalPhys = 0;
    double AvailPhys = 0;
    double TotalPageFile = 0;
    double AvailPageFile = 0;
};

// Facts about the machine the program runs on, read once at construction
// (memory and processor when asked). Nothing is written to the system.
// A fact that cannot be read shows a fixed placeholder ("UnKnown...").
class TSysInfo : public QObject {
    Q_OBJECT

public:
    explicit TSysInfo(QObject* parent = nullptr);
    ~TSysInfo() override;

    const QString& Owner() const { return owner_; }
    const QString& ComputerName() const { return computerName_; }
    const QString& Organization() const { return organization_; }
    const QString& ProductID() const { return productId_; }
    const QString& LogOnUserName() const { return logOnUserName_; }
    const QString& WindowsDir() const { return windowsDir_; }
    const QString& WindowsSystemDir() const { return windowsSystemDir_; }
    const QString& DeskTopDir() const { return deskTopDir_; }
    const QString& PersonalDir() const { return personalDir_; }
    const QString& StartMenuDir() const { return startMenuDir_; }
    const QString& StartUpDir() const { return startUpDir_; }
    TNtProductType NtProductType() const { return ntNone; }

    bool MemoryAutoRefresh() const { return autoRefresh_; }
    void SetMemoryAutoRefresh(bool on);
    int MemoryAutoRefreshInterval() const { return refreshInterval_; }
    void SetMemoryAutoRefreshInterval(int milliseconds);

    // Operating system name, kernel build, system version, desktop.
    const QString& PlatForm() const { return versions_[0]; }
    const QString& BuildNo() const { return versions_[1]; }
    const QString& Version() const { return versions_[2]; }
    const QString& PlusVersion() const { return versions_[3]; }

    // Asked of the system at each call.
    QString ProcessorType() const;

    TMemoryStatusKind MemoryStatusKind() const { return memoryKind_; }
    void SetMemoryStatusKind(TMemoryStatusKind kind);
    // Each refreshes the memory status first; whole units, truncated.
    std::int64_t MemoryLoad();
    std::int64_t MemoryTotal();
    std::int64_t MemoryFree();
    std::int64_t PageTotal();
    std::int64_t PageFree();
    void RefreshMemoryStatus();

    // Mount points of the drives, as the namespace lists them.
    const QStringList& Drives() const { return drives_; }
    TFileInfo& FileInfo() { return fileInfo_; }
    const TDisplayInfo& DisplayInfo() const { return displayInfo_; }

    // Raised after each timed refresh.
    std::function<void(TSysInfo* Sender, const TMemStatus& Status)> OnMemoryRefresh;

    // "Long form" of a folder: its canonical path when it exists, else the
    // path without a trailing separator.
    static QString LongPathName(const QString& path);

private:
    void ReadVersion(const platform::OsRelease& release);
    void ReadUserData(const platform::OsRelease& release);
    void ReadFolders();
    void FillDrives();
    void TimerTick();

    QString owner_, computerName_, organization_, productId_, logOnUserName_;
    QString windowsDir_, windowsSystemDir_, deskTopDir_, personalDir_, startMenuDir_, startUpDir_;
    QString versions_[4];
    TMemoryStatusKind memoryKind_ = mkB;
    TMemStatus memory_;
    bool autoRefresh_ = false;
    int refreshInterval_ = 1000;
    std::unique_ptr<QTimer> timer_;
    QStringList drives_;
    TFileInfo fileInfo_;
    TDisplayInfo displayInfo_;
};
