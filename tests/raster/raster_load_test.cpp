#include <filesystem>

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QPrinter>

#include "raster/raster.h"
#include "raster/raster_layers.h"
#include "raster_view_fixture.h"
#include "support/file_size_limit.h"

namespace {

using platform::MessageButtons;
using platform::MessageIcon;

class RasterLoadTest : public ::testing::Test, public RasterViewFixture {
protected:
    void SetUp() override { raster.resize(200, 200); }

    // A plug-in folder of its own: the given libraries under new names.
    void UsePlugins(const std::vector<std::pair<std::string, std::string>>& copies) {
        const std::string plugins = folder.File("plugins");
        std::filesystem::create_directory(plugins);
        for (const auto& [from, to] : copies) std::filesystem::copy_file(from, plugins + "/" + to);
        raster.SetPluginPath(QString::fromStdString(plugins));
    }

    std::uint32_t Little32(const std::vector<unsigned char>& bytes, std::size_t at) {
        return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) | (std::uint32_t(bytes[at + 3]) << 24);
    }
};

const std::string kTestPlugins = KELVANDOR_TEST_PLUGIN_DIR;

TEST_F(RasterLoadTest, TheFirstPluginThatAcceptsTheDataDecidesTheOutcome) {
    UsePlugins({{std::string(KELVANDOR_PLUGIN_DIR) + "/ifbmp.spi", "a.spi"},
                {kTestPlugins + "/variants/ktest_second.spi", "b.spi"},
                {kTestPlugins + "/ktest.spi", "c.spi"}});
    raster.SetPaintMode(pmHalfTone);
    ASSERT_TRUE(raster.LoadFromFile(TestImage("one.ktest", "width=5 height=4 dpi=72")));
    EXPECT_TRUE(messages.Texts().isEmpty());
    EXPECT_EQ(raster.Info().PluginInfo, QStringLiteral("Kelvandor second test plug-in"));
    EXPECT_EQ(raster.Info().FormatType, QStringLiteral("KTEST"));
    EXPECT_EQ(raster.Info().Width, 5);
    EXPECT_EQ(raster.Info().Height, 4);
    EXPECT_EQ(raster.Info().XDensity, 72);
    EXPECT_EQ(raster.Info().ColorDepth, 24);
    EXPECT_EQ(raster.MaxX(), 4);
    EXPECT_EQ(raster.MaxY(), 3);
    EXPECT_TRUE(raster.IsWholeImage());
    EXPECT_EQ(raster.PaintMode(), pmColorOn);

    // The accepting plug-in fails: its message, once, and no second try.
    const QString failing = TestImage("two.ktest", "code=2");
    EXPECT_FALSE(raster.LoadFromFile(failing));
    ASSERT_EQ(messages.Messages().size(), 1u);
    EXPECT_EQ(messages.Messages()[0].text, QStringLiteral("[Code2] Plug-Inが非対応のフォーマットです。"));
    EXPECT_EQ(messages.Messages()[0].icon, MessageIcon::Warning);
    EXPECT_EQ(messages.Messages()[0].buttons, MessageButtons::Ok);
    EXPECT_FALSE(raster.HasImage());
    EXPECT_EQ(raster.FileName(), failing);
}

TEST_F(RasterLoadTest, ResultCodesShowTheirMessages) {
    const std::vector<std::pair<int, QString>> codes = {
        {-1, QStringLiteral("[Code-1] Plug-Inに機能がインプリメントされていません。")},
        {1, QStringLiteral("[Code1] Plug-Inでの読込みを中止しました。")},
        {3, QStringLiteral("[Code3] Plug-Inがデータの破損を検出しました。")},
        {4, QStringLiteral("[Code4] Plug-Inがメモリーを確保出来ません。")},
        {5, QStringLiteral("[Code5] Plug-Inのメモリーエラーが発生しました。")},
        {6, QStringLiteral("[Code6] Plug-Inがファイルリードエラーを発生しました。")},
        {7, QStringLiteral("[Code7] Plug-In（予約）")},
        {8, QStringLiteral("[Code8] Plug-Inの内部エラーが発生しました。")},
        {9, QString()},
    };
    for (const auto& [code, text] : codes) {
        const std::size_t before = messages.Messages().size();
        EXPECT_FALSE(raster.LoadFromFile(TestImage("coded.ktest", "code=" + std::to_string(code))));
        if (text.isEmpty()) {
            EXPECT_EQ(messages.Messages().size(), before) << code;
        } else {
            ASSERT_EQ(messages.Messages().size(), before + 1) << code;
            EXPECT_EQ(messages.Messages().back().text, text);
        }
    }
    // Success without a bitmap is reported, not shown as an image.
    EXPECT_FALSE(raster.LoadFromFile(TestImage("empty.ktest", "code=0")));
    EXPECT_FALSE(raster.HasImage());
    EXPECT_EQ(messages.Messages().size(), codes.size());
}

TEST_F(RasterLoadTest, ProgressReportsAndCancel) {
    std::vector<int> positions;
    int cancelAt = -1;
    raster.OnLoadProgress = [&](TRaster* sender, int position, bool& cancel) {
        EXPECT_EQ(sender, &raster);
        EXPECT_TRUE(raster.Loading());
        EXPECT_EQ(raster.PaintMode(), pmColorOn);
        positions.push_back(position);
        cancel = position == cancelAt || raster.LoadCancel();
    };
    raster.SetPaintMode(pmHalfTone);
    raster.SetLoadCancel(true);  // a cancel from before this decode does not count
    ASSERT_TRUE(raster.LoadFromFile(TestImage("a.ktest", "steps=4")));
    EXPECT_EQ(positions, (std::vector<int>{0, 25, 50, 75, 100}));
    EXPECT_FALSE(raster.Loading());

    positions.clear();
    cancelAt = 66;
    EXPECT_FALSE(raster.LoadFromFile(TestImage("b.ktest", "steps=3")));
    EXPECT_EQ(positions, (std::vector<int>{0, 33, 66}));
    EXPECT_EQ(messages.Texts(), QStringList{QStringLiteral("[Code1] Plug-Inでの読込みを中止しました。")});
    EXPECT_FALSE(raster.HasImage());
}

TEST_F(RasterLoadTest, UnknownDataAndUnreadableFilesLeaveTheViewEmpty) {
    ASSERT_TRUE(Load(4, 3));
    EXPECT_FALSE(raster.LoadFromFile(QString::fromStdString(folder.Write("plain.txt", "not an image"))));
    EXPECT_TRUE(messages.Texts().isEmpty());
    EXPECT_FALSE(raster.HasImage());

    const QString missing = QString::fromStdString(folder.File("missing.ktest"));
    EXPECT_FALSE(raster.LoadFromFile(missing));
    ASSERT_EQ(messages.Messages().size(), 1u);
    EXPECT_TRUE(messages.Messages()[0].text.contains(missing));
    EXPECT_EQ(messages.Messages()[0].icon, MessageIcon::Warning);
    EXPECT_FALSE(raster.HasImage());
    EXPECT_EQ(raster.ScaleX(), 0);
}

TEST_F(RasterLoadTest, ChangedAnnotationsAreWrittenBeforeTheNextDecode) {
    ASSERT_TRUE(Load(4, 3, "first.ktest"));
    TRasterLayer* layer = raster.Layers().NewLayer();
    layer->AddObject(std::make_unique<TRasterObject>(layer));
    ASSERT_TRUE(raster.Modified());

    const std::string written = folder.File("first.grx");
    bool writtenBeforeDecode = false;
    raster.OnLoadProgress = [&](TRaster*, int, bool&) {
        writtenBeforeDecode = ReadFileBytes(written).size() == 620;
    };
    ASSERT_TRUE(Load(4, 3, "second.ktest"));
    EXPECT_TRUE(writtenBeforeDecode);
    EXPECT_FALSE(raster.Modified());
    EXPECT_TRUE(messages.Texts().isEmpty());

    // Unchanged annotations are not written again, and nothing is asked.
    ASSERT_TRUE(Load(4, 3, "first.ktest"));
    EXPECT_EQ(raster.Layers().Count(), 1);
    const auto before = ReadFileBytes(written);
    raster.CloseImage();
    EXPECT_EQ(ReadFileBytes(written), before);
    EXPECT_TRUE(messages.Texts().isEmpty());

    // Keeping the old side file drops the changes; they do not carry over
    // to the next image, whose close writes nothing.
    ASSERT_TRUE(Load(4, 3, "first.ktest"));
    raster.Layers().Items(0)->SetName(QStringLiteral("renamed"));
    raster.SetModified(true);
    messages.Answer(platform::MessageResult::No);
    ASSERT_TRUE(Load(4, 3, "third.ktest"));
    EXPECT_EQ(messages.Texts().size(), 1);
    EXPECT_EQ(ReadFileBytes(written), before);
    EXPECT_FALSE(raster.Modified());
    raster.CloseImage();
    EXPECT_FALSE(std::filesystem::exists(folder.File("third.grx")));
}

TEST_F(RasterLoadTest, SavedBitmapCarriesPixelsAndDensitiesAndDecodesAgain) {
    ASSERT_TRUE(raster.LoadFromFile(TestImage("dense.ktest", "width=5 height=3 dpi=72")));
    const QString path = QString::fromStdString(folder.File("saved.bmp"));
    ASSERT_TRUE(raster.SaveAsBitmap(path));
    const auto bytes = ReadFileBytes(path.toStdString());
    ASSERT_EQ(bytes.size(), 54u + 16 * 3);  // rows of 15 bytes padded to 16
    EXPECT_EQ(bytes[28], 24);
    EXPECT_EQ(Little32(bytes, 38), 2835u);
    EXPECT_EQ(Little32(bytes, 42), 2835u);
    const QImage image(path);
    ASSERT_EQ(image.size(), QSize(5, 3));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(image.pixel(x, y), qRgb(0x80, y, x)) << x << "," << y;

    // The bundled plug-in reads it back to the same bitmap.
    raster.SetPluginPath(QStringLiteral(KELVANDOR_PLUGIN_DIR));
    ASSERT_TRUE(raster.LoadFromFile(path));
    EXPECT_EQ(raster.Info().Width, 5);
    const QString again = QString::fromStdString(folder.File("again.bmp"));
    ASSERT_TRUE(raster.SaveAsBitmap(again));
    EXPECT_EQ(ReadFileBytes(again.toStdString()), bytes);

    EXPECT_FALSE(raster.SaveAsBitmap(QString::fromStdString(folder.File("no/such/folder.bmp"))));
    ASSERT_EQ(messages.Messages().size(), 1u);
    EXPECT_EQ(messages.Messages()[0].icon, MessageIcon::Warning);
}

TEST_F(RasterLoadTest, ABitmapThatCannotBeWrittenWholeLeavesTheOldFile) {
    ASSERT_TRUE(raster.LoadFromFile(TestImage("large.ktest", "width=400 height=300")));
    const std::string path = folder.Write("kept.bmp", std::string(100, 'k'));
    {
        const FileSizeLimit fullDisk(4096);
        EXPECT_FALSE(raster.SaveAsBitmap(QString::fromStdString(path)));
    }
    EXPECT_EQ(ReadFileBytes(path), std::vector<unsigned char>(100, 'k'));
    ASSERT_EQ(messages.Messages().size(), 1u);
    EXPECT_EQ(messages.Messages()[0].icon, MessageIcon::Warning);
}

TEST_F(RasterLoadTest, ClipboardCopiesTheVisiblePartInBothSizes) {
    ASSERT_TRUE(Load(101, 101));
    ASSERT_DOUBLE_EQ(raster.ScaleX(), 0.5);
    raster.ZoomToRect(QRect(20, 20, 20, 20));  // image (10, 10) to (20, 20)
    raster.CopyToClipboard(0);
    QImage copy = QGuiApplication::clipboard()->image();
    ASSERT_EQ(copy.size(), QSize(11, 11));
    EXPECT_EQ(copy.pixel(0, 0), qRgb(0x80, 10, 10));
    EXPECT_EQ(copy.pixel(10, 10), qRgb(0x80, 20, 20));

    raster.CopyToClipboard(1);
    copy = QGuiApplication::clipboard()->image();
    EXPECT_EQ(copy.size(), QSize(raster.DispRight() - raster.DispLeft(), raster.DispBottom() - raster.DispTop()));
    EXPECT_EQ(copy.pixel(0, 0), qRgb(0x80, 10, 10));
}

TEST_F(RasterLoadTest, PrintsTheVisiblePartToAFile) {
    ASSERT_TRUE(Load(40, 30));
    const QString output = QString::fromStdString(folder.File("page.pdf"));
    raster.Printer().setOutputFormat(QPrinter::PdfFormat);
    raster.Printer().setOutputFileName(output);
    raster.Print();
    EXPECT_FALSE(raster.Printing());
    const auto bytes = ReadFileBytes(output.toStdString());
    ASSERT_GT(bytes.size(), 100u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "%PDF");
    EXPECT_TRUE(messages.Texts().isEmpty());
}

}  // namespace
