
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "raster/raster.h"
#include "raster/raster_layers.h"
#include "support/file_size_limit.h"
#include "support/scripted_message_boxes.h"
#include "support/temp_folder.h"
#include "support/unprivileged_child.h"

namespace {

using Bytes = std::vector<unsigned char>;

void Put(Bytes& record, std::size_t offset, const std::string& text) {
    std::copy(text.begin(), text.end(), record.begin() + static_cast<std::ptrdiff_t>(offset));
}

void PutInt(Bytes& record, std::size_t offset, std::int32_t value) {
    for (int i = 0; i < 4; ++i)
        record[offset + i] = static_cast<unsigned char>(static_cast<std::uint32_t>(value) >> (8 * i));
}

// One record as the Windows program writes it; strings are code page 932.
Bytes Record(const std::string& layer, int mode, const std::string& name, int x = 0, int y = 0) {
    Bytes record(620, 0);
    Put(record, 0, layer);
    Put(record, 51, name);
    PutInt(record, 102, x);
    PutInt(record, 106, y);
    record[114] = static_cast<unsigned char>(mode);
    return record;
}

Bytes Join(const std::vector<Bytes>& records) {
    Bytes all;
    for (const Bytes& record : records) all.insert(all.end(), record.begin(), record.end());
    return all;
}

std::string Field(const Bytes& file, std::size_t record, std::size_t offset) {
    const auto* start = reinterpret_cast<const char*>(file.data() + record * 620 + offset);
    return std::string(start, strnlen(start, 51));
}

class GrxFileTest : public ::testing::Test {
protected:
    GrxFileTest() {
        view.OnActiveLayerChange = [this](TRaster*, TRasterLayer* layer) { activated.push_back(layer); };
    }

    TRasterObject* Add(TRasterLayer* layer, const QString& name, int x, int y) {
        auto object = std::make_unique<TRasterObject>(layer);
        object->SetName(name);
        object->SetX(x);
        object->SetY(y);
        return layer->AddObject(std::move(object));
    }

    bool Load(const Bytes& contents) {
        return view.LoadAnnotations(QString::fromStdString(folder.Write("in.grx", contents)));
    }

    // Each layer's name and number of objects, in order.
    std::vector<std::pair<QString, int>> Layers() const {
        std::vector<std::pair<QString, int>> layers;
        for (int i = 0; i < view.Layers().Count(); ++i)
            layers.emplace_back(view.Layers().Items(i)->Name(), view.Layers().Items(i)->Count());
        return layers;
    }

    TempFolder folder;
    ScriptedMessageBoxes boxes;
    TRaster view;
    std::vector<TRasterLayer*> activated;
};

TEST_F(GrxFileTest, LayersAreWrittenInOrderAndReadBack) {
    TRasterLayer* lower = view.Layers().NewLayer();
    TRasterLayer* upper = view.Layers().NewLayer();
    ASSERT_TRUE(upper->Rename("上層"));
    Add(lower, "一", 1, 2);
    Add(lower, "two", -3, 4);
    Add(upper, "three", 5, 6);
    Add(upper, "four", 7, 8);
    upper->SetMode(lmActive);
    lower->SetMode(lmInvisible);

    const std::string path = folder.File("out.grx");
    ASSERT_TRUE(view.SaveAnnotations(QString::fromStdString(path)));
    EXPECT_FALSE(view.Modified());
    EXPECT_TRUE(boxes.Messages().empty());
    const Bytes written = ReadFileBytes(path);
    ASSERT_EQ(written.size(), 2480u);
    const std::string lowerName = "\x90\x56\x8B\x4B\x83\x8C\x83\x43\x83\x84";  // 新規レイヤ
    const std::vector<std::string> layerOfRecord{lowerName, lowerName, "\x8F\xE3\x91\x77",
                                                 "\x8F\xE3\x91\x77"};
    const std::vector<std::string> objectOfRecord{"\x88\xEA", "two", "three", "four"};
    for (std::size_t r = 0; r < 4; ++r) {
        EXPECT_EQ(Field(written, r, 0), layerOfRecord[r]) << r;
        EXPECT_EQ(Field(written, r, 51), objectOfRecord[r]) << r;
        EXPECT_EQ(written[r * 620 + 114], r < 2 ? 2 : 0) << r;
    }
    EXPECT_EQ(Bytes(written.begin() + 620 + 102, written.begin() + 620 + 110),
              (Bytes{0xFD, 0xFF, 0xFF, 0xFF, 4, 0, 0, 0}));

    view.Layers().Clear();
    ASSERT_TRUE(view.LoadAnnotations(QString::fromStdString(path)));
    EXPECT_EQ(Layers(), (std::vector<std::pair<QString, int>>{{"新規レイヤ", 2}, {"上層", 2}}));
    EXPECT_EQ(view.Layers().Items(0)->Mode(), lmInvisible);
    EXPECT_EQ(view.ActiveLayer(), view.Layers().Items(1));
    EXPECT_EQ(view.Layers().Items(0)->Objects(0)->Name(), "一");
}

TEST_F(GrxFileTest, UntouchedBytesSurviveARoundTrip) {
    // Leftovers after the NULs (from renames in the Windows program) and
    // every text field stay exactly as they were.
    Bytes record = Record("L", 1, "obj", 10, 20);
    Put(record, 2, "old layer name");
    Put(record, 55, "rest");
    for (std::size_t offset : {115u, 216u, 317u, 418u, 519u})
        Put(record, offset, "\x83\x65\x83\x4C\x83\x58\x83\x67");
    PutInt(record, 110, 5);
    const Bytes original = Join({record, record});
    ASSERT_TRUE(Load(original));
    const std::string path = folder.File("out.grx");
    ASSERT_TRUE(view.SaveAnnotations(QString::fromStdString(path)));
    EXPECT_EQ(ReadFileBytes(path), original);
}

TEST_F(GrxFileTest, ConsecutiveRecordsOfOneNameFormOneLayer) {
    ASSERT_TRUE(Load(Join({Record("A", 2, "1"), Record("A", 0, "2"), Record("B", 0, "3"), Record("A", 7, "4"),
                           Record("C", 0, "5")})));
    EXPECT_EQ(Layers(), (std::vector<std::pair<QString, int>>{{"A", 2}, {"B", 1}, {"A", 1}, {"C", 1}}));
    // Only the first record of a group gives the layer its mode; an
    // unknown mode reads as visible; of two groups in mode 0 one stays.
    EXPECT_EQ(view.Layers().Items(0)->Mode(), lmInvisible);
    EXPECT_EQ(view.Layers().Items(1)->Mode(), lmVisible);
    EXPECT_EQ(view.Layers().Items(2)->Mode(), lmVisible);
    EXPECT_EQ(view.ActiveLayer(), view.Layers().Items(3));
    EXPECT_EQ(activated.back(), view.ActiveLayer());
    EXPECT_FALSE(view.Modified());

    // Two layers of one name written one after the other merge.
    view.Layers().Items(1)->SetName("A");
    const QString path = QString::fromStdString(folder.File("merged.grx"));
    ASSERT_TRUE(view.SaveAnnotations(path));
    view.Layers().Clear();
    ASSERT_TRUE(view.LoadAnnotations(path));
    EXPECT_EQ(Layers(), (std::vector<std::pair<QString, int>>{{"A", 4}, {"C", 1}}));
}

TEST_F(GrxFileTest, DamagedOrUnusualFilesKeepWhatIsComplete) {
    EXPECT_FALSE(view.LoadAnnotations(QString::fromStdString(folder.File("missing.grx"))));
    EXPECT_TRUE(Load({}));
    EXPECT_EQ(view.Layers().Count(), 0);

    // A partial record at the end: the complete ones are shown, and the
    // user hears that the file is damaged.
    Bytes truncated = Join({Record("A", 1, "1"), Record("B", 1, "2")});
    truncated.resize(truncated.size() + 300, 0x41);
    EXPECT_TRUE(Load(truncated));
    EXPECT_EQ(Layers(), (std::vector<std::pair<QString, int>>{{"A", 1}, {"B", 1}}));
    ASSERT_EQ(boxes.Messages().size(), 1u);
    EXPECT_EQ(boxes.Messages()[0].icon, platform::MessageIcon::Error);
    view.Layers().Clear();

    // A first record without a layer name still gets a layer.
    EXPECT_TRUE(Load(Join({Record("", 1, "1"), Record("", 1, "2"), Record("B", 1, "3")})));
    EXPECT_EQ(Layers(), (std::vector<std::pair<QString, int>>{{"", 2}, {"B", 1}}));
    view.Layers().Clear();

    // A layer name filling all 51 bytes has no NUL; it is read whole.
    EXPECT_TRUE(Load(Record(std::string(51, 'n'), 1, "1")));
    EXPECT_EQ(Layers(), (std::vector<std::pair<QString, int>>{{QString(51, 'n'), 1}}));
    EXPECT_EQ(boxes.Messages().size(), 1u);
}

TEST_F(GrxFileTest, LongLayerNamesAreCutWithoutSplittingACharacter) {
    const std::vector<QString> names{QString(51, 'a'), QString(49, 'b') + "漢字", "c\u00e9\U0001F600d"};
    for (const QString& name : names)
        Add(view.Layers().Append(std::make_unique<TRasterLayer>(&view.Layers(), name)), "o", 0, 0);
    const std::string path = folder.File("names.grx");
    ASSERT_TRUE(view.SaveAnnotations(QString::fromStdString(path)));
    const Bytes written = ReadFileBytes(path);
    ASSERT_EQ(written.size(), 3 * 620u);
    EXPECT_EQ(Field(written, 0, 0), std::string(50, 'a'));
    EXPECT_EQ(Field(written, 1, 0), std::string(49, 'b'));
    EXPECT_EQ(Field(written, 2, 0), "c??d");
}

TEST_F(GrxFileTest, TheOldFileSurvivesADeclinedOrFailedWrite) {
    const std::string path = folder.Write("old.grx", Record("old", 1, "o"));
    const QString target = QString::fromStdString(path);
    const Bytes before = ReadFileBytes(path);
    TRasterLayer* layer = view.Layers().NewLayer();
    for (int i = 0; i < 4; ++i) Add(layer, "new", i, i);

    boxes.Answer(platform::MessageResult::No);
    EXPECT_FALSE(view.SaveAnnotations(target));
    ASSERT_EQ(boxes.Messages().size(), 1u);
    EXPECT_EQ(boxes.Messages()[0].text, "データを上書きしますか？");
    EXPECT_EQ(boxes.Messages()[0].icon, platform::MessageIcon::Question);
    EXPECT_EQ(boxes.Messages()[0].buttons, platform::MessageButtons::YesNo);

    EXPECT_FALSE(view.SaveAnnotations(QString::fromStdString(folder.File("no-such-folder/x.grx"))));
    EXPECT_EQ(boxes.Messages().back().icon, platform::MessageIcon::Error);
    bool saved = true;
    {
        const FileSizeLimit limit(1000);  // the write stops part-way
        saved = view.SaveAnnotations(target);
    }
    EXPECT_FALSE(saved);
    EXPECT_EQ(boxes.Messages().back().icon, platform::MessageIcon::Error);
    EXPECT_EQ(ReadFileBytes(path), before);
    EXPECT_TRUE(view.Modified());
    // No half-written file is left beside the old one.
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
        files += entry.is_regular_file();
    EXPECT_EQ(files, 1);

    EXPECT_TRUE(view.SaveAnnotations(target));
    EXPECT_EQ(ReadFileBytes(path).size(), 4 * 620u);
    EXPECT_FALSE(view.Modified());
}

TEST(AnnotationPathTest, ReplacesOnlyTheExtensionOfTheFileName) {
    EXPECT_EQ(TRaster::AnnotationPath("/pictures/cat.jpeg"), "/pictures/cat.grx");
    EXPECT_EQ(TRaster::AnnotationPath("/pictures/cat.tar.bmp"), "/pictures/cat.tar.grx");
    EXPECT_EQ(TRaster::AnnotationPath("/pic.tures/cat"), "/pic.tures/cat.grx");
}

TEST(GrxAtCloseTest, UnchangedAnnotationsAreNotWritten) {
    TempFolder folder;
    ScriptedMessageBoxes boxes;
    TRaster view;
    view.SetPluginPath(KELVANDOR_TEST_PLUGIN_DIR);
    const std::string side =
        folder.Write("image.grx", Join({Record("A", 0, "a", 5, 6), Record("B", 1, "b")}));
    const Bytes before = ReadFileBytes(side);
    ASSERT_TRUE(
        view.LoadFromFile(QString::fromStdString(folder.Write("image.ktest", std::string("KTESTSPI\n")))));
    ASSERT_EQ(view.Layers().Count(), 2);
    EXPECT_EQ(view.ActiveLayer(), view.Layers().Items(0));
    view.CloseImage();
    EXPECT_EQ(view.Layers().Count(), 0);
    EXPECT_EQ(ReadFileBytes(side), before);
    EXPECT_TRUE(boxes.Messages().empty());
}

TEST_F(GrxFileTest, MarkersOfASideFileThatWasNotReadWholeAreNotReplacedWithoutAsking) {
    // Too large: refused with the reason, no layers.
    const std::string huge = folder.Write("huge.grx", Record("kept", 1, "marker"));
    std::filesystem::resize_file(huge, TRaster::kMaxAnnotationFileBytes + 620);
    EXPECT_FALSE(view.LoadAnnotations(QString::fromStdString(huge)));
    EXPECT_EQ(view.Layers().Count(), 0);
    ASSERT_EQ(boxes.Messages().size(), 1u);
    EXPECT_TRUE(boxes.Messages()[0].text.contains(QStringLiteral("大きすぎ")));
    EXPECT_TRUE(boxes.Messages()[0].text.contains(QString::number(TRaster::kMaxAnnotationFileBytes)));

    // A new marker and a save: the question says what would be lost, and
    // No keeps the file.
    Add(view.Layers().NewLayer(), "new", 1, 1);
    boxes.Answer(platform::MessageResult::No);
    EXPECT_FALSE(view.SaveAnnotations(QString::fromStdString(huge)));
    ASSERT_EQ(boxes.Messages().size(), 2u);
    EXPECT_TRUE(boxes.Messages()[1].text.contains(QStringLiteral("huge.grx")));
    EXPECT_TRUE(boxes.Messages()[1].text.contains(QStringLiteral("最後まで読み込めなかった")));
    EXPECT_TRUE(boxes.Messages()[1].text.endsWith(QStringLiteral("データを上書きしますか？")));
    EXPECT_EQ(boxes.Messages()[1].buttons, platform::MessageButtons::YesNo);
    EXPECT_EQ(std::filesystem::file_size(huge), std::uintmax_t(TRaster::kMaxAnnotationFileBytes + 620));
    EXPECT_TRUE(view.Modified());

    // Cut short: what was read is shown, and saving over it asks the same.
    view.Layers().Clear();
    const Bytes cut = Join({Record("A", 1, "1"), Bytes(100, 0x41)});
    const std::string damaged = folder.Write("cut.grx", cut);
    EXPECT_TRUE(view.LoadAnnotations(QString::fromStdString(damaged)));
    EXPECT_EQ(view.Layers().Count(), 1);
    boxes.Answer(platform::MessageResult::Yes);
    EXPECT_TRUE(view.SaveAnnotations(QString::fromStdString(damaged)));
    ASSERT_EQ(boxes.Messages().size(), 4u);
    EXPECT_TRUE(boxes.Messages()[3].text.contains(QStringLiteral("最後まで読み込めなかった")));
    // Written on the user's word; from now on the file is the view's own.
    EXPECT_EQ(ReadFileBytes(damaged).size(), 620u);
    boxes.Answer(platform::MessageResult::No);
    EXPECT_FALSE(view.SaveAnnotations(QString::fromStdString(damaged)));
    EXPECT_EQ(boxes.Messages().back().text, "データを上書きしますか？");
}

TEST(GrxAtCloseTest, ALayerShownOrHiddenIsKeptInTheSideFileAtClose) {
    TempFolder folder;
    ScriptedMessageBoxes boxes;
    TRaster view;
    view.SetPluginPath(KELVANDOR_TEST_PLUGIN_DIR);
    const std::string side =
        folder.Write("image.grx", Join({Record("A", 0, "a", 5, 6), Record("B", 1, "b"), Record("B", 1, "c")}));
    const QString image = QString::fromStdString(folder.Write("image.ktest", std::string("KTESTSPI\n")));
    ASSERT_TRUE(view.LoadFromFile(image));
    EXPECT_FALSE(view.Modified());

    // A mode change and nothing else: the file is rewritten byte for byte
    // but for the layer's mode, in the first record of its group.
    view.Layers().Items(1)->SetMode(lmInvisible);
    boxes.Answer(platform::MessageResult::Yes);
    view.CloseImage();
    ASSERT_EQ(boxes.Messages().size(), 1u);
    EXPECT_EQ(ReadFileBytes(side), Join({Record("A", 0, "a", 5, 6), Record("B", 2, "b"), Record("B", 2, "c")}));

    // Activating another layer demotes the active one: both are kept.
    ASSERT_TRUE(view.LoadFromFile(image));
    view.Layers().Items(1)->SetMode(lmActive);
    boxes.Answer(platform::MessageResult::Yes);
    view.CloseImage();
    EXPECT_EQ(ReadFileBytes(side), Join({Record("A", 1, "a", 5, 6), Record("B", 0, "b"), Record("B", 0, "c")}));
}

TEST(GrxAtCloseTest, AnUnreadSideFileIsNotReplacedAtCloseWithoutAsking) {
    TempFolder folder;
    ScriptedMessageBoxes boxes;
    TRaster view;
    view.SetPluginPath(KELVANDOR_TEST_PLUGIN_DIR);
    const std::string side = folder.Write("image.grx", Record("A", 1, "a"));
    std::filesystem::resize_file(side, TRaster::kMaxAnnotationFileBytes + 1);
    ASSERT_TRUE(
        view.LoadFromFile(QString::fromStdString(folder.Write("image.ktest", std::string("KTESTSPI\n")))));
    ASSERT_EQ(boxes.Messages().size(), 1u);
    TRasterLayer* layer = view.Layers().NewLayer();
    layer->AddObject(std::make_unique<TRasterObject>(layer));
    boxes.Answer(platform::MessageResult::No);
    view.CloseImage();
    ASSERT_EQ(boxes.Messages().size(), 2u);
    EXPECT_TRUE(boxes.Messages()[1].text.contains(QStringLiteral("最後まで読み込めなかった")));
    EXPECT_EQ(std::filesystem::file_size(side), std::uintmax_t(TRaster::kMaxAnnotationFileBytes + 1));
}

// An image whose side file cannot be written as it closes, with the
// user's data folder in a folder of the test's own.
class GrxRecoveryTest : public ::testing::Test {
protected:
    GrxRecoveryTest() : oldDataHome_(qgetenv("XDG_DATA_HOME")), hadDataHome_(qEnvironmentVariableIsSet("XDG_DATA_HOME")) {
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(folder.File("data")));
        view.SetPluginPath(KELVANDOR_TEST_PLUGIN_DIR);
    }
    ~GrxRecoveryTest() override {
        if (hadDataHome_)
            qputenv("XDG_DATA_HOME", oldDataHome_);
        else
            qunsetenv("XDG_DATA_HOME");
    }

    // Opens image.ktest in subfolder and places two markers on two layers.
    void OpenAndMark(const std::string& subfolder) {
        std::filesystem::create_directories(folder.File(subfolder));
        ASSERT_TRUE(view.LoadFromFile(
            QString::fromStdString(folder.Write(subfolder + "/image.ktest", std::string("KTESTSPI\n")))));
        for (const char* name : {"一", "two"}) {
            TRasterLayer* layer = view.Layers().NewLayer();
            auto object = std::make_unique<TRasterObject>(layer);
            object->SetName(QString::fromUtf8(name));
            object->SetX(7);
            layer->AddObject(std::move(object));
        }
        view.SetModified(true);
        marked = Markers(view);
    }

    // Each layer's name with the names and columns of its markers.
    static std::vector<QString> Markers(const TRaster& raster) {
        std::vector<QString> markers;
        for (int l = 0; l < raster.Layers().Count(); ++l) {
            const TRasterLayer& layer = *raster.Layers().Items(l);
            for (int o = 0; o < layer.Count(); ++o)
                markers.push_back(layer.Name() + "/" + layer.Objects(o)->Name() + "@" +
                                  QString::number(layer.Objects(o)->X()));
        }
        return markers;
    }

    // The files in the recovery folder.
    std::vector<std::string> Recovered() const {
        std::vector<std::string> files;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(folder.File("data/kelvandor/recovered"), error))
            files.push_back(entry.path().string());
        return files;
    }

    // True when the newest recovery file, reported in the last message,
    // holds the markers that were placed.
    bool MarkersWereRecovered() const {
        if (boxes.Messages().empty()) return false;
        const ScriptedMessageBoxes::Shown& last = boxes.Messages().back();
        const QString file = last.text.section('\n', -1);
        TRaster reader;
        return last.icon == platform::MessageIcon::Warning && last.text.contains("image.grx") &&
               file.startsWith(QString::fromStdString(folder.File("data/kelvandor/recovered/image-"))) &&
               file.endsWith(".grx") && reader.LoadAnnotations(file) && Markers(reader) == marked;
    }

    TempFolder folder;
    const QByteArray oldDataHome_;
    const bool hadDataHome_;
    ScriptedMessageBoxes boxes;  // answers Yes to the question before replacing
    TRaster view;
    std::vector<QString> marked;
};

TEST_F(GrxRecoveryTest, MarkersOfAnImageInAReadOnlyFolderAreKeptInARecoveryFile) {
    OpenAndMark("photos");
    ASSERT_EQ(chmod(folder.Path().c_str(), 0755), 0);
    ASSERT_EQ(chmod(folder.File("photos").c_str(), 0555), 0);
    std::filesystem::create_directories(folder.File("data"));
    ASSERT_EQ(chmod(folder.File("data").c_str(), 0777), 0);
    EXPECT_TRUE(RunUnprivileged([this] {
        view.CloseImage();
        return boxes.Messages().size() == 1 && view.Layers().Count() == 0 && Recovered().size() == 1 &&
               !std::filesystem::exists(folder.File("photos/image.grx")) && MarkersWereRecovered();
    }));
}

TEST_F(GrxRecoveryTest, ARecoveryNeverReplacesAnEarlierOneAndAFailedOneIsReported) {
    // The side file's path is taken by a folder: the writer cannot replace it.
    std::filesystem::create_directories(folder.File("photos/image.grx"));
    for (std::size_t close = 1; close <= 2; ++close) {
        OpenAndMark("photos");
        view.CloseImage();
        EXPECT_TRUE(MarkersWereRecovered()) << close;
        EXPECT_EQ(Recovered().size(), close);
    }
    EXPECT_EQ(ReadFileBytes(Recovered()[0]), ReadFileBytes(Recovered()[1]));

    // No recovery folder can be made either: the user hears that the
    // markers are lost, not nothing.
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(folder.Write("not-a-folder", std::string("x"))));
    OpenAndMark("photos");
    view.CloseImage();
    EXPECT_EQ(boxes.Messages().back().icon, platform::MessageIcon::Error);
    EXPECT_TRUE(boxes.Messages().back().text.contains(QStringLiteral("失われました")));
}

}  // namespace
