#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include <QByteArray>
#include <QString>

#include "platform/folder_scan.h"
#include "plugins/plug_turn.h"
#include "plugins/susie_plug.h"

class TDibView;

// Facts about the loaded image, filled by each successful load.
struct TRasterInfo {
    QString PluginInfo;  // the decoding plug-in's description
    QString FormatType;  // its format name
    int Width = 0;
    int Height = 0;
    int XDensity = 0;  // dots per inch; 0 when the file has none
    int YDensity = 0;
    int ColorDepth = 0;  // bits per pixel of the source
};

// A bitmap as a plug-in returned it: its two local-memory blocks, locked
// for as long as it lives and freed with it, checked to hold the bitmap
// their header describes in a layout the view reads. Belongs to no thread.
class TDecodedImage {
public:
    ~TDecodedImage();
    TDecodedImage(const TDecodedImage&) = delete;
    TDecodedImage& operator=(const TDecodedImage&) = delete;

    const SPI_BITMAPINFOHEADER* Header() const { return header_; }
    const std::uint8_t* Bits() const { return bits_; }
    const TDibView& Dib() const { return *dib_; }
    // Bytes of both blocks.
    std::size_t Bytes() const;

    TRasterInfo Info;
    // The file the bitmap was decoded from, as it was read.
    platform::FileIdentity Source;

private:
    friend class TImageDecoder;
    TDecodedImage(HLOCAL headerBlock, HLOCAL bitsBlock);

    HLOCAL headerBlock_;
    HLOCAL bitsBlock_;
    const SPI_BITMAPINFOHEADER* header_ = nullptr;
    const std::uint8_t* bits_ = nullptr;
    std::unique_ptr<TDibView> dib_;
};

// Decodes image files through the plug-ins of a registry, on whichever
// thread runs it: a thread needs a registry of its own, since a registry
// loads and unloads its entries. Reports go to the hooks; nothing here
// talks to the user.
class TImageDecoder {
public:
    // Set while the accepting plug-in's GetPicture runs, and while the
    // decode waits for a plug-in still busy with an abandoned decode.
    virtual void PictureStarted() {}
    virtual void PictureEnded() {}
    // A progress report of the plug-in, 0 to 100; true asks it to stop. A
    // hook that throws stops the plug-in too; the exception comes out of
    // Decode once the plug-in has returned.
    virtual bool Progress(int position);
    // Whether the decode is no longer wanted: checked while it waits for
    // the plug-ins and, unless Progress is replaced, at each report.
    virtual bool Cancelled() const { return false; }
    // The file name of the plug-in the decode waits for, one still inside a
    // call of an abandoned decode; empty again once the wait is over.
    virtual void AwaitingPlugin(const std::string&) {}

    virtual ~TImageDecoder() = default;

    // The turn at the plug-ins the decode holds (plug_turn.h): a foreground
    // one, unless the decode runs ahead of need.
    std::shared_ptr<TPlugTurn> Turn = std::make_shared<TPlugTurn>(TPlugTurn::TPriority::Foreground);

    // When not 0, a picture whose bitmap could take more bytes is not
    // decoded (its size is asked first) and a bitmap that does is dropped.
    std::size_t MaxBitmapBytes = 0;

    // The image, or null with the message for the user in failure (empty
    // when there is nothing to say: a code outside the plug-in table, or a
    // picture over MaxBitmapBytes). The registry is refreshed first.
    std::unique_ptr<TDecodedImage> Decode(TSusiePlugs& plugs, const QString& path, QString& failure);

    // The message for a result code of GetPicture; empty for success and
    // for codes outside the table.
    static QString ResultMessage(int code);

private:
    static int ProgressCallback(int nNum, int nDenom, intptr_t lData);
    // Asks one plug-in; when it accepts the file, image is its result and
    // the answer is true.
    bool Offer(TSusiePlug& plug, const QByteArray& contents, const platform::FileIdentity& identity,
               std::unique_ptr<TDecodedImage>& image, QString& failure);
    // Waits until the plug-in is no longer busy; false when cancelled.
    bool AwaitPlug(TSusiePlug& plug);
    std::unique_ptr<TDecodedImage> DecodeWith(TSusiePlug& plug, const char* contents, std::int32_t size,
                                              QString& failure);
    std::unique_ptr<TDecodedImage> Checked(TSusiePlug& plug, const char* contents, std::int32_t size,
                                           HLOCAL info, HLOCAL bits, QString& failure);

    std::exception_ptr progressFailure_;
    QString path_;
};
