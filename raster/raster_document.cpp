// The document of the raster view: the bitmap it shows, the layers, and
// reading and writing them in the side file (grx_codec.h holds the
// records' layout).
#include "raster/raster_document.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <new>
#include <optional>
#include <utility>

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "platform/file_names.h"
#include "platform/path_text.h"
#include "platform/regular_file.h"
#include "platform/replacing_file.h"
#include "raster/grx_codec.h"
#include "raster/raster_layers.h"

// --- TRasterDocument ----------------------------------------------------

TRasterDocument::TRasterDocument(TLayersHost* host) : layers_(std::make_unique<TRasterLayers>(host)) {}

TRasterDocument::~TRasterDocument() = default;

void TRasterDocument::SetImage(std::unique_ptr<TDecodedImage> image) {
    image_ = std::move(image);
    if (image_ != nullptr) info_ = image_->Info;
}

void TRasterDocument::ClearAnnotations() {
    layers_->Clear();
    modified_ = false;
    annotationsIncomplete_ = false;
}

// --- The side file ----------------------------------------------------

namespace {

// Records read at a time: a buffer small enough to stay off the big
// allocations, large enough for few reads.
constexpr std::size_t kRecordsPerRead = 64;

// Reads the side file into layers. True when the file existed and its
// records were read; failure tells why the file (if there is one) was not
// read completely, and is empty when it was or when there is none.
bool ReadSideFile(const QString& path, TRasterLayers& layers, QString& failure) {
    int errorNumber = 0;
    std::optional<platform::RegularFile> file =
        platform::RegularFile::Open(platform::PathBytes(path), failure, errorNumber);
    if (!file) {
        // No side file: the image has no layers yet.
        if (errorNumber == ENOENT) failure.clear();
        return false;
    }
    if (file->Size() > TRasterDocument::kMaxAnnotationFileBytes) {
        failure = QStringLiteral("ファイルが大きすぎます (%1 バイト)。注釈ファイルは %2 バイトまで読み込めます。")
                      .arg(file->Size())
                      .arg(TRasterDocument::kMaxAnnotationFileBytes);
        return false;
    }
    TRecordReader reader(layers);
    std::array<char, kRecordsPerRead * ObjectRecord::kSize> buffer;
    for (std::int64_t left = file->Size(); left > 0;) {
        const std::int64_t got = file->Read(buffer.data(), std::min<std::int64_t>(left, buffer.size()), failure);
        if (got < 0) return false;
        reader.Add(buffer.data(), std::size_t(got) / ObjectRecord::kSize);
        if (got % std::int64_t(ObjectRecord::kSize) != 0) {
            failure = QStringLiteral("ファイルの最後のレコードが途中で切れています。");
            break;
        }
        if (got == 0) break;
        left -= got;
    }
    return true;
}

// Writes the layers' records to path. The new contents go to a file
// beside the old one, which is replaced only once everything has been
// written. Empty on success, otherwise the reason of the failure.
QString WriteSideFile(const TRasterLayers& layers, const QString& path) {
    QString failure;
    try {
        const QByteArray contents = EncodeRecords(layers);
        const std::unique_ptr<platform::ReplacingFile> file =
            platform::ReplacingFile::Create(platform::PathBytes(path), failure);
        if (file && file->Write(contents.constData(), contents.size(), failure)) file->Commit(failure);
    } catch (const std::bad_alloc&) {
        failure = QStringLiteral("メモリーが足りません。");
    }
    return failure;
}

// A name in folder that no file has yet: the side file's base name with
// the time, and a counter when two closes fall into one second.
QString UnusedRecoveryPath(const QString& folder, const QString& sidePath) {
    const QString base = folder + QLatin1Char('/') + QFileInfo(sidePath).completeBaseName() + QLatin1Char('-') +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString candidate = base + QStringLiteral(".grx");
    for (int n = 2; platform::ItemExists(platform::PathBytes(candidate)); ++n)
        candidate = base + QStringLiteral("-%1.grx").arg(n);
    return candidate;
}

// Writes the layers' records to a new file under the user's data folder,
// for a side file that could not be written. recoveryPath receives the
// file (or the folder, when that is what failed); the result is as for
// WriteSideFile.
QString WriteRecoveryFile(const TRasterLayers& layers, const QString& sidePath, QString& recoveryPath) {
    const QString dataFolder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (dataFolder.isEmpty()) return QStringLiteral("ユーザーのデータフォルダーが見つかりません。");
    const QString folder = dataFolder + QStringLiteral("/kelvandor/recovered");
    if (!QDir().mkpath(folder)) {
        recoveryPath = folder;
        return QStringLiteral("フォルダーを作成できません。");
    }
    recoveryPath = UnusedRecoveryPath(folder, sidePath);
    return WriteSideFile(layers, recoveryPath);
}

}  // namespace

QString TRasterDocument::AnnotationPath(const QString& imagePath) {
    const qsizetype nameStart = imagePath.lastIndexOf(QLatin1Char('/')) + 1;
    const qsizetype dot = imagePath.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot >= nameStart ? imagePath.left(dot) : imagePath;
    return stem + QStringLiteral(".grx");
}

bool TRasterDocument::ReadAnnotations(const QString& path, QString& failure) {
    failure.clear();
    const bool read = ReadSideFile(path, *layers_, failure);
    annotationsIncomplete_ = !failure.isEmpty();
    return read;
}

QString TRasterDocument::WriteAnnotations(const QString& path) {
    const QString failure = WriteSideFile(*layers_, path);
    if (failure.isEmpty()) {
        modified_ = false;
        annotationsIncomplete_ = false;
    }
    return failure;
}

QString TRasterDocument::WriteRecoveryFile(const QString& sidePath, QString& recoveryPath) const {
    return ::WriteRecoveryFile(*layers_, sidePath, recoveryPath);
}

