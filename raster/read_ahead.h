#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include <QString>

#include "raster/decode_thread.h"
#include "raster/image_decoder.h"

// Decodes one image file ahead, on a thread of its own (decode_thread.h),
// so that opening that very file next shows it without waiting for its
// plug-in.
//
// The decode runs with a registry of its own over the same plug-in folder,
// and plug-ins decode on one thread at a time (plug_turn.h), so a decode
// ahead never meets a foreground decode inside a plug-in. The decode ahead
// yields: a foreground decode never waits for it, and a decode ahead that
// is no longer wanted is abandoned, not waited for, even when it is inside
// a plug-in that never returns. A decode ahead that fails is silent: the
// file is decoded again when it is opened, and that decode tells the user
// what went wrong.
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
    // Abandons a decode under way without waiting for it.
    ~TReadAhead();
    TReadAhead(const TReadAhead&) = delete;
    TReadAhead& operator=(const TReadAhead&) = delete;

    // Starts decoding path with the plug-ins of pluginFolder, in place of
    // whatever was prepared or under way. The same file and folder again
    // leave the work as it is.
    void Prepare(const QString& path, const std::string& pluginFolder);
    // Forgets what was prepared and abandons a decode under way (without
    // waiting for it).
    void Drop();
    // The bitmap prepared for path, when it was decoded with the plug-ins
    // of pluginFolder from the file as it is on disk now; otherwise null
    // (also while the decode still runs, which is then abandoned). Nothing
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
    // Decodes the job's file unless it was abandoned first.
    static void Run(const std::shared_ptr<TJob>& job, TSusiePlugs& plugs);
    // Abandons the job and forgets it.
    void AbandonJob();

    std::shared_ptr<TJob> job_;
    // Goes once the destructor has abandoned the job: it does not wait for it.
    TDecodeThread thread_;
};
