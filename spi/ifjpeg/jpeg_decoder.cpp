#include "jpeg_decoder.h"

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

#include "huge_pages.h"

namespace ifjpeg {
namespace {

constexpr int kProgressUnits = 1000;
// Rows asked of libjpeg per call: enough to keep its row loop busy, few
// enough that progress and stop requests are served every few rows.
constexpr int kRowsPerRead = 16;
// A progressive file with thousands of tiny scans makes decoding time grow
// with the square of the scan count; real encoders write a dozen or so.
constexpr int kMaxScans = 1000;

// Everything one libjpeg decompression needs, in one place that outlives
// the long jump back from libjpeg's error and progress hooks.
class Session {
public:
    explicit Session(spi::Progress* progress) : progress_(progress) {
        cinfo.client_data = this;
        cinfo.err = jpeg_std_error(&errors_);
        errors_.error_exit = &OnError;
        errors_.emit_message = &OnMessage;
        errors_.output_message = [](j_common_ptr) {};
        monitor_.progress_monitor = &OnProgress;
    }
    ~Session() { jpeg_destroy_decompress(&cinfo); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Creates the decompressor and reads the header. Must be called after
    // setjmp(jump) has been set up.
    void ReadHeader(const unsigned char* data, std::size_t size) {
        jpeg_create_decompress(&cinfo);
        if (progress_ != nullptr) cinfo.progress = &monitor_;
        jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
        jpeg_read_header(&cinfo, TRUE);
    }

    // Asks for huge pages for the whole-image coefficient arrays that
    // libjpeg allocates for progressive and other multi-scan files, as soon
    // as they exist: libjpeg fills them scan by scan, and their first
    // writes would otherwise fault page by page. Must be called after
    // ReadHeader, before decompression starts.
    void PreferHugePagesForWholeImageArrays() {
        jpeg_memory_mgr& memory = *cinfo.mem;
        requestBlockArray_ = memory.request_virt_barray;
        realizeArrays_ = memory.realize_virt_arrays;
        memory.request_virt_barray = &OnRequestBlockArray;
        memory.realize_virt_arrays = &OnRealizeArrays;
    }

    [[noreturn]] void Fail(int code) {
        failure = code;
        std::longjmp(jump, 1);
    }

    jpeg_decompress_struct cinfo{};
    std::jmp_buf jump{};
    int failure = SPI_BROKEN_DATA;

private:
    struct BlockArray {
        jvirt_barray_ptr array;
        JDIMENSION blocksPerRow;
        JDIMENSION rows;
    };

    static Session& Of(j_common_ptr common) { return *static_cast<Session*>(common->client_data); }

    // Asks for the array whole in memory, as libjpeg-turbo holds it anyway,
    // so that all its rows exist once it is realised.
    static jvirt_barray_ptr OnRequestBlockArray(j_common_ptr common, int pool, boolean preZero,
                                                JDIMENSION blocksPerRow, JDIMENSION rows, JDIMENSION maxAccess) {
        Session& session = Of(common);
        const jvirt_barray_ptr array =
            session.requestBlockArray_(common, pool, preZero, blocksPerRow, rows, std::max(rows, maxAccess));
        if (session.blockArrayCount_ < session.blockArrays_.size())
            session.blockArrays_[session.blockArrayCount_++] = {array, blocksPerRow, rows};
        return array;
    }

    static void OnRealizeArrays(j_common_ptr common) {
        Session& session = Of(common);
        session.realizeArrays_(common);
        session.AdviseBlockArrays();
    }

    // An array whose rows do not lie in one piece (libjpeg splits only
    // gigantic ones) is left alone.
    void AdviseBlockArrays() {
        for (std::size_t i = 0; i < blockArrayCount_; ++i) {
            const BlockArray& wanted = blockArrays_[i];
            if (wanted.rows == 0) continue;
            const JBLOCKARRAY rows = cinfo.mem->access_virt_barray(reinterpret_cast<j_common_ptr>(&cinfo),
                                                                   wanted.array, 0, 0, FALSE);
            bool inOnePiece = true;
            for (JDIMENSION row = 1; row < wanted.rows && inOnePiece; ++row)
                inOnePiece = rows[row] == rows[0] + static_cast<std::size_t>(row) * wanted.blocksPerRow;
            if (inOnePiece)
                spi::PreferHugePages(rows[0], static_cast<std::size_t>(wanted.rows) * wanted.blocksPerRow * sizeof(JBLOCK));
        }
        blockArrayCount_ = 0;
    }

    static int CodeForError(int messageCode) {
        switch (messageCode) {
        case JERR_OUT_OF_MEMORY:
        case JERR_IMAGE_TOO_BIG:
        case JERR_WIDTH_OVERFLOW:
            return SPI_NO_MEMORY;
        case JERR_CONVERSION_NOTIMPL:
        case JERR_NOT_COMPILED:
        case JERR_BAD_J_COLORSPACE:
        case JERR_BAD_PRECISION:    // 12 and 16-bit samples
        case JERR_SOF_UNSUPPORTED:  // lossless and hierarchical coding
            return SPI_UNKNOWN_FORMAT;
        default:
            return SPI_BROKEN_DATA;
        }
    }

    // Warnings that mean pixel data is missing or garbled. libjpeg would
    // fill the gap with grey; a damaged file is reported instead.
    static bool MeansDamagedData(int messageCode) {
        return messageCode == JWRN_JPEG_EOF || messageCode == JWRN_HIT_MARKER ||
               messageCode == JWRN_HUFF_BAD_CODE || messageCode == JWRN_MUST_RESYNC;
    }

    static void OnError(j_common_ptr common) { Of(common).Fail(CodeForError(common->err->msg_code)); }

    static void OnMessage(j_common_ptr common, int level) {
        if (level < 0 && MeansDamagedData(common->err->msg_code)) Of(common).Fail(SPI_BROKEN_DATA);
    }

    // Turns libjpeg's pass counters into one rising count of
    // kProgressUnits over input and output passes.
    static void OnProgress(j_common_ptr common) {
        Session& session = Of(common);
        if (session.cinfo.input_scan_number > kMaxScans) session.Fail(SPI_BROKEN_DATA);
        const jpeg_progress_mgr& monitor = *common->progress;
        const long limit = std::max(1L, monitor.pass_limit);
        const long passes = std::max(1, monitor.total_passes);
        const long counter = std::clamp(monitor.pass_counter, 0L, limit);
        const long units = (monitor.completed_passes * kProgressUnits + counter * kProgressUnits / limit) / passes;
        session.units_ = std::clamp(static_cast<int>(units), session.units_, kProgressUnits);
        if (session.progress_->Report(session.units_)) session.Fail(SPI_ABORT);
    }

    jpeg_error_mgr errors_{};
    jpeg_progress_mgr monitor_{};
    spi::Progress* progress_;
    int units_ = 0;
    decltype(jpeg_memory_mgr::request_virt_barray) requestBlockArray_ = nullptr;
    decltype(jpeg_memory_mgr::realize_virt_arrays) realizeArrays_ = nullptr;
    std::array<BlockArray, MAX_COMPONENTS> blockArrays_{};
    std::size_t blockArrayCount_ = 0;
};

std::uint16_t DotsPerInch(int unit, unsigned density) {
    switch (unit) {
    case 1: return static_cast<std::uint16_t>(density);
    case 2: return static_cast<std::uint16_t>(std::min(65535u, (density * 254 + 50) / 100));
    default: return 0;  // aspect ratio only
    }
}

void ReadDensity(const jpeg_decompress_struct& cinfo, std::uint16_t& x, std::uint16_t& y) {
    x = y = 0;
    if (!cinfo.saw_JFIF_marker) return;
    x = DotsPerInch(cinfo.density_unit, cinfo.X_density);
    y = DotsPerInch(cinfo.density_unit, cinfo.Y_density);
}

// Chooses libjpeg's output for the file's colour space: grey stays grey,
// colour comes out as the bitmap's BGR order, CMYK is converted here.
bool ChooseOutput(jpeg_decompress_struct& cinfo) {
    switch (cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE: cinfo.out_color_space = JCS_GRAYSCALE; return true;
    case JCS_YCbCr:
    case JCS_RGB: cinfo.out_color_space = JCS_EXT_BGR; return true;
    case JCS_CMYK:
    case JCS_YCCK: cinfo.out_color_space = JCS_CMYK; return true;
    default: return false;
    }
}

// CMYK as Adobe writes it (inverted: 255 means no ink) to BGR.
void CmykToBgr(const JSAMPLE* cmyk, std::uint8_t* bgr, JDIMENSION width) {
    for (JDIMENSION x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
        const unsigned k = cmyk[3];
        bgr[0] = static_cast<std::uint8_t>((cmyk[2] * k + 127) / 255);
        bgr[1] = static_cast<std::uint8_t>((cmyk[1] * k + 127) / 255);
        bgr[2] = static_cast<std::uint8_t>((cmyk[0] * k + 127) / 255);
    }
}

int ReadHeaderInto(Session& session, const unsigned char* data, std::size_t size, PictureInfo& info) {
    if (setjmp(session.jump)) return session.failure;
    session.ReadHeader(data, size);
    const jpeg_decompress_struct& cinfo = session.cinfo;
    info = PictureInfo{};
    info.width = static_cast<std::int32_t>(cinfo.image_width);
    info.height = static_cast<std::int32_t>(cinfo.image_height);
    ReadDensity(cinfo, info.x_density, info.y_density);
    info.colorDepth = static_cast<std::int16_t>(cinfo.num_components * 8);
    return SPI_SUCCESS;
}

// Reads all rows into dib; cmykRows is scratch space for CMYK files.
void ReadRows(jpeg_decompress_struct& cinfo, spi::Dib& dib, std::vector<JSAMPLE>& cmykRows) {
    const bool cmyk = cinfo.out_color_space == JCS_CMYK;
    const std::size_t cmykStride = static_cast<std::size_t>(cinfo.output_width) * 4;
    if (cmyk) cmykRows.resize(cmykStride * kRowsPerRead);
    JSAMPROW rows[kRowsPerRead];
    while (cinfo.output_scanline < cinfo.output_height) {
        const JDIMENSION top = cinfo.output_scanline;
        const JDIMENSION count = std::min<JDIMENSION>(kRowsPerRead, cinfo.output_height - top);
        for (JDIMENSION i = 0; i < count; ++i)
            rows[i] = cmyk ? cmykRows.data() + i * cmykStride : dib.Row(static_cast<std::int32_t>(top + i));
        const JDIMENSION read = jpeg_read_scanlines(&cinfo, rows, count);
        if (cmyk) {
            for (JDIMENSION i = 0; i < read; ++i)
                CmykToBgr(rows[i], dib.Row(static_cast<std::int32_t>(top + i)), cinfo.output_width);
        }
    }
}

int DecodeInto(Session& session, const unsigned char* data, std::size_t size, spi::Dib& dib,
               std::vector<JSAMPLE>& cmykRows) {
    if (setjmp(session.jump)) return session.failure;
    session.ReadHeader(data, size);
    jpeg_decompress_struct& cinfo = session.cinfo;
    if (!ChooseOutput(cinfo)) return SPI_UNKNOWN_FORMAT;
    jpeg_calc_output_dimensions(&cinfo);

    const bool grey = cinfo.out_color_space == JCS_GRAYSCALE;
    const int allocated = dib.Allocate(static_cast<std::int32_t>(cinfo.output_width),
                                       static_cast<std::int32_t>(cinfo.output_height), grey ? 8 : 24,
                                       grey ? 256 : 0);
    if (allocated != SPI_SUCCESS) return allocated;
    spi::PreferHugePages(dib);
    session.PreferHugePagesForWholeImageArrays();
    if (grey) dib.SetGreyPalette();
    std::uint16_t dpiX = 0;
    std::uint16_t dpiY = 0;
    ReadDensity(cinfo, dpiX, dpiY);
    dib.SetDensity(dpiX, dpiY);

    jpeg_start_decompress(&cinfo);
    ReadRows(cinfo, dib, cmykRows);
    // The trailing markers are not read: every row is there, and a missing
    // end-of-image marker is no reason to refuse the picture.
    return SPI_SUCCESS;
}

}  // namespace

bool HasJpegSignature(const unsigned char* data) {
    return data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

int ReadPictureInfo(const unsigned char* data, std::size_t size, PictureInfo& info) {
    if (size < 3 || !HasJpegSignature(data)) return SPI_UNKNOWN_FORMAT;
    Session session(nullptr);
    return ReadHeaderInto(session, data, size, info);
}

int DecodePicture(const unsigned char* data, std::size_t size, spi::Progress& progress, HLOCAL* info,
                  HLOCAL* bits) {
    if (size < 3 || !HasJpegSignature(data)) return SPI_UNKNOWN_FORMAT;
    Session session(&progress);
    spi::Dib dib;
    std::vector<JSAMPLE> cmykRows;
    const int result = DecodeInto(session, data, size, dib, cmykRows);
    if (result != SPI_SUCCESS) return result;
    if (progress.Report(kProgressUnits)) return SPI_ABORT;
    dib.Release(info, bits);
    return SPI_SUCCESS;
}

}  // namespace ifjpeg
