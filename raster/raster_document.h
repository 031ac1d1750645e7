#pragma once

#include <cstdint>
#include <memory>

#include <QString>

#include "raster/image_decoder.h"

class TLayersHost;
class TRasterLayers;

// The document the raster view shows: the decoded bitmap, the facts of its
// file, the layers with their objects and the side file they live in. It
// knows no widget; the view draws it and asks the user what to do.
//
// The layers tell the view of their changes (tree, object list, repaint,
// the change mark) through the host the document is given; without one
// they are a plain model, which is all that reading and writing the side
// file needs.
class TRasterDocument {
public:
    explicit TRasterDocument(TLayersHost* host = nullptr);
    ~TRasterDocument();
    TRasterDocument(const TRasterDocument&) = delete;
    TRasterDocument& operator=(const TRasterDocument&) = delete;

    bool HasImage() const { return image_ != nullptr; }
    const TDecodedImage* Image() const { return image_.get(); }
    // Shows image from now on: its facts become Info.
    void SetImage(std::unique_ptr<TDecodedImage> image);
    void FreeImage() { image_.reset(); }

    const QString& FileName() const { return fileName_; }
    void SetFileName(const QString& path) { fileName_ = path; }
    // Facts of the last image; kept after it is freed.
    const TRasterInfo& Info() const { return info_; }

    TRasterLayers& Layers() { return *layers_; }
    const TRasterLayers& Layers() const { return *layers_; }
    bool Modified() const { return modified_; }
    void SetModified(bool value) { modified_ = value; }
    // The side file was not read completely: its markers are not all in
    // the layers, so replacing it needs the user's word.
    bool AnnotationsIncomplete() const { return annotationsIncomplete_; }
    // Frees the layers and forgets their changes.
    void ClearAnnotations();

    // --- Side file ---------------------------------------------------------
    // The side file of an image: its path with the extension ".grx".
    static QString AnnotationPath(const QString& imagePath);
    // Larger side files are refused. 32 MiB hold some 54,000 markers, far
    // more than anyone places on one image, while every marker read costs
    // memory and drawing time; a huge (or sparse) file would otherwise be
    // read on every load of its image until memory runs out.
    static constexpr std::int64_t kMaxAnnotationFileBytes = std::int64_t(32) << 20;
    // Reads the side file into the layers. True when the file existed and
    // its records were read; failure says why it (if there is one) was not
    // read completely, and is empty when it was or when there is none.
    bool ReadAnnotations(const QString& path, QString& failure);
    // Writes the layers' records; the old file is replaced only once the
    // new one is complete. Empty on success (the change mark is then
    // cleared), otherwise the reason.
    QString WriteAnnotations(const QString& path);
    // Writes the layers to a new file under the user's data folder, for a
    // side file that could not be written. recoveryPath receives the file
    // (or the folder, when that is what failed); the result is as for
    // WriteAnnotations, but the change mark stays.
    QString WriteRecoveryFile(const QString& sidePath, QString& recoveryPath) const;

private:
    std::unique_ptr<TDecodedImage> image_;
    QString fileName_;
    TRasterInfo info_;
    std::unique_ptr<TRasterLayers> layers_;
    bool modified_ = false;
    bool annotationsIncomplete_ = false;
};
