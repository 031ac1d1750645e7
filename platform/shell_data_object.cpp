#include "platform/shell_data_object.h"

#include <cstring>

#include <QMimeData>

#include "platform/shell_namespace.h"

namespace platform {
namespace {

void AppendUint32(QByteArray& bytes, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) bytes.append(static_cast<char>((value >> shift) & 0xFF));
}

std::uint32_t ReadUint32(const QByteArray& bytes, qsizetype offset) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<std::uint8_t>(bytes[offset + i]);
    return value;
}

// The list at offset inside bytes, none when it is not a whole list.
const ItemIDList* ListAt(const QByteArray& bytes, std::uint32_t offset) {
    if (offset >= static_cast<std::uint32_t>(bytes.size())) return nullptr;
    const auto* start = reinterpret_cast<const std::uint8_t*>(bytes.constData()) + offset;
    if (!IsWellFormedIDList(start, static_cast<std::size_t>(bytes.size()) - offset)) return nullptr;
    return IDListAt(start);
}

// The lists of an item-list array where they lie in bytes; false for a
// malformed array.
bool ViewIDListArray(const QByteArray& bytes, const ItemIDList*& parent, std::vector<const ItemIDList*>& items) {
    items.clear();
    if (bytes.size() < 8) return false;
    const std::uint32_t count = ReadUint32(bytes, 0);
    if (count > static_cast<std::uint32_t>(bytes.size()) / 4 || 4 * (static_cast<qsizetype>(count) + 2) > bytes.size())
        return false;
    parent = ListAt(bytes, ReadUint32(bytes, 4));
    if (!parent) return false;
    items.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const ItemIDList* item = ListAt(bytes, ReadUint32(bytes, 8 + 4 * static_cast<qsizetype>(i)));
        if (!item) return false;
        items.push_back(item);
    }
    return true;
}

}  // namespace

QString ShellIDListArrayMime() { return QStringLiteral("application/x-kelvandor-shell-idlist-array"); }
QString ShellObjectOffsetsMime() { return QStringLiteral("application/x-kelvandor-shell-object-offsets"); }
QString FileNameMapMime() { return QStringLiteral("application/x-kelvandor-filename-map"); }
QString FileNameMapWMime() { return QStringLiteral("application/x-kelvandor-filename-map-w"); }
QString PerformedDropEffectMime() { return QStringLiteral("application/x-kelvandor-performed-dropeffect"); }
QString UriListMime() { return QStringLiteral("text/uri-list"); }
QString GnomeCopiedFilesMime() { return QStringLiteral("x-special/gnome-copied-files"); }
QString KdeCutSelectionMime() { return QStringLiteral("application/x-kde-cutselection"); }

QByteArray EncodeIDListArray(const ItemIDList* parent, std::span<const ItemIDList* const> items) {
    QByteArray bytes;
    const std::uint32_t count = static_cast<std::uint32_t>(items.size());
    AppendUint32(bytes, count);
    std::uint32_t offset = 4 * (count + 2);
    AppendUint32(bytes, offset);
    offset += static_cast<std::uint32_t>(ItemIDListSize(parent));
    for (const ItemIDList* item : items) {
        AppendUint32(bytes, offset);
        offset += static_cast<std::uint32_t>(ItemIDListSize(item));
    }
    bytes.append(reinterpret_cast<const char*>(IDListBytes(parent)), static_cast<qsizetype>(ItemIDListSize(parent)));
    for (const ItemIDList* item : items)
        bytes.append(reinterpret_cast<const char*>(IDListBytes(item)), static_cast<qsizetype>(ItemIDListSize(item)));
    return bytes;
}

bool DecodeIDListArray(const QByteArray& bytes, UniqueIDList& parent, std::vector<UniqueIDList>& items) {
    items.clear();
    const ItemIDList* parentView = nullptr;
    std::vector<const ItemIDList*> itemViews;
    if (!ViewIDListArray(bytes, parentView, itemViews)) return false;
    parent = CopyItemIDList(parentView);
    for (const ItemIDList* item : itemViews) items.push_back(CopyItemIDList(item));
    return true;
}

std::unique_ptr<QMimeData> MakeShellDataObject(const ItemIDList* parent, std::span<const ItemIDList* const> items) {
    std::vector<std::string> paths;
    const std::shared_ptr<ShellFolder> desktop = DesktopFolder();
    for (const ItemIDList* item : items) {
        UniqueIDList absolute = JoinIDLists(parent, item);
        const std::string path = desktop->PathOf(absolute.get());
        if (!path.empty()) paths.push_back(path);
    }
    std::unique_ptr<QMimeData> data = paths.empty() ? std::make_unique<QMimeData>() : MakeFileMimeData(paths, false);
    data->setData(ShellIDListArrayMime(), EncodeIDListArray(parent, items));
    return data;
}

ClipboardFiles FilesOfShellData(const QMimeData* data) {
    ClipboardFiles dropped = ReadFilesFromMimeData(data);
    if (!data || !data->hasFormat(ShellIDListArrayMime())) return dropped;
    UniqueIDList parent;
    std::vector<UniqueIDList> items;
    if (!DecodeIDListArray(data->data(ShellIDListArrayMime()), parent, items)) return dropped;
    std::vector<std::string> named;
    const std::shared_ptr<ShellFolder> desktop = DesktopFolder();
    for (const UniqueIDList& item : items) {
        UniqueIDList absolute = JoinIDLists(parent.get(), item.get());
        const std::string path = desktop->PathOf(absolute.get());
        if (!path.empty()) named.push_back(path);
    }
    if (named.empty()) return dropped;
    return ClipboardFiles{std::move(named), dropped.cut};
}

std::vector<std::string> PathsOfShellData(const QMimeData* data) { return FilesOfShellData(data).paths; }

bool OffersFiles(const QMimeData* data) {
    if (!data) return false;
    if (data->hasFormat(ShellIDListArrayMime())) {
        const QByteArray bytes = data->data(ShellIDListArrayMime());
        const ItemIDList* parent = nullptr;
        std::vector<const ItemIDList*> items;
        if (ViewIDListArray(bytes, parent, items)) {
            const std::shared_ptr<ShellFolder> desktop = DesktopFolder();
            for (const ItemIDList* item : items)
                if (!desktop->PathOf(JoinIDLists(parent, item).get()).empty()) return true;
        }
    }
    return !ReadFilesFromMimeData(data).paths.empty();
}

bool OffersShellData(const QMimeData* data) {
    return data && (data->hasFormat(ShellIDListArrayMime()) || data->hasFormat(UriListMime()));
}

}  // namespace platform
