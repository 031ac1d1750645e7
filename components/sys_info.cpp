#include "sys_info.h"

#include <algorithm>
#include <cmath>
#include <fstream>

#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QPainter>
#include <QRegularExpression>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>

#include "components/program_version.h"
#include "platform/application_paths.h"
#include "platform/display_modes.h"
#include "platform/shell_icons.h"
#include "platform/shell_mounts.h"
#include "platform/system_facts.h"
#include "platform/user_account.h"

namespace {

constexpr std::uint32_t kFixedSignature = 0xFEEF04BD;
constexpr std::uint32_t kFixedStructVersion = 0x00010000;
constexpr std::uint32_t kFileFlagsMask = 0x3F;
constexpr std::uint32_t kFileTypeApplication = 1;
constexpr std::uint32_t kFileTypeLibrary = 2;
const QString kUnknown = QStringLiteral("UnKnown");

struct ElfHeader {
    int bits = 0;
    bool sharedObject = false;
    int machine = 0;
};

std::optional<ElfHeader> ReadElfHeader(const QString& path) {
    std::ifstream file(path.toStdString(), std::ios::binary);
    unsigned char header[20] = {};
    if (!file.read(reinterpret_cast<char*>(header), sizeof header)) return std::nullopt;
    if (header[0] != 0x7F || header[1] != 'E' || header[2] != 'L' || header[3] != 'F') return std::nullopt;
    const bool little = header[5] == 1;
    const auto half = [&](int at) { return little ? header[at] | header[at + 1] << 8 : header[at] << 8 | header[at + 1]; };
    return ElfHeader{header[4] == 2 ? 64 : 32, half(16) == 3, half(18)};
}

QString MachineName(int machine) {
    switch (machine) {
    case 3: return QStringLiteral("x86");
    case 8: return QStringLiteral("MIPS");
    case 20: return QStringLiteral("PowerPC");
    case 21: return QStringLiteral("PowerPC64");
    case 22: return QStringLiteral("S/390");
    case 40: return QStringLiteral("ARM");
    case 62: return QStringLiteral("x86-64");
    case 183: return QStringLiteral("AArch64");
    case 243: return QStringLiteral("RISC-V");
    default: return QStringLiteral("machine %1").arg(machine);
    }
}

// "1.2.3" of libexample.so.1.2.3; "" when the name carries none.
QString LibraryVersion(const QString& fileName) {
    static const QRegularExpression pattern(QStringLiteral("\\.so\\.(\\d+(?:\\.\\d+)*)$"));
    const auto match = pattern.match(fileName);
    return match.hasMatch() ? match.captured(1) : QString();
}

// The version numbers "a.b.c.d" as the fixed record's two halves.
std::pair<std::uint32_t, std::uint32_t> VersionNumbers(const QString& version) {
    std::uint32_t parts[4] = {};
    const QStringList fields = version.split(QLatin1Char('.'));
    for (int i = 0; i < 4 && i < fields.size(); ++i) parts[i] = fields[i].toUInt() & 0xFFFF;
    return {parts[0] << 16 | parts[1], parts[2] << 16 | parts[3]};
}

QPixmap IconPixmap(const QIcon& icon, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    icon.paint(&painter, QRect(0, 0, size, size));
    return pixmap;
}

// The folder of the loaded library that holds the toolkit's core.
QString ToolkitLibraryFolder() {
    const QString library = platform::LoadedLibraryPath(QStringLiteral("libQt6Core"));
    return library.isEmpty() ? QString() : QFileInfo(library).canonicalPath();
}

double InUnit(std::uint64_t bytes, TMemoryStatusKind kind) {
    switch (kind) {
    case mkKB: return static_cast<double>(bytes) / 1024.0;
    case mkMB: return static_cast<double>(bytes) / 1048576.0;
    case mkB: break;
    }
    return static_cast<double>(bytes);
}

}  // namespace

// ---- TFileInfo -------------------------------------------------------------

void TFileInfo::SetFileName(const QString& name) {
    if (name == fileName_) return;
    fileName_ = name;
    Reload();
}

void TFileInfo::Reload() {
    productVersion_ = companyName_ = originalFilename_ = fileDescription_ = fileVersion_ = internalName_ =
        productName_ = QString();
    fixed_ = TVSFixedFileInfo{};
    LoadIcons();
    const QFileInfo file(fileName_);
    const QString real = file.canonicalFilePath();
    if (real.isEmpty()) return;
    const auto elf = ReadElfHeader(real);
    const bool ownProgram = real == QFileInfo(QString::fromStdString(platform::ExecutablePath())).canonicalFilePath();
    if (!elf && !ownProgram) return;

    const QString realName = QFileInfo(real).fileName();
    companyName_ = kUnknown;
    originalFilename_ = realName;
    if (ownProgram) {
        productName_ = ProgramName();
        fileVersion_ = productVersion_ = ProgramVersion();
        fileDescription_ = ProgramName();
        internalName_ = ProgramName().toLower();
    } else {
        const QString version = LibraryVersion(realName);
        productName_ = kUnknown;
        fileVersion_ = productVersion_ = version.isEmpty() ? kUnknown : version;
        internalName_ = realName.section(QStringLiteral(".so"), 0, 0);
    }
    if (elf) {
        // Position-independent programs are shared objects too; only a
        // library carries ".so" in its name.
        const bool library = elf->sharedObject && realName.contains(QStringLiteral(".so"));
        if (!ownProgram)
            fileDescription_ = QStringLiteral("ELF %1-bit %2 (%3)")
                                   .arg(elf->bits)
                                   .arg(library ? QStringLiteral("共有ライブラリ") : QStringLiteral("実行ファイル"),
                                        MachineName(elf->machine));
        fixed_.dwFileType = library ? kFileTypeLibrary : kFileTypeApplication;
    }
    fixed_.dwSignature = kFixedSignature;
    fixed_.dwStrucVersion = kFixedStructVersion;
    fixed_.dwFileFlagsMask = kFileFlagsMask;
    std::tie(fixed_.dwFileVersionMS, fixed_.dwFileVersionLS) = VersionNumbers(fileVersion_);
    std::tie(fixed_.dwProductVersionMS, fixed_.dwProductVersionLS) = VersionNumbers(productVersion_);
}

void TFileInfo::LoadIcons() {
    smallIcon_ = QPixmap();
    largeIcon_ = QPixmap();
    const QFileInfo file(fileName_);
    if (!file.exists()) return;
    const auto type = file.isDir() ? platform::FileObjectType::Folder : platform::FileObjectType::Regular;
    auto& icons = platform::ShellIconCache::Instance();
    const QIcon icon = icons.Icon(icons.IndexOf(platform::FileIconName(file.fileName().toStdString(), type, false)));
    smallIcon_ = IconPixmap(icon, 16);
    largeIcon_ = IconPixmap(icon, 32);
}

// ---- TDisplayInfo ----------------------------------------------------------

TDisplayInfo::TDisplayInfo() {
    for (const platform::DisplayModeFacts& mode : platform::XRandRModes())
        modes_.push_back(TDisplayMode{mode.BitsPerPixel, mode.Width, mode.Height, mode.Frequency});
    if (!modes_.empty()) return;
    // Without an X server that lists its modes, the mode each screen is in.
    QList<QScreen*> screens = QGuiApplication::screens();
    const QScreen* primary = QGuiApplication::primaryScreen();
    std::stable_partition(screens.begin(), screens.end(), [primary](const QScreen* s) { return s == primary; });
    for (const QScreen* screen : screens) {
        const QSize pixels = screen->size() * screen->devicePixelRatio();
        modes_.push_back(TDisplayMode{screen->depth(), pixels.width(), pixels.height(),
                                      static_cast<int>(std::lround(screen->refreshRate()))});
    }
}

// ---- TSysInfo --------------------------------------------------------------

TSysInfo::TSysInfo(QObject* parent) : QObject(parent) {
    const platform::OsRelease release = platform::ReadOsRelease();
    ReadVersion(release);
    ReadUserData(release);
    computerName_ = platform::HostName();
    ReadFolders();
    FillDrives();
    SetMemoryAutoRefreshInterval(1000);
}

TSysInfo::~TSysInfo() = default;

void TSysInfo::ReadVersion(const platform::OsRelease& release) {
    const auto kernel = platform::ReadKernelFacts();
    versions_[0] = !release.Name.isEmpty() ? release.Name
                   : kernel                ? kernel->SystemName
                                           : QStringLiteral("UnSuccessful");
    versions_[1] = kernel ? kernel->Release : QString();
    versions_[2] = !release.Version.isEmpty() ? release.Version : release.VersionId;
    versions_[3] = QString();
}

void TSysInfo::ReadUserData(const platform::OsRelease& release) {
    logOnUserName_ = platform::LogOnUserName();
    if (logOnUserName_.isEmpty()) logOnUserName_ = QStringLiteral("UnKnownLogOnUserName");
    owner_ = platform::UserFullName();
    if (owner_.isEmpty()) owner_ = QStringLiteral("UnKnownUserName");
    organization_ = QStringLiteral("UnKnownCompany");
    productId_ = release.Id;
    if (productId_.isEmpty()) productId_ = QStringLiteral("UnKnownProductID");
}

void TSysInfo::ReadFolders() {
    windowsDir_ = LongPathName(QStringLiteral("/usr"));
    windowsSystemDir_ = ToolkitLibraryFolder();
    deskTopDir_ = LongPathName(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
    personalDir_ = LongPathName(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    startMenuDir_ = LongPathName(QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation));
    startUpDir_ = LongPathName(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                               QStringLiteral("/autostart"));
}

void TSysInfo::FillDrives() {
    drives_.clear();
    for (const platform::MountedDrive& drive : platform::MountedDrives())
        drives_ << QString::fromStdString(drive.mountPoint);
}

QString TSysInfo::LongPathName(const QString& path) {
    QString trimmed = path;
    if (trimmed.size() > 1 && trimmed.endsWith(QLatin1Char('/'))) trimmed.chop(1);
    const QString canonical = QFileInfo(trimmed).canonicalFilePath();
    return canonical.isEmpty() ? trimmed : canonical;
}

QString TSysInfo::ProcessorType() const {
    const QString name = platform::ReadProcessorName();
    return name.isEmpty() ? kUnknown : name;
}

void TSysInfo::SetMemoryStatusKind(TMemoryStatusKind kind) {
    if (kind != mkB && kind != mkKB && kind != mkMB) return;
    memoryKind_ = kind;
    RefreshMemoryStatus();
}

void TSysInfo::RefreshMemoryStatus() {
    const auto facts = platform::ReadMemoryFacts();
    if (!facts) {
        memory_ = TMemStatus{};
        return;
    }
    memory_.TotalPhys = InUnit(facts->Total, memoryKind_);
    memory_.AvailPhys = InUnit(facts->Available, memoryKind_);
    memory_.TotalPageFile = InUnit(facts->SwapTotal, memoryKind_);
    memory_.AvailPageFile = InUnit(facts->SwapFree, memoryKind_);
    memory_.MemoryLoad =
        facts->Total > 0 ? std::trunc(static_cast<double>(facts->Total - std::min(facts->Available, facts->Total)) /
                                      static_cast<double>(facts->Total) * 100.0)
                         : 0;
}

std::int64_t TSysInfo::MemoryLoad() {
    RefreshMemoryStatus();
    return static_cast<std::int64_t>(memory_.MemoryLoad);
}

std::int64_t TSysInfo::MemoryTotal() {
    RefreshMemoryStatus();
    return static_cast<std::int64_t>(memory_.TotalPhys);
}

std::int64_t TSysInfo::MemoryFree() {
    RefreshMemoryStatus();
    return static_cast<std::int64_t>(memory_.AvailPhys);
}

std::int64_t TSysInfo::PageTotal() {
    RefreshMemoryStatus();
    return static_cast<std::int64_t>(memory_.TotalPageFile);
}

std::int64_t TSysInfo::PageFree() {
    RefreshMemoryStatus();
    return static_cast<std::int64_t>(memory_.AvailPageFile);
}

void TSysInfo::SetMemoryAutoRefresh(bool on) {
    autoRefresh_ = on;
    if (on) {
        if (!timer_) {
            timer_ = std::make_unique<QTimer>();
            connect(timer_.get(), &QTimer::timeout, this, [this] { TimerTick(); });
        }
        timer_->start(refreshInterval_);
    } else if (timer_) {
        timer_->stop();
    }
}

void TSysInfo::SetMemoryAutoRefreshInterval(int milliseconds) {
    refreshInterval_ = std::max(1, milliseconds);
    if (timer_) timer_->setInterval(refreshInterval_);
}

void TSysInfo::TimerTick() {
    RefreshMemoryStatus();
    if (OnMemoryRefresh) OnMemoryRefresh(this, memory_);
}
