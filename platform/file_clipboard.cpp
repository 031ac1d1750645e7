#include "file_clipboard.h"

#include <QApplication>
#include <QClipboard>
#include <QHash>
#include <QMimeData>

#include "platform/file_uri.h"
#include "platform/shell_data_object.h"

namespace platform {
namespace {

const QString kUriList = QStringLiteral("text/uri-list");
const QString kGnomeFiles = QStringLiteral("x-special/gnome-copied-files");
const QString kKdeCut = QStringLiteral("application/x-kde-cutselection");
const QString kPlainText = QStringLiteral("text/plain");
constexpr char kNautilusHeader[] = "x-special/nautilus-clipboard";

std::string ToBytes(const QByteArray& data) { return std::string(data.constData(), data.size()); }

QByteArray ToByteArray(const std::string& bytes) {
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// Lines split at LF, with a CR before it dropped, empty lines skipped.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// The local paths of URI lines; comment lines (#) and other URIs are skipped.
std::vector<std::string> PathsOf(const std::vector<std::string>& lines, std::size_t first) {
    std::vector<std::string> paths;
    for (std::size_t i = first; i < lines.size(); ++i) {
        if (lines[i].front() == '#') continue;
        if (auto path = PathFromFileUri(lines[i])) paths.push_back(*path);
    }
    return paths;
}

// "copy"/"cut" followed by URIs: the GNOME format and Nautilus' text form.
ClipboardFiles FromActionAndUris(const std::vector<std::string>& lines, std::size_t actionLine) {
    ClipboardFiles files;
    if (lines.size() <= actionLine) return files;
    files.cut = lines[actionLine] == "cut";
    files.paths = PathsOf(lines, actionLine + 1);
    return files;
}

// The file formats, each built when first asked for: the data of 100,000
// files is put on the clipboard at once, and a format costs its time only
// when a paste or another program reads it. Formats set on it later (the
// item-list array) are kept as QMimeData keeps them.
class FileMimeData final : public QMimeData {
public:
    FileMimeData(std::vector<std::string> paths, bool cut) : paths_(std::move(paths)), cut_(cut) {}

    QStringList formats() const override {
        QStringList formats = {kUriList, kGnomeFiles, kKdeCut, kPlainText};
        for (const QString& format : QMimeData::formats())
            if (!formats.contains(format)) formats << format;
        return formats;
    }
    bool hasFormat(const QString& mimeType) const override { return formats().contains(mimeType); }

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override {
        if (QMimeData::formats().contains(mimeType)) return QMimeData::retrieveData(mimeType, type);
        if (mimeType == kKdeCut) return cut_ ? QByteArray("1") : QByteArray("0");
        if (mimeType != kUriList && mimeType != kGnomeFiles && mimeType != kPlainText)
            return QMimeData::retrieveData(mimeType, type);
        if (!built_.contains(mimeType)) built_.insert(mimeType, ToByteArray(Build(mimeType)));
        return built_.value(mimeType);
    }

private:
    std::string Build(const QString& mimeType) const {
        std::string text = mimeType == kGnomeFiles ? (cut_ ? "cut" : "copy") : "";
        for (const std::string& path : paths_) {
            if (mimeType == kUriList)
                text += FileUri(path) + "\r\n";
            else if (mimeType == kGnomeFiles)
                text += "\n" + FileUri(path);
            else
                text += (text.empty() ? "" : "\n") + path;
        }
        return text;
    }

    std::vector<std::string> paths_;
    bool cut_;
    mutable QHash<QString, QByteArray> built_;
};

}  // namespace

std::unique_ptr<QMimeData> MakeFileMimeData(std::vector<std::string> paths, bool cut) {
    return std::make_unique<FileMimeData>(std::move(paths), cut);
}

void PutFilesOnClipboard(const std::vector<std::string>& paths, bool cut) {
    QApplication::clipboard()->setMimeData(MakeFileMimeData(paths, cut).release());
}

ClipboardFiles ReadFilesFromMimeData(const QMimeData* data) {
    if (data == nullptr) return {};
    if (data->hasFormat(kGnomeFiles)) {
        ClipboardFiles files = FromActionAndUris(Lines(ToBytes(data->data(kGnomeFiles))), 0);
        if (!files.paths.empty()) return files;
    }
    if (data->hasFormat(kUriList)) {
        ClipboardFiles files;
        files.paths = PathsOf(Lines(ToBytes(data->data(kUriList))), 0);
        files.cut = data->data(kKdeCut).trimmed() == "1";
        if (!files.paths.empty()) return files;
    }
    if (data->hasFormat(kPlainText)) {
        const std::vector<std::string> lines = Lines(ToBytes(data->data(kPlainText)));
        if (!lines.empty() && lines.front() == kNautilusHeader) return FromActionAndUris(lines, 1);
    }
    return {};
}

ClipboardFiles ReadFilesFromClipboard() { return FilesOfShellData(QApplication::clipboard()->mimeData()); }

bool CanPasteFiles() { return OffersFiles(QApplication::clipboard()->mimeData()); }

}  // namespace platform
