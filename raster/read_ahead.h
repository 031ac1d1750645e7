#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include <QString>

#include "raster/raster_document.h"

// Decodes one image file ahead, on the shared thread pool, so that opening
// that very file next shows it without waiting for its plug-in.
//
// The decode runs with a registry of its own over the same plug-in folder,
// and plug-ins decode on one thread at a time (SusieDecodeMutex), so a
// decode ahead never meets a foreground decode or rescan inside a plug-in.
// A decode ahead that fails is silent: the file is decoded again when it
// is opened, and that decode tells the user what went wrong.
//
// Memory: at most one prepared bitmap is held, and only one whose size
// allows at most kMaxBitmapBytes (pictures that could need more are not
// decoded ahead at all). With the image on show that makes at most two
// bitmaps in memory.
class TReadAhead {
public:
    // 256 MiB: a 64-megapixel photo at 32 bits a pixel.
    static constexpr std::size_t kMaxBitmapBytes = std::size_t(256) << 20;

    TReadAhead();
    // Stops a decode under way and waits for it.
    ~TReadAhead();
    TReadAhead(const TReadAhead&) = delete;
    TReadAhead& operator=(const TReadAhead&) = delete;

    // Starts decoding path with the plug-ins of pluginFolder, in place of
    // whatever was prepared or under way. The same file and folder again
    // leave the work as it is.
    void Prepare(const QString& path, const std::string& pluginFolder);
    // Forgets what was prepared and stops a decode under way (without
    // waiting for it).
    void Drop();
    // The bitmap prepared for path, when it was decoded with the plug-ins
    // of pluginFolder from the file as it is on disk now; otherwise null
    // (also while the decode still runs, which is then stopped). Nothing
    // stays prepared afterwards.
    std::unique_ptr<TDecodedImage> Take(const QString& path, const std::string& pluginFolder);

    // The file being or having been decoded ahead; empty when none.
    QString Path() const;
    // Whether its bitmap is ready to be taken.
    bool Ready() const;
    // Waits until the decode under way, if any, has ended.
    void Wait();

private:
    struct TJob;
    // The pool's task: decodes the job's file unless it was dropped first.
    static void Run(const std::shared_ptr<TJob>& job);

    std::shared_ptr<TJob> job_;
};
