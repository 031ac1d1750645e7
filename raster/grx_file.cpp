// The annotation side file: a plain sequence of 620-byte object records,
// no header. The records of one layer are consecutive and repeat the
// layer's name (code page 932) and mode, which is all that groups them.

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "platform/code_page.h"
#include "platform/file_names.h"
#include "platform/hourglass_cursor.h"
#include "platform/message_box.h"
#include "platform/path_text.h"
#include "platform/regular_file.h"
#include "platform/replacing_file.h"
#include "raster/raster.h"
#include "raster/raster_document.h"
#include "raster/raster_layers.h"

namespace {

// Unknown mode bytes (a damaged or foreign file) read as visible.
TLayerMode ModeFromByte(std::uint8_t byte) {
    switch (byte) {
        case lmActive: return lmActive;
        case lmInvisible: return lmInvisible;
        default: return lmVisible;
    }
}

// The object's record with the layer's name and mode put in, as stored.
ObjectRecord::Bytes StoredRecord(const TRasterLayer& layer, const TRasterObject& object) {
    ObjectRecord::Bytes record = object.Record();
    record[ObjectRecord::kLayerMode] = layer.Mode();
    ObjectRecord::WriteString(record, ObjectRecord::kLayerName, ObjectRecord::kNameField,
                              platform::ToCodePage932(layer.Name()));
    return record;
}

// Every record in file order: layer by layer, object by object.
QByteArray EncodeRecords(const TRasterLayers& layers) {
    QByteArray contents;
    for (int l = 0; l < layers.Count(); ++l) {
        const TRasterLayer& layer = *layers.Items(l);
        for (int o = 0; o < layer.Count(); ++o) {
            const ObjectRecord::Bytes record = StoredRecord(layer, *layer.Objects(o));
            contents.append(reinterpret_cast<const char*>(record.data()),
                            static_cast<qsizetype>(record.size()));
        }
    }
    return contents;
}

// Turns records into layers and objects, in as many pieces as they come;
// consecutive records of one layer name form one layer. The tree is
// rebuilt once afterwards, not for every layer.
class TRecordReader {
public:
    explicit TRecordReader(TRasterLayers& layers) : layers_(layers), bulk_(layers) {}

    void Add(const char* data, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) Add(data + i * ObjectRecord::kSize);
    }

private:
    void Add(const char* data) {
        ObjectRecord::Bytes record;
        std::memcpy(record.data(), data, record.size());
        const std::string_view name =
            ObjectRecord::ReadString(record, ObjectRecord::kLayerName, ObjectRecord::kNameField);
        // A first record with an empty name still needs a layer to go to.
        if (layer_ == nullptr || name != previousName_) {
            // Appended before its mode is set, so that a second group in
            // mode 0 demotes the first and one active layer remains.
            layer_ = layers_.Append(std::make_unique<TRasterLayer>(&layers_, platform::FromCodePage932(name)));
            layer_->SetMode(ModeFromByte(record[ObjectRecord::kLayerMode]));
            previousName_ = name;
        }
        auto object = std::make_unique<TRasterObject>(layer_);
        object->Record() = record;
        layer_->AppendStored(std::move(object));
    }

    TRasterLayers& layers_;
    const TRasterLayers::TBulkLoad bulk_;
    std::string previousName_;
    TRasterLayer* layer_ = nullptr;
};

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

// The question before a side file is replaced. When the file could not be
// read completely, some of its markers are not in the view: the question
// says so, since writing now would replace them by what the view holds.
QString OverwriteQuestion(const QString& path, bool readCompletely) {
    const QString question = QStringLiteral("データを上書きしますか？");
    if (readCompletely) return question;
    return QStringLiteral("注釈ファイル「%1」は最後まで読み込めなかったため、ファイルの注釈の一部または"
                          "すべてが表示されていません。上書きすると、それらの注釈は失われます。\n%2")
        .arg(QFileInfo(path).fileName(), question);
}

// True when there is no file at path, or the user agreed to replace it.
bool MayReplace(QWidget* owner, const QString& path, bool readCompletely) {
    return !platform::ItemExists(platform::PathBytes(path)) ||
           platform::ShowMessage(owner, OverwriteQuestion(path, readCompletely), platform::MessageIcon::Question,
                                 platform::MessageButtons::YesNo) == platform::MessageResult::Yes;
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

void ReportFileError(QWidget* owner, const QString& what, const QString& path, const QString& reason) {
    platform::ShowMessage(owner, QStringLiteral("%1\n%2\n%3").arg(what, path, reason),
                          platform::MessageIcon::Error);
}

}  // namespace

// --- The document's side file -------------------------------------------

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

// --- The view's prompts around it ------------------------------------------

QString TRaster::AnnotationPath(const QString& imagePath) { return TRasterDocument::AnnotationPath(imagePath); }

bool TRaster::SaveAnnotations(const QString& path) {
    if (!MayReplace(this, path, !document_->AnnotationsIncomplete())) return false;
    const platform::HourglassCursor hourglass;
    const QString failure = document_->WriteAnnotations(path);
    if (!failure.isEmpty()) {
        ReportFileError(this, QStringLiteral("注釈ファイルを保存できませんでした。"), path, failure);
        return false;
    }
    return true;
}

void TRaster::SaveAnnotationsAtClose() {
    const QString path = AnnotationPath(FileName());
    // Declining keeps the old side file; the changes go with the image.
    if (!MayReplace(this, path, !document_->AnnotationsIncomplete())) return;
    QString failure;
    QString recoveryPath;
    QString recoveryFailure;
    {
        const platform::HourglassCursor hourglass;
        failure = document_->WriteAnnotations(path);
        if (failure.isEmpty()) return;
        recoveryFailure = document_->WriteRecoveryFile(path, recoveryPath);
    }
    const QString notSaved =
        QStringLiteral("注釈ファイルを保存できませんでした。\n%1\n%2\n\n").arg(path, failure);
    if (recoveryFailure.isEmpty()) {
        platform::ShowMessage(this,
                              notSaved + QStringLiteral("注釈は次のファイルに退避しました。名前を「%1」に変えて"
                                                        "画像と同じフォルダーに置くと、画像の注釈として読み込まれます。\n%2")
                                             .arg(QFileInfo(path).fileName(), recoveryPath),
                              platform::MessageIcon::Warning);
        return;
    }
    platform::ShowMessage(this,
                          notSaved + QStringLiteral("退避用のファイルにも保存できなかったため、この画像の注釈は"
                                                    "失われました。\n%1\n%2")
                                         .arg(recoveryPath, recoveryFailure),
                          platform::MessageIcon::Error);
}

bool TRaster::LoadAnnotations(const QString& path) {
    QString failure;
    const bool read = document_->ReadAnnotations(path, failure);
    if (!failure.isEmpty())
        ReportFileError(this, QStringLiteral("注釈ファイルを読み込めませんでした。"), path, failure);
    RebuildTreeView();
    return read;
}
