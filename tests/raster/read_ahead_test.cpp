#include <filesystem>
#include <memory>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "plugins/plug_turn.h"
#include "raster/raster_layers.h"
#include "raster/read_ahead.h"
#include "raster_view_fixture.h"
#include "support/event_wait.h"
#include "support/plugin_hold.h"

namespace {

const std::string kTestPlugins = KELVANDOR_TEST_PLUGIN_DIR;

class ReadAheadTest : public ::testing::Test, public RasterViewFixture {
protected:
    void SetUp() override { raster.resize(200, 200); }

    // Opens path after its decode ahead has finished; the number of
    // progress reports the open saw.
    int OpenPrepared(const QString& path) {
        raster.ReadAhead(path);
        EXPECT_TRUE(ProcessEventsUntil([&] { return raster.ReadAheadReady(); }));
        int reports = 0;
        raster.OnLoadProgress = [&reports](TRaster*, int, bool&) { ++reports; };
        EXPECT_TRUE(raster.LoadFromFile(path));
        raster.OnLoadProgress = nullptr;
        return reports;
    }
};

TEST_F(ReadAheadTest, APreparedBitmapIsShownWithoutDecodingAgain) {
    const QString first = TestImage("first.ktest", "width=8 height=6");
    const QString next = TestImage("next.ktest", "width=30 height=20 dpi=150 steps=8");
    ASSERT_TRUE(raster.LoadFromFile(first));
    raster.Layers().NewLayer();
    raster.SetPaintMode(pmHalfTone);

    EXPECT_EQ(OpenPrepared(next), 0);
    EXPECT_TRUE(raster.HasImage());
    EXPECT_EQ(raster.FileName(), next);
    EXPECT_EQ(raster.Info().Width, 30);
    EXPECT_EQ(raster.Info().XDensity, 150);
    EXPECT_EQ(raster.MaxX(), 29);
    EXPECT_EQ(raster.PaintMode(), pmColorOn);
    EXPECT_TRUE(raster.IsWholeImage());
    // The image before went as with any load: its side file was written.
    EXPECT_TRUE(std::filesystem::exists(folder.File("first.grx")));
    EXPECT_EQ(raster.Layers().Count(), 0);
    // Taken once: nothing stays prepared.
    EXPECT_TRUE(raster.ReadAheadPath().isEmpty());
    EXPECT_FALSE(raster.ReadAheadReady());
    EXPECT_TRUE(messages.Messages().empty());
}

TEST_F(ReadAheadTest, TheSideFileIsReadWhenTheImageOpensNotAhead) {
    const QString image = TestImage("marked.ktest", "width=8 height=6");
    raster.ReadAhead(image);
    ASSERT_TRUE(ProcessEventsUntil([&] { return raster.ReadAheadReady(); }));
    // Written after the decode ahead, as closing a sibling image may.
    TRasterDocument other;
    other.Layers().NewLayer()->SetName(QStringLiteral("後から"));
    other.Layers().Items(0)->AddObject(std::make_unique<TRasterObject>(other.Layers().Items(0)));
    ASSERT_TRUE(other.WriteAnnotations(QString::fromStdString(folder.File("marked.grx"))).isEmpty());

    ASSERT_TRUE(raster.LoadFromFile(image));
    ASSERT_EQ(raster.Layers().Count(), 1);
    EXPECT_EQ(raster.Layers().Items(0)->Name(), QStringLiteral("後から"));
}

TEST_F(ReadAheadTest, AFileChangedOnDiskIsDecodedAgain) {
    const QString path = TestImage("changing.ktest", "width=30 height=20");
    raster.ReadAhead(path);
    ASSERT_TRUE(ProcessEventsUntil([&] { return raster.ReadAheadReady(); }));
    TestImage("changing.ktest", "width=310 height=20");
    int reports = 0;
    raster.OnLoadProgress = [&reports](TRaster*, int, bool&) { ++reports; };
    ASSERT_TRUE(raster.LoadFromFile(path));
    EXPECT_EQ(raster.Info().Width, 310);
    EXPECT_GT(reports, 0);
}

TEST_F(ReadAheadTest, ABitmapIsOnlyForItsFileAndPlugInFolder) {
    const QString a = TestImage("a.ktest", "width=5 height=5");
    const QString b = TestImage("b.ktest", "width=5 height=5");
    TReadAhead ahead;
    const auto prepared = [&](const QString& path, const std::string& plugins) {
        ahead.Prepare(path, plugins);
        ahead.Wait();
        return ahead.Ready();
    };

    ASSERT_TRUE(prepared(a, kTestPlugins));
    EXPECT_EQ(ahead.Take(b, kTestPlugins), nullptr);
    // Whatever was not taken is gone.
    EXPECT_EQ(ahead.Take(a, kTestPlugins), nullptr);

    ASSERT_TRUE(prepared(a, kTestPlugins));
    EXPECT_EQ(ahead.Take(a, folder.Path()), nullptr);

    ASSERT_TRUE(prepared(a, kTestPlugins));
    ahead.Drop();
    EXPECT_TRUE(ahead.Path().isEmpty());
    EXPECT_EQ(ahead.Take(a, kTestPlugins), nullptr);

    // The same request again keeps the work done.
    ASSERT_TRUE(prepared(a, kTestPlugins));
    ahead.Prepare(a, kTestPlugins);
    EXPECT_TRUE(ahead.Ready());
    std::unique_ptr<TDecodedImage> image = ahead.Take(a, kTestPlugins);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->Info.Width, 5);

    // Another plug-in folder for the view drops what was decoded ahead.
    raster.ReadAhead(a);
    raster.SetPluginPath(QString::fromStdString(folder.Path()));
    EXPECT_TRUE(raster.ReadAheadPath().isEmpty());
}

TEST_F(ReadAheadTest, AFailedDecodeAheadIsSilentAndTheOpenSaysWhy) {
    const QString broken = TestImage("broken.ktest", "code=3");
    TReadAhead ahead;
    ahead.Prepare(broken, kTestPlugins);
    ahead.Wait();
    EXPECT_FALSE(ahead.Ready());
    EXPECT_TRUE(messages.Messages().empty());

    raster.ReadAhead(broken);
    EXPECT_FALSE(raster.LoadFromFile(broken));
    EXPECT_EQ(messages.Texts(), QStringList{QStringLiteral("[Code3] Plug-Inがデータの破損を検出しました。")});
}

TEST_F(ReadAheadTest, AnOpenWhileTheDecodeAheadRunsStopsItAndDecodesItself) {
    // Many progress reports: the decode ahead is still running when the
    // open comes, whichever file that open is for.
    const QString slow = TestImage("slow.ktest", "width=200 height=200 steps=5000");
    const QString other = TestImage("other.ktest", "width=7 height=7");
    raster.ReadAhead(slow);
    ASSERT_TRUE(raster.LoadFromFile(other));
    EXPECT_EQ(raster.Info().Width, 7);
    raster.ReadAhead(slow);
    ASSERT_TRUE(raster.LoadFromFile(slow));
    EXPECT_EQ(raster.Info().Width, 200);
    EXPECT_TRUE(messages.Messages().empty());
}

TEST_F(ReadAheadTest, AnOpenDoesNotWaitForADecodeAheadStuckInAPlugIn) {
    const std::string plugins = folder.File("plugins");
    std::filesystem::create_directory(plugins);
    std::filesystem::copy_file(kTestPlugins + "/ktest.spi", plugins + "/a.spi");
    const std::string stuckPlugin = plugins + "/a.spi";
    raster.SetPluginPath(QString::fromStdString(plugins));
    PluginHold hold(folder.File("hold"));
    const QString stuck = TestImage("stuck.ktest", hold.Words());
    const QString other = TestImage("other.ktest", "width=7 height=7");
    raster.ReadAhead(stuck);
    ASSERT_TRUE(ProcessEventsUntil([&] { return hold.Entered(); }));

    // The file needs the plug-in that has not returned: the open waits for
    // it as for a decode, the view going on, and the user's cancel ends it.
    int reports = 0;
    raster.OnLoadProgress = [&reports](TRaster* view, int, bool& cancel) {
        EXPECT_TRUE(view->Loading());
        cancel = ++reports == 3;
    };
    EXPECT_FALSE(raster.LoadFromFile(other));
    EXPECT_EQ(reports, 3);
    EXPECT_EQ(messages.Texts(), QStringList{QStringLiteral("[Code1] Plug-Inでの読込みを中止しました。")});
    EXPECT_FALSE(raster.Loading());
    raster.OnLoadProgress = nullptr;

    // Another plug-in that takes the file opens it, the stuck call still
    // under way.
    std::filesystem::copy_file(kTestPlugins + "/variants/ktest_second.spi", plugins + "/b.spi");
    ASSERT_TRUE(raster.LoadFromFile(other));
    EXPECT_EQ(raster.Info().PluginInfo, QStringLiteral("Kelvandor second test plug-in"));
    EXPECT_TRUE(PlugBusy(stuckPlugin));

    // Once the call returns, the plug-in serves again, first in order.
    hold.Release();
    ASSERT_TRUE(ProcessEventsUntil([&] { return !PlugBusy(stuckPlugin); }));
    ASSERT_TRUE(raster.LoadFromFile(other));
    EXPECT_EQ(raster.Info().PluginInfo, QStringLiteral("Kelvandor test plug-in"));
    EXPECT_EQ(messages.Texts().size(), 1);
}

TEST_F(ReadAheadTest, ItsOwnerGoesWhileADecodeAheadIsStuckInAPlugIn) {
    PluginHold hold(folder.File("hold"));
    const QString stuck = TestImage("stuck.ktest", hold.Words());
    const std::string plugin = kTestPlugins + "/ktest.spi";
    {
        TReadAhead ahead;
        ahead.Prepare(stuck, kTestPlugins);
        ASSERT_TRUE(ProcessEventsUntil([&] { return hold.Entered(); }));
    }
    // Gone without waiting; when the call returns, its thread ends without
    // touching what went.
    EXPECT_TRUE(PlugBusy(plugin));
    hold.Release();
    EXPECT_TRUE(ProcessEventsUntil([&] { return !PlugBusy(plugin); }));
    EXPECT_TRUE(Load(3, 2));
}

}  // namespace
