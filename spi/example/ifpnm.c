/*
 * ifpnm.c - an example image plug-in: binary PGM (P5) and PPM (P6) files.
 *
 * A complete plug-in written from spi.h alone, kept short to serve as a
 * model: it shows the four exports, the checks a plug-in owes the host
 * (the input kind, the size of the data, sizes that overflow) and the
 * bitmap it hands back. Greyscale becomes an 8-bit bitmap with a grey
 * colour table, colour a 24-bit bitmap; samples above 8 bits are scaled.
 *
 * Build:  cc -O2 -fPIC -shared -fvisibility=hidden -I<folder of spi.h> \
 *            -o ifpnm.spi ifpnm.c
 */
#include <string.h>

#include "spi.h"

/* Images beyond this many pixels a side are refused as damaged. */
#define MAX_SIDE 65535

typedef struct PnmHeader {
    int channels;      /* 1 for P5, 3 for P6 */
    int32_t width;
    int32_t height;
    int maxval;        /* 1 .. 65535; above 255 a sample takes two bytes */
    size_t dataOffset; /* where the samples begin */
} PnmHeader;

/* ---------------------------------------------------------------------
 * Reading the header
 * ------------------------------------------------------------------- */

static int IsSpace(uint8_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

static int HasSignature(const uint8_t *data)
{
    return data[0] == 'P' && (data[1] == '5' || data[1] == '6') && IsSpace(data[2]);
}

/* Skips white space and comments, then reads a decimal number of at most
 * five digits. Returns 0 when the data ends first or holds something else. */
static int ReadNumber(const uint8_t *data, size_t size, size_t *at, int32_t *value)
{
    while (*at < size && (IsSpace(data[*at]) || data[*at] == '#')) {
        if (data[*at] == '#') {
            while (*at < size && data[*at] != '\n') ++*at;
        } else {
            ++*at;
        }
    }
    int digits = 0;
    *value = 0;
    while (*at < size && data[*at] >= '0' && data[*at] <= '9' && digits < 6) {
        *value = *value * 10 + (data[*at] - '0');
        ++*at;
        ++digits;
    }
    return digits > 0 && digits <= 5;
}

/* Returns SPI_SUCCESS with the header filled, or the code that explains
 * why the data cannot be decoded. */
static int ReadHeader(const uint8_t *data, size_t size, PnmHeader *header)
{
    if (size < 3 || !HasSignature(data)) return SPI_UNKNOWN_FORMAT;
    header->channels = data[1] == '5' ? 1 : 3;
    size_t at = 2;
    int32_t maxval = 0;
    if (!ReadNumber(data, size, &at, &header->width) || !ReadNumber(data, size, &at, &header->height) ||
        !ReadNumber(data, size, &at, &maxval))
        return SPI_BROKEN_DATA;
    /* Exactly one white-space byte separates the header from the samples. */
    if (at >= size || !IsSpace(data[at])) return SPI_BROKEN_DATA;
    header->dataOffset = at + 1;
    header->maxval = (int)maxval;
    if (header->width < 1 || header->height < 1 || header->width > MAX_SIDE || header->height > MAX_SIDE ||
        maxval < 1)
        return SPI_BROKEN_DATA;

    const size_t sampleBytes = maxval > 255 ? 2 : 1;
    const size_t needed = (size_t)header->width * (size_t)header->height * (size_t)header->channels * sampleBytes;
    if (size - header->dataOffset < needed) return SPI_BROKEN_DATA;
    return SPI_SUCCESS;
}

/* ---------------------------------------------------------------------
 * The exports
 * ------------------------------------------------------------------- */

SPI_EXPORT int SPI_CALL GetPluginInfo(int infono, char *buf, int buflen)
{
    static const char *const texts[] = {
        SPI_API_VERSION,
        "PNM example plug-in (binary PGM and PPM)",
        "*.pgm;*.ppm;*.pnm",
        "PNM",
    };
    if (infono < 0 || infono > 3 || buf == NULL || buflen <= 0) return 0;
    size_t length = strlen(texts[infono]);
    if (length > (size_t)buflen - 1) length = (size_t)buflen - 1;
    memcpy(buf, texts[infono], length);
    buf[length] = '\0';
    return (int)length;
}

/* dw is the address of the file contents; the host makes at least 2048
 * bytes readable there, so the three bytes of the signature are safe. */
SPI_EXPORT int SPI_CALL IsSupported(const char *filename, intptr_t dw)
{
    (void)filename;
    return dw != 0 && HasSignature((const uint8_t *)dw);
}

/* Only input in memory: the host never passes a file name. */
static int IsMemoryInput(const char *buf, int32_t len, uint32_t flag)
{
    return (flag & SPI_INPUT_MASK) == SPI_INPUT_MEMORY && buf != NULL && len > 0;
}

SPI_EXPORT int SPI_CALL GetPictureInfo(const char *buf, int32_t len, uint32_t flag, PictureInfo *lpInfo)
{
    if (lpInfo == NULL) return SPI_INTERNAL_ERROR;
    if (!IsMemoryInput(buf, len, flag)) return SPI_NOT_IMPLEMENTED;
    PnmHeader header;
    const int code = ReadHeader((const uint8_t *)buf, (size_t)len, &header);
    if (code != SPI_SUCCESS) return code;
    memset(lpInfo, 0, sizeof *lpInfo);
    lpInfo->width = header.width;
    lpInfo->height = header.height;
    /* PNM files carry no density: 0 tells the host it is unknown. */
    lpInfo->colorDepth = (int16_t)(header.channels * (header.maxval > 255 ? 16 : 8));
    return SPI_SUCCESS;
}

/* One sample scaled to 0..255. */
static uint8_t Sample(const uint8_t *at, int maxval)
{
    const unsigned value = maxval > 255 ? (unsigned)(at[0] << 8 | at[1]) : at[0];
    const unsigned clipped = value > (unsigned)maxval ? (unsigned)maxval : value;
    return (uint8_t)((clipped * 255u + (unsigned)maxval / 2u) / (unsigned)maxval);
}

/* Fills the rows of the bitmap: bottom-up, blue-green-red for colour. */
static int CopyRows(const PnmHeader *header, const uint8_t *samples, uint8_t *bits, size_t stride,
                    SPI_PROGRESS progress, intptr_t lData)
{
    const size_t sampleBytes = header->maxval > 255 ? 2 : 1;
    const size_t rowBytes = (size_t)header->width * (size_t)header->channels * sampleBytes;
    for (int32_t y = 0; y < header->height; ++y) {
        if (progress != NULL && progress(y, header->height, lData) != 0) return SPI_ABORT;
        const uint8_t *in = samples + (size_t)y * rowBytes;
        uint8_t *out = bits + (size_t)(header->height - 1 - y) * stride;
        for (int32_t x = 0; x < header->width; ++x) {
            if (header->channels == 1) {
                out[x] = Sample(in, header->maxval);
            } else {
                out[3 * x + 2] = Sample(in, header->maxval);
                out[3 * x + 1] = Sample(in + sampleBytes, header->maxval);
                out[3 * x + 0] = Sample(in + 2 * sampleBytes, header->maxval);
            }
            in += (size_t)header->channels * sampleBytes;
        }
    }
    if (progress != NULL && progress(header->height, header->height, lData) != 0) return SPI_ABORT;
    return SPI_SUCCESS;
}

/* The information block: the header, then a grey colour table of 256
 * entries for greyscale. */
static void FillInfo(const PnmHeader *header, SPI_BITMAPINFOHEADER *info, size_t imageBytes)
{
    const int grey = header->channels == 1;
    info->biSize = sizeof *info;
    info->biWidth = header->width;
    info->biHeight = header->height; /* positive: rows bottom-up */
    info->biPlanes = 1;
    info->biBitCount = (uint16_t)(grey ? 8 : 24);
    info->biCompression = SPI_BI_RGB;
    info->biSizeImage = (uint32_t)imageBytes;
    info->biClrUsed = grey ? 256 : 0;
    if (grey) {
        SPI_RGBQUAD *table = (SPI_RGBQUAD *)(info + 1);
        for (int i = 0; i < 256; ++i) {
            table[i].rgbBlue = table[i].rgbGreen = table[i].rgbRed = (uint8_t)i;
            table[i].rgbReserved = 0;
        }
    }
}

SPI_EXPORT int SPI_CALL GetPicture(const char *buf, int32_t len, uint32_t flag, HLOCAL *pHBInfo, HLOCAL *pHBm,
                          SPI_PROGRESS lpPrgressCallback, intptr_t lData)
{
    if (pHBInfo == NULL || pHBm == NULL) return SPI_INTERNAL_ERROR;
    *pHBInfo = NULL;
    *pHBm = NULL;
    if (!IsMemoryInput(buf, len, flag)) return SPI_NOT_IMPLEMENTED;
    PnmHeader header;
    int code = ReadHeader((const uint8_t *)buf, (size_t)len, &header);
    if (code != SPI_SUCCESS) return code;

    const int bitCount = header.channels == 1 ? 8 : 24;
    const size_t stride = SPI_DibStride(header.width, bitCount);
    const size_t imageBytes = stride * (size_t)header.height;
    const size_t tableBytes = header.channels == 1 ? 256 * sizeof(SPI_RGBQUAD) : 0;
    HLOCAL info = LocalAlloc(LHND, sizeof(SPI_BITMAPINFOHEADER) + tableBytes);
    HLOCAL bits = LocalAlloc(LMEM_MOVEABLE, imageBytes);
    if (info == NULL || bits == NULL) {
        LocalFree(info);
        LocalFree(bits);
        return SPI_NO_MEMORY;
    }
    SPI_BITMAPINFOHEADER *infoHeader = (SPI_BITMAPINFOHEADER *)LocalLock(info);
    uint8_t *rows = (uint8_t *)LocalLock(bits);
    FillInfo(&header, infoHeader, imageBytes);
    /* Row padding must be written too: the host may read whole rows. */
    memset(rows, 0, imageBytes);
    code = CopyRows(&header, (const uint8_t *)buf + header.dataOffset, rows, stride, lpPrgressCallback, lData);
    LocalUnlock(info);
    LocalUnlock(bits);
    if (code != SPI_SUCCESS) {
        /* On failure the plug-in frees what it made and returns no handle. */
        LocalFree(info);
        LocalFree(bits);
        return code;
    }
    *pHBInfo = info;
    *pHBm = bits;
    return SPI_SUCCESS;
}
