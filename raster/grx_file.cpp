// The annotation side file: a plain sequence of 620-byte object records,
// no header. The records of one layer are consecutive and repeat the
// layer's name (code page 932) and mode, which is all that groups them.

#include <string>

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "platform/code_page.h"
#include "platform/hourglass_cursor.h"
#include "platform/message_box.h"
#include "raster/raster.h"
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

// Unbuffered, so that a short write (a full disk, a file size limit)
// shows in the count written: a buffered one can be lost in the flush
// and the truncated file would still be committed.
bool WriteAll(QSaveFile& file, const QByteArray& contents) {
    return file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && file.write(contents) == contents.size();
}

// Turns the complete records of the file into layers and objects; a
// partial record at the end is ignored. False on a read error.
bool ReadRecords(QFile& file, TRasterLayers& layers) {
    std::string previousName;
    TRasterLayer* layer = nullptr;
    ObjectRecord::Bytes record;
    const auto size = static_cast<qint64>(record.size());
    qint64 got = 0;
    while ((got = file.read(reinterpret_cast<char*>(record.data()), size)) == size) {
        const std::string_view name =
            ObjectRecord::ReadString(record, ObjectRecord::kLayerName, ObjectRecord::kNameField);
        // A first record with an empty name still needs a layer to go to.
        if (layer == nullptr || name != previousName) {
            // Appended before its mode is set, so that a second group in
            // mode 0 demotes the first and one active layer remains.
            layer = layers.Append(std::make_unique<TRasterLayer>(&layers, platform::FromCodePage932(name)));
            layer->SetMode(ModeFromByte(record[ObjectRecord::kLayerMode]));
            previousName = name;
        }
        auto object = std::make_unique<TRasterObject>(layer);
        object->Record() = record;
        layer->AppendStored(std::move(object));
    }
    return got >= 0;
}

void ReportFileError(QWidget* owner, const QString& what, const QString& path, const QString& reason) {
    platform::ShowMessage(owner, QStringLiteral("%1\n%2\n%3").arg(what, path, reason),
                          platform::MessageIcon::Error);
}

}  // namespace

QString TRaster::AnnotationPath(const QString& imagePath) {
    const qsizetype nameStart = imagePath.lastIndexOf(QLatin1Char('/')) + 1;
    const qsizetype dot = imagePath.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot >= nameStart ? imagePath.left(dot) : imagePath;
    return stem + QStringLiteral(".grx");
}

bool TRaster::SaveAnnotations(const QString& path) {
    if (QFileInfo::exists(path) &&
        platform::ShowMessage(this, QStringLiteral("データを上書きしますか？"),
                              platform::MessageIcon::Question,
                              platform::MessageButtons::YesNo) != platform::MessageResult::Yes)
        return false;

    const platform::HourglassCursor hourglass;
    // The new contents go to a file beside the old one, which is replaced
    // only once everything has been written.
    QSaveFile file(path);
    if (!WriteAll(file, EncodeRecords(Layers())) || !file.commit()) {
        const QString reason = file.error() != QFileDevice::NoError
                                   ? file.errorString()
                                   : QStringLiteral("書き込みが途中で止まりました。");
        file.cancelWriting();
        ReportFileError(this, QStringLiteral("注釈ファイルを保存できませんでした。"), path, reason);
        return false;
    }
    SetModified(false);
    return true;
}

bool TRaster::LoadAnnotations(const QString& path) {
    bool read = false;
    if (QFileInfo(path).isFile()) {
        QFile file(path);
        read = file.open(QIODevice::ReadOnly) && ReadRecords(file, Layers());
        if (!read)
            ReportFileError(this, QStringLiteral("注釈ファイルを読み込めませんでした。"), path,
                            file.errorString());
    }
    RebuildTreeView();
    return read;
}
