// The document without a view: decoding through the plug-ins and the side
// file, with no widget anywhere.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QFile>

#include "raster/dib_view.h"
#include "raster/raster_document.h"
#include "raster/raster_layers.h"
#include "support/temp_folder.h"

namespace {

class RasterDocumentTest : public ::testing::Test {
protected:
    RasterDocumentTest() { plugs.SetPath(KELVANDOR_TEST_PLUGIN_DIR); }

    QString TestImage(const std::string& name, const std::string& words) {
        return QString::fromStdString(folder.Write(name, "KTESTSPI " + words + "\n"));
    }

    TempFolder folder;
    TSusiePlugs plugs;
};

// Counts what the decode reports and can stop it.
class CountingDecoder : public TImageDecoder {
public:
    void PictureStarted() override { ++started; }
    void PictureEnded() override { ++ended; }
    bool Progress(int position) override {
        positions.push_back(position);
        if (throwAt >= 0 && position >= throwAt) throw std::runtime_error("stop");
        return stopAt >= 0 && position >= stopAt;
    }

    int started = 0;
    int ended = 0;
    int stopAt = -1;
    int throwAt = -1;
    std::vector<int> positions;
};

TEST_F(RasterDocumentTest, DecodesIntoAnImageThatTheDocumentShows) {
    CountingDecoder decoder;
    QString failure;
    const QString path = TestImage("a.ktest", "width=7 height=5 dpi=96 steps=4");
    std::unique_ptr<TDecodedImage> image = decoder.Decode(plugs, path, failure);
    ASSERT_NE(image, nullptr);
    EXPECT_TRUE(failure.isEmpty());
    EXPECT_EQ(decoder.started, 1);
    EXPECT_EQ(decoder.ended, 1);
    EXPECT_EQ(decoder.positions, (std::vector<int>{0, 25, 50, 75, 100}));
    EXPECT_FALSE(plugs.InUse());
    EXPECT_EQ(image->Dib().Width(), 7);
    EXPECT_EQ(image->Dib().Height(), 5);
    EXPECT_EQ(image->Info.XDensity, 96);
    EXPECT_EQ(image->Info.FormatType, QStringLiteral("KTEST"));
    EXPECT_EQ(static_cast<std::uintmax_t>(image->Source.size), std::filesystem::file_size(path.toStdString()));
    // Pixel (x, y) of the test plug-in: blue x, green y, red 0x80.
    std::vector<std::uint32_t> row(7);
    image->Dib().ReadRow(4, 0, 7, row.data());
    EXPECT_EQ(row[6], 0xFF800406u);

    TRasterDocument document;
    document.SetFileName(path);
    document.SetImage(std::move(image));
    ASSERT_TRUE(document.HasImage());
    EXPECT_EQ(document.Info().Width, 7);
    document.FreeImage();
    EXPECT_FALSE(document.HasImage());
    // The facts stay after the image has gone.
    EXPECT_EQ(document.Info().Width, 7);
    EXPECT_EQ(document.FileName(), path);
}

TEST_F(RasterDocumentTest, FailuresComeBackAsMessagesForTheCallerToShow) {
    QString failure;
    TImageDecoder decoder;
    EXPECT_EQ(decoder.Decode(plugs, TestImage("broken.ktest", "code=3"), failure), nullptr);
    EXPECT_EQ(failure, QStringLiteral("[Code3] Plug-Inがデータの破損を検出しました。"));

    // A code outside the table: nothing to say.
    EXPECT_EQ(decoder.Decode(plugs, TestImage("odd.ktest", "code=42"), failure), nullptr);
    EXPECT_TRUE(failure.isEmpty());

    const QString foreign = QString::fromStdString(folder.Write("plain.txt", "just text\n"));
    EXPECT_EQ(decoder.Decode(plugs, foreign, failure), nullptr);
    EXPECT_TRUE(failure.contains(QStringLiteral("Plug-In がありません")));

    EXPECT_EQ(decoder.Decode(plugs, QString::fromStdString(folder.File("missing.ktest")), failure), nullptr);
    EXPECT_TRUE(failure.startsWith(QStringLiteral("ファイルを読み込めません。")));

    // Blocks that do not hold the bitmap their header claims are refused.
    EXPECT_EQ(decoder.Decode(plugs, TestImage("short.ktest", "width=64 height=64 pixelbytes=100"), failure),
              nullptr);
    EXPECT_EQ(failure, QStringLiteral("[Code3] Plug-Inがデータの破損を検出しました。"));
    EXPECT_FALSE(plugs.InUse());
}

TEST_F(RasterDocumentTest, ProgressHooksStopTheDecode) {
    QString failure;
    CountingDecoder stopping;
    stopping.stopAt = 50;
    EXPECT_EQ(stopping.Decode(plugs, TestImage("a.ktest", "steps=4"), failure), nullptr);
    EXPECT_EQ(failure, QStringLiteral("[Code1] Plug-Inでの読込みを中止しました。"));
    EXPECT_EQ(stopping.positions.back(), 50);
    EXPECT_EQ(stopping.ended, 1);

    // What a hook throws comes out once the plug-in has returned and gone.
    CountingDecoder throwing;
    throwing.throwAt = 25;
    EXPECT_THROW(throwing.Decode(plugs, TestImage("b.ktest", "steps=4"), failure), std::runtime_error);
    EXPECT_EQ(throwing.ended, 1);
    EXPECT_FALSE(plugs.InUse());
}

TEST_F(RasterDocumentTest, PicturesOverTheMemoryLimitAreNotDecoded) {
    CountingDecoder decoder;
    decoder.MaxBitmapBytes = 100 * 100 * 4 - 1;
    QString failure;
    EXPECT_EQ(decoder.Decode(plugs, TestImage("big.ktest", "width=100 height=100"), failure), nullptr);
    EXPECT_TRUE(failure.isEmpty());
    EXPECT_EQ(decoder.started, 0);
    decoder.MaxBitmapBytes = 100 * 100 * 4;
    EXPECT_NE(decoder.Decode(plugs, TestImage("big.ktest", "width=100 height=100"), failure), nullptr);
}

TEST_F(RasterDocumentTest, SideFileRoundTripsWithoutAView) {
    TRasterDocument written;
    TRasterLayers& layers = written.Layers();
    for (int l = 0; l < 2; ++l) {
        TRasterLayer* layer = layers.NewLayer();
        for (int o = 0; o < 2; ++o) {
            TRasterObject* object = layer->AddObject(std::make_unique<TRasterObject>(layer));
            object->SetName(QStringLiteral("点%1").arg(o));
            object->SetX(10 * l + o);
        }
    }
    layers.Items(1)->SetMode(lmActive);
    written.SetModified(true);
    const QString side = QString::fromStdString(folder.File("image.grx"));
    EXPECT_TRUE(written.WriteAnnotations(side).isEmpty());
    EXPECT_FALSE(written.Modified());
    EXPECT_EQ(std::filesystem::file_size(side.toStdString()), 2480u);

    TRasterDocument read;
    QString failure;
    ASSERT_TRUE(read.ReadAnnotations(side, failure));
    EXPECT_TRUE(failure.isEmpty());
    ASSERT_EQ(read.Layers().Count(), 2);
    EXPECT_EQ(read.Layers().Items(0)->Name(), QStringLiteral("新規レイヤ"));
    EXPECT_EQ(read.Layers().Items(1)->Name(), QStringLiteral("新規レイヤ1"));
    EXPECT_EQ(read.Layers().Items(0)->Mode(), lmVisible);
    EXPECT_EQ(read.Layers().Items(1)->Mode(), lmActive);
    ASSERT_EQ(read.Layers().Items(1)->Count(), 2);
    EXPECT_EQ(read.Layers().Items(1)->Objects(1)->Name(), QStringLiteral("点1"));
    EXPECT_EQ(read.Layers().Items(1)->Objects(1)->X(), 11);
    EXPECT_FALSE(read.AnnotationsIncomplete());
}

TEST_F(RasterDocumentTest, OneActiveLayerWithoutAView) {
    TRasterDocument document;
    TRasterLayer* first = document.Layers().NewLayer();
    TRasterLayer* second = document.Layers().NewLayer();
    first->SetMode(lmActive);
    second->SetMode(lmActive);
    EXPECT_EQ(first->Mode(), lmVisible);
    EXPECT_EQ(second->Mode(), lmActive);
    second->Delete();
    EXPECT_EQ(document.Layers().Count(), 1);
}

TEST_F(RasterDocumentTest, DamagedOrMissingSideFiles) {
    TRasterDocument document;
    QString failure;
    EXPECT_FALSE(document.ReadAnnotations(QString::fromStdString(folder.File("none.grx")), failure));
    EXPECT_TRUE(failure.isEmpty());
    EXPECT_FALSE(document.AnnotationsIncomplete());

    // One whole record and a cut one: the whole one is read, the file is
    // marked as not read completely.
    std::vector<unsigned char> bytes(620 + 100, 0);
    bytes[0] = 'L';
    bytes[51] = 'p';
    const QString cut = QString::fromStdString(folder.Write("cut.grx", bytes));
    EXPECT_TRUE(document.ReadAnnotations(cut, failure));
    EXPECT_FALSE(failure.isEmpty());
    EXPECT_TRUE(document.AnnotationsIncomplete());
    ASSERT_EQ(document.Layers().Count(), 1);
    EXPECT_EQ(document.Layers().Items(0)->Count(), 1);

    document.SetModified(true);
    document.ClearAnnotations();
    EXPECT_EQ(document.Layers().Count(), 0);
    EXPECT_FALSE(document.Modified());
    EXPECT_FALSE(document.AnnotationsIncomplete());

    const QString empty = QString::fromStdString(folder.Write("empty.grx", std::string()));
    EXPECT_TRUE(document.ReadAnnotations(empty, failure));
    EXPECT_TRUE(failure.isEmpty());
    EXPECT_EQ(document.Layers().Count(), 0);
}

}  // namespace
