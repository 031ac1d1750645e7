// Decoding image files through the plug-ins into bitmaps checked to be
// what their headers say.
#include "raster/image_decoder.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <utility>

#include <QByteArray>

#include "platform/code_page.h"
#include "platform/path_text.h"
#include "platform/regular_file.h"
#include "plugins/plug_turn.h"
#include "raster/dib_view.h"

namespace {

// IsSupported gets only the address of the contents; a signature check
// must not read past the end of a short file.
constexpr int kReadPadding = 2048;

// Plug-in texts are usually code page 932; plain ASCII reads the same.
QString PluginText(const std::string& bytes) { return platform::FromCodePage932(bytes); }

// The whole file followed by kReadPadding zero bytes; false with the
// reason when it cannot be read.
bool ReadWholeFile(const QString& path, QByteArray& contents, platform::FileIdentity& identity, QString& reason) {
    std::optional<platform::RegularFile> file =
        platform::RegularFile::Open(platform::PathBytes(path), reason);
    if (!file) return false;
    identity = file->Identity();
    const std::int64_t size = file->Size();
    if (size > std::numeric_limits<std::int32_t>::max() - kReadPadding) {
        reason = QStringLiteral("ファイルが大きすぎます。");
        return false;
    }
    contents = QByteArray(static_cast<qsizetype>(size) + kReadPadding, '\0');
    const std::int64_t got = file->Read(contents.data(), size, reason);
    if (got < 0) return false;
    if (got < size) {
        reason = QStringLiteral("ファイルが途中で終わっています。");
        return false;
    }
    return true;
}

// The bytes the bitmap of a picture can take at most: 32 bits a pixel.
std::uint64_t LargestBitmapBytes(const PictureInfo& picture) {
    const auto width = static_cast<std::uint64_t>(std::max<std::int32_t>(picture.width, 0));
    const auto height = static_cast<std::uint64_t>(std::max<std::int32_t>(picture.height, 0));
    return width * height * 4;
}

}  // namespace

// --- TDecodedImage ------------------------------------------------------

TDecodedImage::TDecodedImage(HLOCAL headerBlock, HLOCAL bitsBlock)
    : headerBlock_(headerBlock), bitsBlock_(bitsBlock) {}

TDecodedImage::~TDecodedImage() {
    dib_.reset();
    FreeLocalBlock(headerBlock_);
    FreeLocalBlock(bitsBlock_);
}

std::size_t TDecodedImage::Bytes() const { return LocalBlockSize(headerBlock_) + LocalBlockSize(bitsBlock_); }

// --- TImageDecoder ------------------------------------------------------

bool TImageDecoder::Progress(int) { return Cancelled(); }

QString TImageDecoder::ResultMessage(int code) {
    switch (code) {
    case -1: return QStringLiteral("[Code-1] Plug-Inに機能がインプリメントされていません。");
    case 1: return QStringLiteral("[Code1] Plug-Inでの読込みを中止しました。");
    case 2: return QStringLiteral("[Code2] Plug-Inが非対応のフォーマットです。");
    case 3: return QStringLiteral("[Code3] Plug-Inがデータの破損を検出しました。");
    case 4: return QStringLiteral("[Code4] Plug-Inがメモリーを確保出来ません。");
    case 5: return QStringLiteral("[Code5] Plug-Inのメモリーエラーが発生しました。");
    case 6: return QStringLiteral("[Code6] Plug-Inがファイルリードエラーを発生しました。");
    case 7: return QStringLiteral("[Code7] Plug-In（予約）");
    case 8: return QStringLiteral("[Code8] Plug-Inの内部エラーが発生しました。");
    default: return QString();
    }
}

int TImageDecoder::ProgressCallback(int nNum, int nDenom, intptr_t lData) {
    auto* decoder = reinterpret_cast<TImageDecoder*>(lData);
    if (decoder == nullptr) return 0;
    // The plug-in's C frames lie between the hook and the decode call:
    // what the hook throws is kept, the plug-in told to stop, and the
    // exception raised again once the plug-in has returned.
    try {
        // A plug-in that reports no total gives no position.
        const std::int64_t position = nDenom != 0 ? std::int64_t(nNum) * 100 / nDenom : 0;
        return decoder->Progress(static_cast<int>(std::clamp<std::int64_t>(position, 0, 100))) ? 1 : 0;
    } catch (...) {
        decoder->progressFailure_ = std::current_exception();
        return 1;
    }
}

std::unique_ptr<TDecodedImage> TImageDecoder::Decode(TSusiePlugs& plugs, const QString& path, QString& failure) {
    failure.clear();
    path_ = path;
    QByteArray contents;
    platform::FileIdentity identity;
    QString reason;
    if (!ReadWholeFile(path, contents, identity, reason)) {
        failure = QStringLiteral("ファイルを読み込めません。\n%1\n%2").arg(platform::ShownText(path), reason);
        return nullptr;
    }

    const TPlugTurnHold turn(Turn, [this] { return Cancelled(); });
    if (!turn.Held()) return nullptr;
    plugs.Refresh();
    // A plug-in still inside a call of an abandoned decode is asked last,
    // once it has returned: another one may take the file meanwhile.
    std::vector<TSusiePlug*> busy;
    std::unique_ptr<TDecodedImage> image;
    for (int i = 0; i < plugs.Count(); ++i) {
        TSusiePlug& plug = *plugs.Items(i);
        if (PlugBusy(plug.Path()))
            busy.push_back(&plug);
        else if (Offer(plug, contents, identity, image, failure))
            return image;
    }
    for (TSusiePlug* plug : busy) {
        if (!AwaitPlug(*plug)) {
            failure = ResultMessage(SPI_ABORT);
            return nullptr;
        }
        if (Offer(*plug, contents, identity, image, failure)) return image;
    }
    failure = QStringLiteral("ファイルを開けません。\n%1\nこのファイルの形式に対応する Plug-In がありません。")
                  .arg(platform::ShownText(path));
    return nullptr;
}

bool TImageDecoder::Offer(TSusiePlug& plug, const QByteArray& contents, const platform::FileIdentity& identity,
                          std::unique_ptr<TDecodedImage>& image, QString& failure) {
    const TSusiePlugUse use(plug);
    if (!use.Loaded()) return false;
    if (plug.IsSupported(nullptr, reinterpret_cast<intptr_t>(contents.constData())) == 0) return false;
    image = DecodeWith(plug, contents.constData(), std::int32_t(contents.size() - kReadPadding), failure);
    if (progressFailure_) std::rethrow_exception(std::exchange(progressFailure_, nullptr));
    if (image != nullptr) image->Source = identity;
    return true;
}

bool TImageDecoder::AwaitPlug(TSusiePlug& plug) {
    // The view waits as it would for the plug-in's decode: Loading set,
    // the progress hook letting events and the cancel through.
    struct Waiting {
        TImageDecoder& decoder;
        ~Waiting() {
            decoder.AwaitingPlugin(std::string());
            decoder.PictureEnded();
        }
    };
    PictureStarted();
    AwaitingPlugin(plug.FileName());
    const Waiting waiting{*this};
    return WaitWhilePlugBusy(plug.Path(), [this] { return Turn->Abandoned() || Progress(0); });
}

std::unique_ptr<TDecodedImage> TImageDecoder::DecodeWith(TSusiePlug& plug, const char* contents,
                                                         std::int32_t size, QString& failure) {
    if (MaxBitmapBytes != 0) {
        PictureInfo picture{};
        if (plug.GetPictureInfo(contents, size, SPI_INPUT_MEMORY, &picture) != SPI_SUCCESS ||
            LargestBitmapBytes(picture) > MaxBitmapBytes)
            return nullptr;
    }
    HLOCAL info = nullptr;
    HLOCAL bits = nullptr;
    PictureStarted();
    const int code = plug.GetPicture(contents, size, SPI_INPUT_MEMORY, &info, &bits, &TImageDecoder::ProgressCallback,
                                     reinterpret_cast<intptr_t>(this));
    PictureEnded();
    if (code != SPI_SUCCESS || progressFailure_) {
        if (code == SPI_SUCCESS) {
            FreeLocalBlock(info);
            FreeLocalBlock(bits);
        }
        if (!progressFailure_) failure = ResultMessage(code);
        return nullptr;
    }
    return Checked(plug, contents, size, info, bits, failure);
}

std::unique_ptr<TDecodedImage> TImageDecoder::Checked(TSusiePlug& plug, const char* contents, std::int32_t size,
                                                      HLOCAL info, HLOCAL bits, QString& failure) {
    std::unique_ptr<TDecodedImage> image(new TDecodedImage(info, bits));
    PictureInfo picture{};
    const bool described = plug.GetPictureInfo(contents, size, SPI_INPUT_MEMORY, &picture) == SPI_SUCCESS;
    const auto* header = static_cast<const std::uint8_t*>(LocalLock(info));
    if (!TDibView::BlocksHoldBitmap(header, LocalBlockSize(info), LocalBlockSize(bits))) {
        failure = ResultMessage(SPI_BROKEN_DATA);
        return nullptr;
    }
    image->header_ = reinterpret_cast<const SPI_BITMAPINFOHEADER*>(header);
    image->bits_ = static_cast<const std::uint8_t*>(LocalLock(bits));
    image->dib_ = TDibView::Create(image->header_, image->bits_);
    if (image->dib_ == nullptr) {
        failure = QStringLiteral("Plug-Inが返した画像の形式には対応していません。\n%1").arg(platform::ShownText(path_));
        return nullptr;
    }
    if (MaxBitmapBytes != 0 && image->Bytes() > MaxBitmapBytes) return nullptr;

    TRasterInfo& facts = image->Info;
    facts.PluginInfo = PluginText(plug.GetInfo(SPI_INFO_DESCRIPTION));
    facts.FormatType = PluginText(plug.GetInfo(SPI_INFO_FORMAT_NAME));
    facts.Width = described ? picture.width : image->dib_->Width();
    facts.Height = described ? picture.height : image->dib_->Height();
    facts.XDensity = described ? picture.x_density : 0;
    facts.YDensity = described ? picture.y_density : 0;
    facts.ColorDepth = described ? picture.colorDepth : image->header_->biBitCount;
    return image;
}
