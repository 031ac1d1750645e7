/*
 * A plug-in for the tests. It accepts data that begins with "KTESTSPI" and
 * reads from the rest of the first line words that steer it:
 *
 *   code=N     GetPicture returns N instead of decoding (any integer)
 *   width=W    image width (default 4)
 *   height=H   image height (default 3)
 *   steps=S    progress reports during the decode (default 4)
 *   dpi=D      density reported by GetPictureInfo (default 0)
 *   crash      GetPicture faults (writes through a null pointer)
 *   hang       GetPicture never returns
 *   hold=PATH  GetPicture reads the named pipe PATH until its writer closes
 *              it (not in Windows builds)
 *   mark=PATH  GetPicture first creates the empty file PATH (a Windows
 *              path in Windows builds)
 *
 * and words that make it return a bitmap as a faulty plug-in might:
 *
 *   header=N       biSize (default 40)
 *   bits=N         biBitCount (default 24)
 *   colors=N       biClrUsed (default 0)
 *   compression=N  biCompression (default 0)
 *   infobytes=N    size of the information block (default: the header)
 *   pixelbytes=N   size of the pixel block (default: all rows)
 *
 * The image is 24-bit; pixel (x, y) is blue x, green y, red 0x80. Other
 * bit counts leave the pixels zero.
 * Compile-time variants for the validity tests of the host:
 *   API_VERSION    the text of information number 0 (default "00IN")
 *   OMIT_EXPORT_*  leave one export out
 *   PLUGIN_NAME    the text of information number 1
 *   CRASH_IN_IsSupported  IsSupported faults on any data
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include "spi.h"

#ifndef API_VERSION
#define API_VERSION "00IN"
#endif
#ifndef PLUGIN_NAME
#define PLUGIN_NAME "Kelvandor test plug-in"
#endif

static const char kMagic[] = "KTESTSPI";

typedef struct Script {
    int code;
    int hasCode;
    int width;
    int height;
    int steps;
    int dpi;
    int header;
    int bits;
    int colors;
    int compression;
    int infoBytes;
    int pixelBytes;
    int crash;
    int hang;
    char hold[201];
    char mark[201];
} Script;

static int StartsWithMagic(const char *data) { return memcmp(data, kMagic, 8) == 0; }

static int HasWord(const char *line, size_t length, const char *word) {
    size_t wordLength = strlen(word);
    for (size_t i = 0; i + wordLength <= length; ++i) {
        if ((i == 0 || line[i - 1] == ' ') && memcmp(line + i, word, wordLength) == 0 &&
            (i + wordLength == length || line[i + wordLength] == ' '))
            return 1;
    }
    return 0;
}

static int ReadWord(const char *line, size_t length, const char *key, int *value) {
    size_t keyLength = strlen(key);
    for (size_t i = 0; i + keyLength < length; ++i) {
        if ((i == 0 || line[i - 1] == ' ') && memcmp(line + i, key, keyLength) == 0) {
            *value = atoi(line + i + keyLength);
            return 1;
        }
    }
    return 0;
}

static void ReadText(const char *line, size_t length, const char *key, char *text) {
    size_t keyLength = strlen(key);
    for (size_t i = 0; i + keyLength < length; ++i) {
        if ((i == 0 || line[i - 1] == ' ') && memcmp(line + i, key, keyLength) == 0) {
            size_t end = i + keyLength;
            while (end < length && line[end] != ' ') ++end;
            memcpy(text, line + i + keyLength, end - i - keyLength);
            text[end - i - keyLength] = '\0';
            return;
        }
    }
}

static Script ReadScript(const char *data, int32_t size) {
    Script script = {0, 0, 4, 3, 4, 0, sizeof(SPI_BITMAPINFOHEADER), 24, 0, SPI_BI_RGB, -1, -1, 0, 0, "", ""};
    size_t length = 0;
    while ((int32_t)length < size && data[length] != '\n' && length < 200) ++length;
    char line[201];
    memcpy(line, data, length);
    line[length] = '\0';
    script.hasCode = ReadWord(line, length, "code=", &script.code);
    ReadWord(line, length, "width=", &script.width);
    ReadWord(line, length, "height=", &script.height);
    ReadWord(line, length, "steps=", &script.steps);
    ReadWord(line, length, "dpi=", &script.dpi);
    ReadWord(line, length, "header=", &script.header);
    ReadWord(line, length, "bits=", &script.bits);
    ReadWord(line, length, "colors=", &script.colors);
    ReadWord(line, length, "compression=", &script.compression);
    ReadWord(line, length, "infobytes=", &script.infoBytes);
    ReadWord(line, length, "pixelbytes=", &script.pixelBytes);
    script.crash = HasWord(line, length, "crash");
    script.hang = HasWord(line, length, "hang");
    ReadText(line, length, "hold=", script.hold);
    ReadText(line, length, "mark=", script.mark);
    return script;
}

#ifndef OMIT_EXPORT_GetPluginInfo
SPI_EXPORT int SPI_CALL GetPluginInfo(int infono, char *buf, int buflen) {
    const char *text = NULL;
    switch (infono) {
    case SPI_INFO_API_VERSION: text = API_VERSION; break;
    case SPI_INFO_DESCRIPTION: text = PLUGIN_NAME; break;
    case SPI_INFO_PATTERN: text = "*.ktest"; break;
    case SPI_INFO_FORMAT_NAME: text = "KTEST"; break;
    default: return 0;
    }
    if (buflen <= 0) return 0;
    snprintf(buf, (size_t)buflen, "%s", text);
    return (int)strlen(buf);
}
#endif

#ifndef OMIT_EXPORT_IsSupported
SPI_EXPORT int SPI_CALL IsSupported(const char *filename, intptr_t dw) {
    (void)filename;
#ifdef CRASH_IN_IsSupported
    if (dw != 0) {
        volatile int *nowhere = NULL;
        *nowhere = 0;
    }
#endif
    return dw != 0 && StartsWithMagic((const char *)dw);
}
#endif

#ifndef OMIT_EXPORT_GetPictureInfo
SPI_EXPORT int SPI_CALL GetPictureInfo(const char *buf, int32_t len, uint32_t flag, PictureInfo *lpInfo) {
    if ((flag & SPI_INPUT_MASK) != SPI_INPUT_MEMORY) return SPI_NOT_IMPLEMENTED;
    if (len < 8 || !StartsWithMagic(buf)) return SPI_UNKNOWN_FORMAT;
    Script script = ReadScript(buf, len);
    memset(lpInfo, 0, sizeof *lpInfo);
    lpInfo->width = script.width;
    lpInfo->height = script.height;
    lpInfo->x_density = (uint16_t)script.dpi;
    lpInfo->y_density = (uint16_t)script.dpi;
    lpInfo->colorDepth = 24;
    return SPI_SUCCESS;
}
#endif

#ifndef OMIT_EXPORT_GetPicture
static int MakeImage(const Script *script, HLOCAL *pHBInfo, HLOCAL *pHBm) {
    size_t stride = SPI_DibStride(script->width, script->bits);
    size_t allRows = stride * (size_t)script->height;
    size_t infoBytes = script->infoBytes >= 0 ? (size_t)script->infoBytes : sizeof(SPI_BITMAPINFOHEADER);
    size_t pixelBytes = script->pixelBytes >= 0 ? (size_t)script->pixelBytes : allRows;
    HLOCAL info = LocalAlloc(LHND, infoBytes);
    HLOCAL bits = LocalAlloc(LHND, pixelBytes);
    if (info == NULL || bits == NULL) {
        LocalFree(info);
        LocalFree(bits);
        return SPI_NO_MEMORY;
    }
    SPI_BITMAPINFOHEADER header;
    memset(&header, 0, sizeof header);
    header.biSize = (uint32_t)script->header;
    header.biWidth = script->width;
    header.biHeight = script->height;
    header.biPlanes = 1;
    header.biBitCount = (uint16_t)script->bits;
    header.biCompression = (uint32_t)script->compression;
    header.biClrUsed = (uint32_t)script->colors;
    header.biXPelsPerMeter = (int32_t)(script->dpi / 0.0254 + 0.5);
    header.biYPelsPerMeter = header.biXPelsPerMeter;
    memcpy(LocalLock(info), &header, infoBytes < sizeof header ? infoBytes : sizeof header);
    LocalUnlock(info);

    uint8_t *rows = (uint8_t *)LocalLock(bits);
    for (int y = 0; script->bits == 24 && pixelBytes >= allRows && y < script->height; ++y) {
        uint8_t *row = rows + (size_t)(script->height - 1 - y) * stride;
        for (int x = 0; x < script->width; ++x) {
            row[3 * x + 0] = (uint8_t)x;
            row[3 * x + 1] = (uint8_t)y;
            row[3 * x + 2] = 0x80;
        }
    }
    LocalUnlock(bits);
    *pHBInfo = info;
    *pHBm = bits;
    return SPI_SUCCESS;
}

SPI_EXPORT int SPI_CALL GetPicture(const char *buf, int32_t len, uint32_t flag, HLOCAL *pHBInfo,
                          HLOCAL *pHBm, SPI_PROGRESS lpPrgressCallback, intptr_t lData) {
    *pHBInfo = NULL;
    *pHBm = NULL;
    if ((flag & SPI_INPUT_MASK) != SPI_INPUT_MEMORY) return SPI_NOT_IMPLEMENTED;
    if (len < 8 || !StartsWithMagic(buf)) return SPI_UNKNOWN_FORMAT;
    Script script = ReadScript(buf, len);
    if (script.hasCode) return script.code;
    if (script.mark[0] != '\0') {
        FILE *mark = fopen(script.mark, "w");
        if (mark != NULL) fclose(mark);
    }
    if (script.crash) {
        volatile int *nowhere = NULL;
        *nowhere = 0;
    }
#ifndef _WIN32
    if (script.hold[0] != '\0') {
        int pipe = open(script.hold, O_RDONLY);
        char byte;
        while (pipe >= 0 && read(pipe, &byte, 1) > 0) {
        }
        if (pipe >= 0) close(pipe);
    }
#endif
    for (volatile int spinning = script.hang; spinning;) {
#ifdef _WIN32
        Sleep(50);
#endif
    }
    if (script.width <= 0 || script.height <= 0 || script.width > 10000 || script.height > 10000)
        return SPI_BROKEN_DATA;
    for (int step = 0; step <= script.steps; ++step) {
        if (lpPrgressCallback != NULL && lpPrgressCallback(step, script.steps, lData) != 0)
            return SPI_ABORT;
    }
    return MakeImage(&script, pHBInfo, pHBm);
}
#endif
