/*
 * spi.h - the image plug-in interface of Kelvandor.
 *
 * A plug-in is a shared library whose file name ends in ".spi" (any case),
 * placed in the program's plug-in folder. The program opens it with dlopen()
 * and looks up the four functions below by name; a library that lacks one of
 * them, or whose information string 0 is not exactly "00IN", is ignored.
 *
 * The interface keeps the argument order, information numbers, result codes
 * and record layouts of the classic 32-bit import-filter interface, so that
 * existing plug-in sources port with little change. Where that interface
 * passed an address in a 32-bit integer, this one passes an intptr_t.
 * Other integers are 32-bit.
 *
 * Threading: the host calls a plug-in from its main thread only, and only
 * one call at a time. The library is loaded for one use and unloaded again
 * afterwards, so a plug-in must not keep state between calls that it expects
 * to survive an unload, nor leave a thread running.
 *
 * Order of calls when a file is opened, plug-in by plug-in: load,
 * GetPluginInfo(0), IsSupported; on 0 unload and try the next plug-in.
 * The first that accepts decides: GetPicture, on success GetPictureInfo,
 * GetPluginInfo(1) and (3); then unload. Listing file patterns: load,
 * GetPluginInfo(0), GetPluginInfo(2), unload.
 *
 * Texts: the host reads information strings 1 to 3 as code page 932
 * (Shift-JIS). ASCII reads the same; UTF-8 beyond ASCII comes out garbled.
 *
 * Building: cc -fPIC -shared -fvisibility=hidden -o name.spi name.c; the
 * library goes into the plug-in folder (by default the program's own
 * folder). Names starting with a dot are hidden and skipped. README.md
 * beside this header is the author's guide; example/ holds a complete
 * plug-in.
 *
 * Windows: the same sources build a Windows plug-in (a DLL named .spi) with
 * a Windows compiler. windows.h then supplies LocalAlloc and its kin, and
 * the exports and the progress callback use __stdcall (SPI_CALL) with
 * undecorated names: link with -Wl,--kill-at (or a .def file). Such a
 * plug-in runs in the program's Wine helper.
 *
 * Usable from C and C++.
 */
#ifndef KELVANDOR_SPI_H
#define KELVANDOR_SPI_H

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#ifdef _WIN32
#include <windows.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Exported symbols must be visible even when the library is built with
 * -fvisibility=hidden. SPI_CALL is the calling convention of the exports
 * and of the progress callback: the C default natively, __stdcall on
 * Windows. */
#if defined(_WIN32)
#define SPI_EXPORT __declspec(dllexport)
#define SPI_CALL __stdcall
#elif defined(__GNUC__)
#define SPI_EXPORT __attribute__((visibility("default")))
#define SPI_CALL
#else
#define SPI_EXPORT
#define SPI_CALL
#endif

/* ---------------------------------------------------------------------
 * Result codes of GetPicture (and of GetPictureInfo, which the host does
 * not examine).
 * ------------------------------------------------------------------- */
enum {
    SPI_NOT_IMPLEMENTED = -1, /* the function is not implemented */
    SPI_SUCCESS = 0,          /* success: both handles are set */
    SPI_ABORT = 1,            /* the progress callback asked to stop */
    SPI_UNKNOWN_FORMAT = 2,   /* the data is not in a format this plug-in reads */
    SPI_BROKEN_DATA = 3,      /* the data is damaged or truncated */
    SPI_NO_MEMORY = 4,        /* memory for the result could not be allocated */
    SPI_MEMORY_ERROR = 5,     /* a memory block could not be locked */
    SPI_FILE_READ_ERROR = 6,  /* the file could not be read */
    SPI_RESERVED = 7,         /* reserved */
    SPI_INTERNAL_ERROR = 8    /* any other failure inside the plug-in */
};

/* ---------------------------------------------------------------------
 * Input kinds: the low three bits of the "flag" argument. The host always
 * passes SPI_INPUT_MEMORY; a plug-in may answer SPI_INPUT_FILE with
 * SPI_NOT_IMPLEMENTED.
 * ------------------------------------------------------------------- */
enum {
    SPI_INPUT_FILE = 0,   /* buf is a file name, len an offset into the file */
    SPI_INPUT_MEMORY = 1, /* buf is the file contents, len their size */
    SPI_INPUT_MASK = 7
};

/* ---------------------------------------------------------------------
 * Movable local memory. Blocks that a plug-in returns from GetPicture are
 * made with LocalAlloc and freed by the host with LocalFree. Both sides run
 * in one process over one C heap; a handle is the block's address, so
 * locking returns the handle itself and unlocking does nothing. On
 * Windows they are the system's own (windows.h).
 * ------------------------------------------------------------------- */
#ifndef _WIN32
typedef void *HLOCAL;

enum {
    LMEM_FIXED = 0x0000,
    LMEM_MOVEABLE = 0x0002,
    LMEM_ZEROINIT = 0x0040,
    LHND = LMEM_MOVEABLE | LMEM_ZEROINIT,
    LPTR = LMEM_FIXED | LMEM_ZEROINIT
};

/* Returns a block of at least one byte (so that a zero-sized request still
 * yields a handle that can be freed), or NULL when memory is short. */
static inline HLOCAL LocalAlloc(unsigned int flags, size_t bytes)
{
    size_t size = bytes ? bytes : 1;
    return (flags & LMEM_ZEROINIT) ? calloc(1, size) : malloc(size);
}

static inline void *LocalLock(HLOCAL handle) { return handle; }

/* Returns 0: a block is never left locked after the call. */
static inline int LocalUnlock(HLOCAL handle)
{
    (void)handle;
    return 0;
}

/* Returns NULL on success, as its model does. */
static inline HLOCAL LocalFree(HLOCAL handle)
{
    free(handle);
    return NULL;
}
#endif /* !_WIN32 */

/* ---------------------------------------------------------------------
 * Device-independent bitmap structures, little-endian, packed as on disk
 * after the 14-byte file header of a BMP file.
 *
 * Bitmaps the host shows (it refuses others with a message):
 *  - biSize 40; larger headers of the family (up to 124) are read as
 *    their first 40 bytes;
 *  - biWidth > 0; biHeight > 0 for rows bottom-up, < 0 for top-down;
 *  - biBitCount 1, 4, 8 (colour table after the header, at byte biSize:
 *    biClrUsed entries, at most 2^biBitCount, 0 meaning all of them),
 *    16 (5-5-5), 24 (bytes blue, green, red) or 32 (blue, green, red,
 *    unused: alpha is not shown);
 *  - biCompression SPI_BI_RGB, or SPI_BI_BITFIELDS with 16 or 32 bits and
 *    the red, green and blue masks (32-bit each) at byte 40 of the block;
 *    run-length encoded rows are not shown;
 *  - the pixel block holds every row, each padded to four bytes:
 *    at least SPI_DibStride(biWidth, biBitCount) * |biHeight| bytes.
 * ------------------------------------------------------------------- */
#pragma pack(push, 1)
typedef struct SPI_BITMAPINFOHEADER {
    uint32_t biSize;         /* 40 */
    int32_t biWidth;         /* pixels */
    int32_t biHeight;        /* pixels; positive: rows bottom-up, negative: top-down */
    uint16_t biPlanes;       /* 1 */
    uint16_t biBitCount;     /* 1, 4, 8, 16, 24 or 32 */
    uint32_t biCompression;  /* SPI_BI_RGB or SPI_BI_BITFIELDS (16, 32 bits) */
    uint32_t biSizeImage;    /* bytes of the pixel block, or 0 */
    int32_t biXPelsPerMeter; /* horizontal density (the host shows PictureInfo's) */
    int32_t biYPelsPerMeter; /* vertical density */
    uint32_t biClrUsed;      /* entries in the colour table, 0 = 2^bitcount */
    uint32_t biClrImportant; /* 0 */
} SPI_BITMAPINFOHEADER;

typedef struct SPI_RGBQUAD {
    uint8_t rgbBlue;
    uint8_t rgbGreen;
    uint8_t rgbRed;
    uint8_t rgbReserved;
} SPI_RGBQUAD;
#pragma pack(pop)

enum {
    SPI_BI_RGB = 0,
    SPI_BI_RLE8 = 1,
    SPI_BI_RLE4 = 2,
    SPI_BI_BITFIELDS = 3
};

/* Bytes of one pixel row of a DIB: rows are padded to a multiple of four. */
static inline size_t SPI_DibStride(int32_t width, int bitCount)
{
    return (((size_t)width * (size_t)bitCount + 31u) / 32u) * 4u;
}

/* ---------------------------------------------------------------------
 * The picture-information record filled by GetPictureInfo: 28 bytes,
 * little-endian, natural alignment (two padding bytes at offset 22). The
 * host shows its size, colour depth and densities to the user and keeps
 * the densities in a saved BMP; the densities of the bitmap header are
 * not used.
 * ------------------------------------------------------------------- */
typedef struct PictureInfo {
    int32_t left;       /* offset  0: position of the image, usually 0 */
    int32_t top;        /* offset  4 */
    int32_t width;      /* offset  8: pixels */
    int32_t height;     /* offset 12: pixels */
    uint16_t x_density; /* offset 16: dots per inch, 0 when unknown */
    uint16_t y_density; /* offset 18 */
    int16_t colorDepth; /* offset 20: bits per pixel of the source image */
    uint32_t hInfo;     /* offset 24: text information; not used, set 0 */
} PictureInfo;

#ifdef __cplusplus
static_assert(sizeof(PictureInfo) == 28, "PictureInfo must be 28 bytes");
static_assert(offsetof(PictureInfo, hInfo) == 24, "hInfo sits at offset 24");
static_assert(sizeof(SPI_BITMAPINFOHEADER) == 40, "BITMAPINFOHEADER is 40 bytes");
#else
_Static_assert(sizeof(PictureInfo) == 28, "PictureInfo must be 28 bytes");
_Static_assert(offsetof(PictureInfo, hInfo) == 24, "hInfo sits at offset 24");
_Static_assert(sizeof(SPI_BITMAPINFOHEADER) == 40, "BITMAPINFOHEADER is 40 bytes");
#endif

/* ---------------------------------------------------------------------
 * Progress callback handed to GetPicture. nNum runs from 0 to nDenom;
 * lData is the user value that the host passed to GetPicture. A non-zero
 * result asks the plug-in to stop: it then frees what it allocated and
 * returns SPI_ABORT. The callback may be NULL.
 * ------------------------------------------------------------------- */
typedef int (SPI_CALL *SPI_PROGRESS)(int nNum, int nDenom, intptr_t lData);

/* ---------------------------------------------------------------------
 * The four exports.
 * ------------------------------------------------------------------- */

/* Information numbers for GetPluginInfo. The host asks only for these
 * four: a plug-in for several formats lists all its extensions in text 2
 * (texts 4 and up, pairs of pattern and name, are never read). */
enum {
    SPI_INFO_API_VERSION = 0, /* must read "00IN" */
    SPI_INFO_DESCRIPTION = 1, /* the plug-in's own description */
    SPI_INFO_PATTERN = 2,     /* file patterns: "*.jpg;*.jpeg" (* any run, ? one
                                 character, ; between patterns; case ignored) */
    SPI_INFO_FORMAT_NAME = 3  /* name of the format: "JPEG" */
};

#define SPI_API_VERSION "00IN"

/* Copies the text of information number infono into buf, at most buflen
 * bytes including the terminating NUL. Returns the number of characters
 * copied (not counting the NUL), or 0 when there is no such text. The host
 * passes a 256-byte buffer and buflen 255. */
typedef int (SPI_CALL *SPI_GetPluginInfo)(int infono, char *buf, int buflen);

/* Says whether the plug-in can decode the data. filename may be NULL; dw is
 * the address of the complete file contents in memory (the host always
 * passes the whole file, never a file handle). Returns non-zero when the
 * plug-in can decode it. A plug-in must not read more than the leading
 * bytes that its format's signature needs without knowing the size; the
 * host guarantees at least 2048 readable bytes (zero-padded past the end of
 * a short file). */
typedef int (SPI_CALL *SPI_IsSupported)(const char *filename, intptr_t dw);

/* Fills *lpInfo for the image in buf. With SPI_INPUT_MEMORY, buf holds the
 * file contents and len their size in bytes (with SPI_INPUT_FILE buf would
 * be a file name and len an offset into it; the host never asks for that).
 * The host keeps 2048 zero bytes after the contents in this call and in
 * GetPicture, but a file ends at len. Called after a successful GetPicture;
 * returns a result code. */
typedef int (SPI_CALL *SPI_GetPictureInfo)(const char *buf, int32_t len, uint32_t flag,
                                  PictureInfo *lpInfo);

/* Decodes the image in buf (input as for GetPictureInfo). On success
 * stores in *pHBInfo a block holding a SPI_BITMAPINFOHEADER followed by
 * its colour table or masks, and in *pHBm a block holding the pixel rows
 * (see the bitmaps the host shows, above), both made with LocalAlloc, and
 * returns SPI_SUCCESS; the host frees them, after it has unloaded the
 * plug-in. On failure returns another result code and leaves both handles
 * NULL (the plug-in frees whatever it allocated). */
typedef int (SPI_CALL *SPI_GetPicture)(const char *buf, int32_t len, uint32_t flag,
                              HLOCAL *pHBInfo, HLOCAL *pHBm,
                              SPI_PROGRESS lpPrgressCallback, intptr_t lData);

/* Prototypes for plug-in authors: define these in the plug-in. */
SPI_EXPORT int SPI_CALL GetPluginInfo(int infono, char *buf, int buflen);
SPI_EXPORT int SPI_CALL IsSupported(const char *filename, intptr_t dw);
SPI_EXPORT int SPI_CALL GetPictureInfo(const char *buf, int32_t len, uint32_t flag,
                              PictureInfo *lpInfo);
SPI_EXPORT int SPI_CALL GetPicture(const char *buf, int32_t len, uint32_t flag,
                          HLOCAL *pHBInfo, HLOCAL *pHBm,
                          SPI_PROGRESS lpPrgressCallback, intptr_t lData);

#ifdef __cplusplus
}
#endif

#endif /* KELVANDOR_SPI_H */
