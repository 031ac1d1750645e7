#pragma once

// The annotation side file: a plain sequence of 620-byte object records,
// no header. The records of one layer are consecutive and repeat the
// layer's name (code page 932) and mode, which is all that groups them.
// Here only bytes and layers meet; files, limits and the user are the
// business of the callers.

#include <cstddef>
#include <string>

#include <QByteArray>

#include "raster/raster_layers.h"

// Every record in file order: layer by layer, object by object.
QByteArray EncodeRecords(const TRasterLayers& layers);

// Turns records into layers and objects, in as many pieces as they come;
// consecutive records of one layer name form one layer. The tree is
// rebuilt once afterwards, not for every layer.
class TRecordReader {
public:
    explicit TRecordReader(TRasterLayers& layers) : layers_(layers), bulk_(layers) {}

    // Adds count whole records from data.
    void Add(const char* data, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) Add(data + i * ObjectRecord::kSize);
    }

private:
    void Add(const char* data);

    TRasterLayers& layers_;
    const TRasterLayers::TBulkLoad bulk_;
    std::string previousName_;
    TRasterLayer* layer_ = nullptr;
};
