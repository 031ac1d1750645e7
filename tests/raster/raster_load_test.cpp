#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QPrinter>
#include <QTimer>
#include <QTreeWidget>

#include "raster/raster.h"
#include "platform/file_size_signal.h"
#include "plugins/plug_turn.h"
#include "raster/raster_layers.h"
#include "raster/raster_tree_view.h"
#include "raster_view_fixture.h"
#include "support/child_process.h"
#include "support/event_wait.h"
#include "support/file_size_limit.h"
#include "support/held_fifo.h"
#include "support/plugin_hold.h"

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

    // Runs act once, from the events that a waiting load lets run, as soon
    // as the plug-in holds its decode at hold.
    void WhenHeld(PluginHold& hold, const std::function<void()>& act) {
        auto* poll = new QTimer(&raster);
        QObject::connect(poll, &QTimer::timeout, poll, [poll, &hold, act] {
            if (!hold.Entered()) return;
            poll->stop();
            poll->deleteLater();
            act();
        });
        poll->start(1);
    }

    std::uint32_t Little32(const std::vector<unsigned char>& bytes, std::size_t at) {
        return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) | (std::uint32_t(bytes[at + 3]) << 24);
    }
};

const std::string kTestPlugins = KELVANDOR_TEST_PLUGIN_DIR;
const QString kCancelled = QStringLiteral("[Code1] Plug-Inでの読込みを中止しました。");

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
    EXPECT_FALSE(raster.HasImage());

    const QString missing = QString::fromStdString(folder.File("missing.ktest"));
    EXPECT_FALSE(raster.LoadFromFile(missing));
    ASSERT_EQ(messages.Messages().size(), 2u);
    EXPECT_TRUE(messages.Messages()[1].text.contains(missing));
    EXPECT_EQ(messages.Messages()[1].icon, MessageIcon::Warning);
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

TEST_F(RasterLoadTest, AFileNoPluginAcceptsIsNamedInAMessage) {
    for (const std::string name : {"empty.png", "text.ktest"}) {
        const std::size_t before = messages.Messages().size();
        const std::string path = folder.Write(name, name == "empty.png" ? "" : "plain text");
        EXPECT_FALSE(raster.LoadFromFile(QString::fromStdString(path)));
        EXPECT_FALSE(raster.HasImage());
        ASSERT_EQ(messages.Messages().size(), before + 1) << name;
        EXPECT_TRUE(messages.Messages().back().text.contains(QString::fromStdString(path)));
        EXPECT_TRUE(messages.Messages().back().text.contains(QStringLiteral("対応する Plug-In がありません")));
        EXPECT_EQ(messages.Messages().back().icon, MessageIcon::Warning);
    }
}

TEST_F(RasterLoadTest, APipeNamedLikeAnImageOrSideFileIsRefusedWithoutBeingRead) {
    // The pipe holds an image the test plug-in would accept: reading it
    // as a file would show that image.
    const std::string image = folder.File("pipe.ktest");
    const HeldFifo imagePipe(image, "KTESTSPI\n");
    ASSERT_TRUE(imagePipe.Ready());
    EXPECT_FALSE(raster.LoadFromFile(QString::fromStdString(image)));
    EXPECT_FALSE(raster.HasImage());
    EXPECT_EQ(imagePipe.Unread(), 9);
    ASSERT_EQ(messages.Messages().size(), 1u);
    EXPECT_TRUE(messages.Messages()[0].text.contains(QString::fromStdString(image)));
    EXPECT_TRUE(messages.Messages()[0].text.contains(QStringLiteral("FIFO")));

    // A pipe in place of the side file: the image opens without markers,
    // the pipe is left alone and the user hears why.
    const HeldFifo sidePipe(folder.File("marked.grx"), std::string(620, 'x'));
    ASSERT_TRUE(sidePipe.Ready());
    ASSERT_TRUE(Load(4, 3, "marked.ktest"));
    EXPECT_EQ(raster.Layers().Count(), 0);
    EXPECT_EQ(sidePipe.Unread(), 620);
    ASSERT_EQ(messages.Messages().size(), 2u);
    EXPECT_TRUE(messages.Messages()[1].text.contains(QString::fromStdString(folder.File("marked.grx"))));
    EXPECT_TRUE(messages.Messages()[1].text.contains(QStringLiteral("FIFO")));
}

TEST_F(RasterLoadTest, ThePluginsCanBeListedWhileOneOfThemDecodes) {
    UsePlugins({{kTestPlugins + "/ktest.spi", "a.spi"}, {kTestPlugins + "/variants/ktest_second.spi", "b.spi"}});
    const std::string otherFolder = folder.File("other");
    std::filesystem::create_directory(otherFolder);
    QStringList filters;
    raster.OnLoadProgress = [&](TRaster*, int position, bool&) {
        if (position != 50) return;
        // What the refresh command does, and a direct rescan.
        raster.GetPluginFilters(filters);
        raster.Plugs().Refresh();
        raster.SetPluginPath(QString::fromStdString(otherFolder));
    };
    ASSERT_TRUE(raster.LoadFromFile(TestImage("a.ktest", "steps=2")));
    EXPECT_TRUE(raster.HasImage());
    EXPECT_EQ(filters, (QStringList{QStringLiteral("*.ktest"), QStringLiteral("*.ktest")}));
    EXPECT_EQ(raster.Info().PluginInfo, QStringLiteral("Kelvandor test plug-in"));
    EXPECT_TRUE(messages.Texts().isEmpty());

    // The folder chosen meanwhile is the one the next decode uses.
    EXPECT_EQ(raster.PluginPath(), QString::fromStdString(otherFolder));
    raster.OnLoadProgress = nullptr;
    EXPECT_FALSE(raster.LoadFromFile(TestImage("b.ktest", "")));
    for (int i = 0; i < raster.Plugs().Count(); ++i) EXPECT_FALSE(raster.Plugs().Items(i)->IsLoaded());
    EXPECT_EQ(raster.Plugs().Count(), 0);
}

TEST_F(RasterLoadTest, ABitmapWhoseBlocksDoNotHoldWhatItsHeaderSaysIsReportedAsDamaged) {
    const QString damaged = QStringLiteral("[Code3] Plug-Inがデータの破損を検出しました。");
    const std::vector<std::string> faults{
        "header=200",                          // a header longer than any of its family
        "header=16",                           // shorter than the smallest
        "header=100 infobytes=40",             // longer than its block
        "bits=8 infobytes=40",                 // a full colour table that is not there
        "bits=8 colors=300 infobytes=1240",    // more colours than 8 bits can index
        "width=100 height=100 pixelbytes=100", // rows that are not there
    };
    // (The allocator may round a block up by a few bytes, so a fault of a
    // few bytes, such as missing bit-field masks, may stay inside it.)
    for (const std::string& words : faults) {
        const std::size_t before = messages.Messages().size();
        EXPECT_FALSE(raster.LoadFromFile(TestImage("faulty.ktest", words))) << words;
        EXPECT_FALSE(raster.HasImage()) << words;
        ASSERT_EQ(messages.Messages().size(), before + 1) << words;
        EXPECT_EQ(messages.Messages().back().text, damaged) << words;
    }
    // What a careful plug-in returns is shown: a short colour table that
    // the header counts, masks after the header, a 124-byte header.
    for (const std::string words : {"bits=4 colors=3 infobytes=52", "bits=16 compression=3 infobytes=52",
                                    "header=124 infobytes=124"}) {
        EXPECT_TRUE(raster.LoadFromFile(TestImage("sound.ktest", words))) << words;
    }
    EXPECT_EQ(messages.Messages().size(), faults.size());
}

TEST_F(RasterLoadTest, OpeningAnImageFillsTheLayerTreeAsOftenForManyLayersAsForOne) {
    TRasterTreeView tree;
    tree.SetRaster(&raster);
    int fills = 0;
    QObject::connect(tree.model(), &QAbstractItemModel::modelReset, [&] { ++fills; });
    auto fillsForLayers = [&](int layers, std::uint8_t mode) {
        std::vector<unsigned char> side(620 * std::size_t(layers), 0);
        for (int i = 0; i < layers; ++i) {
            const std::string name = "layer " + std::to_string(i);
            std::copy(name.begin(), name.end(), side.begin() + 620 * i);
            side[620 * std::size_t(i) + 114] = mode;
        }
        const std::string stem = "layers" + std::to_string(layers) + "-" + std::to_string(mode);
        folder.Write(stem + ".grx", side);
        raster.CloseImage();
        fills = 0;
        EXPECT_TRUE(Load(4, 3, stem + ".ktest"));
        EXPECT_EQ(raster.Layers().Count(), layers);
        return fills;
    };
    for (const std::uint8_t mode : {std::uint8_t(0), std::uint8_t(2)}) {
        const int forOne = fillsForLayers(1, mode);
        EXPECT_GE(forOne, 1);
        EXPECT_EQ(fillsForLayers(200, mode), forOne) << int(mode);
    }
    EXPECT_EQ(raster.ActiveLayer(), nullptr);
    EXPECT_TRUE(messages.Texts().isEmpty());
}

TEST_F(RasterLoadTest, RunningOutOfMemoryWhileOpeningGivesTheMessageAndAnEmptyView) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer ends the process on a failed allocation instead of raising std::bad_alloc";
#endif
    // A side file of many markers, under the size limit, that needs far
    // more memory than the child is given.
    constexpr int kRecords = 30000;
    std::vector<unsigned char> side(620 * std::size_t(kRecords), 0);
    for (int i = 0; i < kRecords; ++i) {
        const std::string name = "layer " + std::to_string(i);
        std::copy(name.begin(), name.end(), side.begin() + 620 * i);
        side[620 * std::size_t(i) + 114] = 1;
    }
    folder.Write("crowded.grx", side);
    const QString image = TestImage("crowded.ktest", "width=4 height=3");

    const int outcome = RunInChild([&] {
        // The decode thread and its stack come with the first load, before
        // the limit: it is the layers that must find no memory.
        if (!Load(4, 3, "first.ktest")) return 9;
        // The address space there is now, plus less than the layers need.
        std::ifstream statm("/proc/self/statm");
        unsigned long long pages = 0;
        statm >> pages;
        const rlim_t room = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + (8 << 20);
        const rlimit limit{room, room};
        if (setrlimit(RLIMIT_AS, &limit) != 0) return 10;
        if (raster.LoadFromFile(image)) return 11;
        if (raster.HasImage() || raster.Layers().Count() != 0) return 12;
        if (messages.Texts() != QStringList{QStringLiteral("[Code4] Plug-Inがメモリーを確保出来ません。")}) return 13;
        return 0;
    });
    EXPECT_EQ(outcome, 0);
}

TEST_F(RasterLoadTest, ASaveThatMeetsTheFileSizeLimitFailsAndKeepsTheOldFiles) {
    ASSERT_TRUE(raster.LoadFromFile(TestImage("large.ktest", "width=400 height=300")));
    TRasterLayer* layer = raster.Layers().NewLayer();
    for (int i = 0; i < 10; ++i) layer->AddObject(std::make_unique<TRasterObject>(layer));
    const std::string bitmap = folder.Write("kept.bmp", std::string(100, 'b'));
    const std::string side = folder.Write("kept.grx", std::string(620, 's'));

    const int outcome = RunInChild([&] {
        // As the program starts: with the signal's default action a write
        // past the limit would end the process.
        signal(SIGXFSZ, SIG_DFL);
        platform::WritesFailPastFileSizeLimit();
        const rlimit limit{4096, RLIM_INFINITY};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 10;
        messages.Answer(platform::MessageResult::Yes);  // overwrite the side file
        if (raster.SaveAsBitmap(QString::fromStdString(bitmap))) return 11;
        if (raster.SaveAnnotations(QString::fromStdString(side))) return 12;
        if (!raster.Modified()) return 13;
        return messages.Messages().size() == 3 ? 0 : 14;
    });
    EXPECT_EQ(outcome, 0);
    EXPECT_EQ(ReadFileBytes(bitmap), std::vector<unsigned char>(100, 'b'));
    EXPECT_EQ(ReadFileBytes(side), std::vector<unsigned char>(620, 's'));
}

// --- The decode on the view's thread -----------------------------------------

TEST_F(RasterLoadTest, TheEventsRunWhileAPlugInHoldsItsDecode) {
    PluginHold hold(folder.File("hold"));
    std::vector<int> positions;
    raster.OnLoadProgress = [&](TRaster*, int position, bool&) { positions.push_back(position); };
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (!hold.Entered()) return;
        EXPECT_TRUE(raster.Loading());
        EXPECT_FALSE(raster.HasImage());
        if (++ticks < 3) return;
        ticker.stop();
        hold.Release();
    });
    ticker.start(1);
    ASSERT_TRUE(raster.LoadFromFile(TestImage("held.ktest", hold.Words() + " width=6 height=5")));
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(positions, (std::vector<int>{0, 25, 50, 75, 100}));
    EXPECT_EQ(raster.Info().Width, 6);
    EXPECT_FALSE(raster.Loading());
    EXPECT_TRUE(messages.Texts().isEmpty());
}

TEST_F(RasterLoadTest, CancelEndsALoadWhosePlugInDoesNotReturnAndTheNextLoadWaitsForThatPlugIn) {
    UsePlugins({{kTestPlugins + "/ktest.spi", "a.spi"}});
    const std::string plugin = folder.File("plugins") + "/a.spi";
    PluginHold hold(folder.File("hold"));
    WhenHeld(hold, [&] { raster.SetLoadCancel(true); });
    EXPECT_FALSE(raster.LoadFromFile(TestImage("held.ktest", hold.Words())));
    EXPECT_EQ(messages.Texts(), QStringList{kCancelled});
    EXPECT_FALSE(raster.Loading());
    EXPECT_FALSE(raster.HasImage());
    EXPECT_TRUE(PlugBusy(plugin));

    // Only that plug-in reads the next file: the load waits, reporting, and
    // the handler's cancel ends the wait.
    const QString next = TestImage("next.ktest", "width=3 height=2");
    int reports = 0;
    raster.OnLoadProgress = [&](TRaster* view, int position, bool& cancel) {
        EXPECT_TRUE(view->Loading());
        EXPECT_EQ(position, 0);
        cancel = ++reports == 3;
    };
    EXPECT_FALSE(raster.LoadFromFile(next));
    EXPECT_EQ(reports, 3);
    EXPECT_EQ(messages.Texts(), (QStringList{kCancelled, kCancelled}));

    // Once the call returns, the plug-in serves again.
    raster.OnLoadProgress = nullptr;
    hold.Release();
    ASSERT_TRUE(ProcessEventsUntil([&] { return !PlugBusy(plugin); }));
    ASSERT_TRUE(raster.LoadFromFile(next));
    EXPECT_EQ(raster.Info().Width, 3);
    EXPECT_EQ(messages.Texts().size(), 2);
}

TEST_F(RasterLoadTest, ALoadStartedWhileAPlugInHoldsTheOneBeforeTakesOver) {
    UsePlugins({{kTestPlugins + "/ktest.spi", "a.spi"}, {kTestPlugins + "/variants/ktest_second.spi", "b.spi"}});
    const std::string plugin = folder.File("plugins") + "/a.spi";
    PluginHold hold(folder.File("hold"));
    const QString other = TestImage("other.ktest", "width=7 height=5");
    bool otherLoaded = false;
    WhenHeld(hold, [&] { otherLoaded = raster.LoadFromFile(other); });
    EXPECT_FALSE(raster.LoadFromFile(TestImage("held.ktest", hold.Words())));
    // The plug-in that has not returned is passed over; the earlier load
    // gives way without a word and leaves the later image.
    EXPECT_TRUE(otherLoaded);
    EXPECT_TRUE(raster.HasImage());
    EXPECT_EQ(raster.FileName(), other);
    EXPECT_EQ(raster.Info().PluginInfo, QStringLiteral("Kelvandor second test plug-in"));
    EXPECT_FALSE(raster.Loading());
    EXPECT_TRUE(messages.Texts().isEmpty());

    hold.Release();
    ASSERT_TRUE(ProcessEventsUntil([&] { return !PlugBusy(plugin); }));
    EXPECT_EQ(raster.FileName(), other);
    EXPECT_TRUE(messages.Texts().isEmpty());
}

TEST_F(RasterLoadTest, AViewGoesWithoutWaitingForItsAbandonedLoadsPlugIn) {
    PluginHold hold(folder.File("hold"));
    const std::string plugin = kTestPlugins + "/ktest.spi";
    {
        TRaster view;
        view.SetPluginPath(QString::fromStdString(kTestPlugins));
        WhenHeld(hold, [&] { view.AbandonLoad(); });
        EXPECT_FALSE(view.LoadFromFile(TestImage("held.ktest", hold.Words())));
        EXPECT_FALSE(view.Loading());
    }
    EXPECT_TRUE(messages.Texts().isEmpty());
    EXPECT_TRUE(PlugBusy(plugin));
    // When the call returns, its thread ends without touching what went.
    hold.Release();
    EXPECT_TRUE(ProcessEventsUntil([&] { return !PlugBusy(plugin); }));
    EXPECT_TRUE(Load(3, 2));
}

}  // namespace
