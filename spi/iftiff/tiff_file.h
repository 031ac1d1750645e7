#pragma once

// A TIFF file in memory, opened with libtiff for reading. libtiff's
// messages go nowhere: damaged files are reported through result codes.

#include <cstddef>

#include <tiffio.h>

namespace iftiff {

class TiffFile {
public:
    TiffFile(const unsigned char* data, std::size_t size);
    ~TiffFile();
    TiffFile(const TiffFile&) = delete;
    TiffFile& operator=(const TiffFile&) = delete;

    // Null when the data is not a readable TIFF.
    TIFF* Handle() const { return tiff_; }

private:
    struct Stream {
        const unsigned char* data;
        std::size_t size;
        std::size_t position;
    };

    static tmsize_t Read(thandle_t handle, void* buffer, tmsize_t bytes);
    static tmsize_t Write(thandle_t handle, void* buffer, tmsize_t bytes);
    static toff_t Seek(thandle_t handle, toff_t offset, int whence);
    static int Close(thandle_t handle);
    static toff_t Size(thandle_t handle);
    static int Map(thandle_t handle, void** base, toff_t* size);
    static void Unmap(thandle_t handle, void* base, toff_t size);

    Stream stream_;
    TIFF* tiff_ = nullptr;
};

// Keeps libtiff's process-wide message handlers quiet for one scope and
// puts back whatever was there before: some messages are sent before a
// file's own handlers exist.
class QuietTiffMessages {
public:
    QuietTiffMessages();
    ~QuietTiffMessages();
    QuietTiffMessages(const QuietTiffMessages&) = delete;
    QuietTiffMessages& operator=(const QuietTiffMessages&) = delete;

private:
    TIFFErrorHandler errorHandler_;
    TIFFErrorHandler warningHandler_;
    TIFFErrorHandlerExt errorHandlerExt_;
    TIFFErrorHandlerExt warningHandlerExt_;
};

}  // namespace iftiff
