#include "raster/grx_codec.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>

#include "platform/code_page.h"

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

}  // namespace

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

void TRecordReader::Add(const char* data) {
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
