#include "shell/shell_id_func.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QIcon>
#include <QMimeData>

#include "platform/desktop_services.h"
#include "platform/path_text.h"
#include "platform/shell_data_object.h"
#include "platform/shell_icons.h"
#include "platform/shell_mounts.h"

namespace {

constexpr int kSpecialFolderCsidl[] = {
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x10, 0x11, 0x12,
    0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1D, 0x1E, 0x1F, 0x20, 0x21, 0x22,
};

constexpr std::uint32_t kShAttributeMasks[] = {
    0x1,       0x2,       0x4,        0x10,       0x20,       0x40,      0x100,
    0x177,     0x10000,   0x20000,    0x40000,    0x80000,    0x80000,   0xF0000,
    0x10000000, 0x20000000, 0x40000000, 0x80000000, 0x80000000, 0x1000000, 0x2000000,
    0x4000000, 0x8000000, 0x100000,   0x200000,
};

IDList Release(platform::UniqueIDList list) { return list.release(); }

bool IsSpecialFolder(ConstIDList absolute, TShSpecialFolder folder) {
    IDList special = nullptr;
    if (!GetSpecialFolderIDList(folder, special)) return false;
    const bool same = CompareIDList(GetDesktopFolder(), absolute, special) == 0;
    FreeIDList(special);
    return same;
}

// DOS date and time keep years 1980..2107 in two-second steps.
bool InDosRange(const QDateTime& local) {
    const int year = local.date().year();
    return year >= 1980 && year <= 2107;
}

}  // namespace

int SpecialFolderCsidl(TShSpecialFolder folder) {
    const int index = static_cast<int>(folder);
    return index >= 0 && index < static_cast<int>(std::size(kSpecialFolderCsidl)) ? kSpecialFolderCsidl[index] : -1;
}

std::uint32_t ShAttributeMask(TShAttribute attribute) {
    const int index = static_cast<int>(attribute);
    return index >= 0 && index < static_cast<int>(std::size(kShAttributeMasks)) ? kShAttributeMasks[index] : 0;
}

IDList AllocIDList(std::uint16_t size) { return platform::AllocItemIDList(size); }

void FreeIDList(IDList& list) {
    platform::FreeItemIDList(list);
    list = nullptr;
}

std::uint16_t IDListItemSize(ConstIDList list) {
    const std::uint16_t size = platform::ItemSize(list);
    return size == 0 ? 0 : static_cast<std::uint16_t>(size + 2);
}

std::size_t IDListSize(ConstIDList list) { return platform::ItemIDListSize(list); }

ConstIDList IDListNext(ConstIDList list) {
    if (platform::IsEmptyIDList(list)) return nullptr;
    ConstIDList next = platform::NextItem(list);
    return platform::IsEmptyIDList(next) ? nullptr : next;
}

IDList CopyFirstItem(ConstIDList list) {
    if (platform::IsEmptyIDList(list)) return nullptr;
    return Release(platform::CopyFirstItemOnly(list));
}

IDList CopyIDList(ConstIDList list) { return Release(platform::CopyItemIDList(list)); }

IDList ConcatIDList(ConstIDList a, ConstIDList b) { return Release(platform::JoinIDLists(a, b)); }

IDList ConcatIDListFree(IDList a, IDList b) {
    if (!a) return b;
    if (!b) return a;
    IDList joined = ConcatIDList(a, b);
    FreeIDList(a);
    FreeIDList(b);
    return joined;
}

IDList ParentIDList(ConstIDList list) {
    if (platform::ItemCount(list) < 2) return nullptr;
    return Release(platform::CopyAllButLast(list));
}

IDList LastItemIDList(ConstIDList list) {
    if (platform::IsEmptyIDList(list)) return nullptr;
    return Release(platform::CopyFirstItemOnly(platform::LastItem(list)));
}

int IDListLevel(ConstIDList absolute) {
    if (!absolute || !GetDesktopFolder()) return -1;
    if (IsDesktopIDList(GetDesktopFolder(), absolute)) return 0;
    return static_cast<int>(platform::ItemCount(absolute));
}

ShellFolderPtr GetDesktopFolder() {
    thread_local const ShellFolderPtr desktop = platform::DesktopFolder();
    return desktop;
}

int CompareIDList(const ShellFolderPtr& folder, ConstIDList a, ConstIDList b) {
    if (!folder || !a || !b) return 3;
    const std::optional<int> order = folder->CompareIDs(0, a, b);
    if (!order) return 3;
    const auto low = static_cast<std::int16_t>(*order & 0xFFFF);
    return low < 0 ? 2 : (low > 0 ? 1 : 0);
}

bool IsDesktopIDList(const ShellFolderPtr& folder, ConstIDList list) {
    IDList desktop = nullptr;
    if (!GetSpecialFolderIDList(sfDesktop, desktop)) return false;
    const bool same = CompareIDList(folder, list, desktop) == 0;
    FreeIDList(desktop);
    return same;
}

bool AbsoluteHasAttribute(ConstIDList absolute, TShAttribute attribute) {
    const std::uint32_t mask = ShAttributeMask(attribute);
    const std::optional<std::uint32_t> bits = GetDesktopFolder()->GetAttributesOf(absolute, mask);
    return bits && (*bits & mask) == mask;
}

TShItemIDType GetItemType(ConstIDList absolute) {
    if (!GetDesktopFolder()) return itUnknown;
    const int level = IDListLevel(absolute);
    if (level < 0) return itUnknown;
    if (level == 0) return itDeskTop;
    if (level == 1) {
        if (IsSpecialFolder(absolute, sfDrives)) return itMyComputer;
        if (IsSpecialFolder(absolute, sfNetwork)) return itNetWork;
        if (IsSpecialFolder(absolute, sfBitBucket)) return itBitBucket;
        if (IsSpecialFolder(absolute, sfInternet)) return itInterNet;
    }
    if (!AbsoluteHasAttribute(absolute, saFileSystem)) return itVirtual;
    if (level == 2 && AbsoluteHasAttribute(absolute, saFileSysAncestor)) return itRootDrive;
    return AbsoluteHasAttribute(absolute, saFolder) ? itFolder : itFile;
}

ShellFolderPtr BindToFolder(ConstIDList absolute) {
    if (!absolute) return nullptr;
    if (platform::IsEmptyIDList(absolute)) return GetDesktopFolder();
    return GetDesktopFolder()->BindToObject(absolute);
}

bool ShellExecuteIDList(QWidget* owner, ConstIDList absolute) {
    std::string path;
    if (!NativePathFromIDList(absolute, path)) return false;
    return platform::OpenWithDefaultApplication(path, owner);
}

bool GetSpecialFolderIDList(TShSpecialFolder folder, IDList& list) {
    list = Release(platform::SpecialFolderIDList(SpecialFolderCsidl(folder)));
    return list != nullptr;
}

bool GetSpecialFolderPath(TShSpecialFolder folder, QString& path) {
    IDList list = nullptr;
    if (!GetSpecialFolderIDList(folder, list)) return false;
    QString found;
    const bool ok = PathFromIDList(list, found);
    FreeIDList(list);
    if (ok) path = found;
    return ok;
}

bool NativePathFromIDList(ConstIDList absolute, std::string& path) {
    path = platform::PathOfIDList(absolute);
    return !path.empty();
}

bool PathFromIDList(ConstIDList absolute, QString& path) {
    std::string native;
    const bool ok = NativePathFromIDList(absolute, native);
    path = platform::PathText(native);
    return ok;
}

bool IDListFromNativePath(const std::string& path, IDList& list) {
    list = Release(GetDesktopFolder()->ParseNativePath(path));
    return list != nullptr;
}

bool IDListFromPath(const QString& path, IDList& list) {
    list = Release(GetDesktopFolder()->ParseDisplayName(path));
    return list != nullptr;
}

bool StrRetToString(const ShellFolderPtr& folder, ConstIDList item, unsigned flags, QString& text) {
    text.clear();
    if (!folder || !item) return true;
    const std::optional<QString> name = folder->GetDisplayNameOf(item, flags);
    if (!name) return false;
    text = *name;
    return true;
}

int GetSysIconIndex(ConstIDList absolute, bool /*large*/, bool open) {
    if (!absolute) return 0;
    return GetDesktopFolder()->GetIconOf(absolute, open);
}

int TSysImageList::Count() const { return platform::ShellIconCache::Instance().Count(); }

QIcon TSysImageList::Icon(int index) const { return platform::ShellIconCache::Instance().Icon(index); }

TSysImageList GetSysImageList(bool large) { return TSysImageList(large); }

QString GetTypeName(ConstIDList absolute) {
    if (!absolute) return QString();
    return GetDesktopFolder()->GetTypeName(absolute);
}

bool GetFindData(const ShellFolderPtr& folder, ConstIDList item, platform::FindData& data) {
    return folder && item && folder->GetFindData(item, data);
}

QString VolumeLabelText(const QString& rawLabel) {
    QString label = rawLabel.toLower();
    if (!label.isEmpty() && label[0] >= QLatin1Char('a') && label[0] <= QLatin1Char('z')) label[0] = label[0].toUpper();
    return label;
}

QString GetVolumeLabel(const QString& drivePath) {
    return VolumeLabelText(platform::RawVolumeLabel(platform::PathBytes(drivePath)));
}

QString JoinPath(const QString& folder, const QString& name) {
    if (folder.endsWith(QLatin1Char('/'))) return folder + name;
    return folder + QLatin1Char('/') + name;
}

QString IncludeBackslash(const QString& path) {
    return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

QDateTime FileTimeToDateTime(platform::FileTime time) {
    if (time.IsZero()) return QDateTime();
    const std::int64_t ns = platform::UnixNsFromFileTime(time);
    const std::int64_t ms = ns >= 0 ? ns / 1'000'000 : -((-ns + 999'999) / 1'000'000);
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toLocalTime();
}

platform::FileTime DateTimeToFileTime(const QDateTime& dateTime) {
    if (!dateTime.isValid()) return platform::FileTime{};
    QDateTime local = dateTime.toLocalTime();
    if (InDosRange(local)) {
        const QTime time = local.time();
        local.setTime(QTime(time.hour(), time.minute(), time.second() - time.second() % 2));
    }
    const std::int64_t ms = local.toMSecsSinceEpoch();
    return platform::FileTimeFromUnixNs(ms * 1'000'000);
}

const TShellClipboardFormats& ShellClipboardFormats() {
    static const TShellClipboardFormats formats{
        TFormatEtc{platform::ShellIDListArrayMime()},   TFormatEtc{platform::ShellObjectOffsetsMime()},
        TFormatEtc{platform::FileNameMapMime()},        TFormatEtc{platform::FileNameMapWMime()},
        TFormatEtc{platform::PerformedDropEffectMime()}, TFormatEtc{platform::UriListMime()},
    };
    return formats;
}

QString GnomeCopiedFilesMimeType() { return platform::GnomeCopiedFilesMime(); }
QString KdeCutSelectionMimeType() { return platform::KdeCutSelectionMime(); }

bool OffersShellIDListArray(const QMimeData* data) {
    return data && data->hasFormat(platform::ShellIDListArrayMime());
}

bool IsShellData(const QMimeData* data) { return platform::OffersShellData(data); }

bool ClipboardHasShellData() {
    const QClipboard* clipboard = QGuiApplication::clipboard();
    return clipboard && IsShellData(clipboard->mimeData());
}
