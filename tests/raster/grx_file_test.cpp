#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "raster/raster.h"
#include "raster/raster_layers.h"
#include "support/scripted_message_boxes.h"
#include "support/temp_folder.h"

namespace {

using Bytes = std::vector<unsigned char>;

void Put(Bytes& record, std::size_t offset, const std::string& text) {
    std::copy(text.begin(), text.end(), record.begin() + static_cast<std::ptrdiff_t>(offset));
}

void PutInt(Bytes& record, std::size_t offset, std::int32_t value) {
    for (int i = 0; i < 4; ++i) record[offset + i] = static_cast<unsigned char>(static_cast<std::uint32_t>(value) >> (8 * i));
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
    // The view writes changed annotations when it goes; these tests write
    // explicitly.
    ~GrxFileTest() override { view.SetModified(false); }

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

    std::vector<QString> LayerNames() const {
        std::vector<QString> names;
        for (int i = 0; i < view.Layers().Count(); ++i) names.push_back(view.Layers().Items(i)->Name());
        return names;
    }

    std::vector<int> ObjectCounts() const {
        std::vector<int> counts;
        for (int i = 0; i < view.Layers().Count(); ++i) counts.push_back(view.Layers().Items(i)->Count());
        return counts;
    }

    TempFolder folder;
    ScriptedMessageBoxes boxes;
    TRaster view;
    std::vector<TRasterLayer*> activated;
};

TEST_F(GrxFileTest, LayersAreWrittenInOrderAndReadBackByteForByte) {
    TRasterLayer* lower = view.Layers().NewLayer();
    TRasterLayer* upper = view.Layers().NewLayer();
    ASSERT_TRUE(upper->Rename("上層"));
    TRasterObject* first = Add(lower, "一", 1, 2);
    Add(lower, "two", -3, 4);
    Add(upper, "three", 5, 6);
    Add(upper, "four", 7, 8);
    upper->SetMode(lmActive);
    lower->SetMode(lmInvisible);
    std::copy_n("main", 4, first->Record().begin() + 216);
    std::copy_n("five", 4, first->Record().begin() + 519);

    const std::string path = folder.File("out.grx");
    ASSERT_TRUE(view.SaveAnnotations(QString::fromStdString(path)));
    EXPECT_FALSE(view.Modified());
    EXPECT_TRUE(boxes.Messages().empty());
    const Bytes written = ReadFileBytes(path);
    ASSERT_EQ(written.size(), 2480u);
    const std::vector<std::string> layerOfRecord{"\x90\x56\x8B\x4B\x83\x8C\x83\x43\x83\x84", "\x90\x56\x8B\x4B\x83\x8C\x83\x43\x83\x84",
                                                 "\x8F\xE3\x91\x77", "\x8F\xE3\x91\x77"};
    const std::vector<std::string> objectOfRecord{"\x88\xEA", "two", "three", "four"};
    for (std::size_t r = 0; r < 4; ++r) {
        EXPECT_EQ(Field(written, r, 0), layerOfRecord[r]) << r;
        EXPECT_EQ(Field(written, r, 51), objectOfRecord[r]) << r;
        EXPECT_EQ(written[r * 620 + 114], r < 2 ? 2 : 0) << r;
    }
    EXPECT_EQ(Bytes(written.begin() + 102, written.begin() + 110), (Bytes{1, 0, 0, 0, 2, 0, 0, 0}));
    EXPECT_EQ(Bytes(written.begin() + 620 + 102, written.begin() + 620 + 106), (Bytes{0xFD, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(Field(written, 0, 216), "main");
    EXPECT_EQ(Field(written, 0, 519), "five");

    TRaster other;
    ASSERT_TRUE(other.LoadAnnotations(QString::fromStdString(path)));
    ASSERT_EQ(other.Layers().Count(), 2);
    EXPECT_EQ(other.Layers().Items(0)->Name(), "新規レイヤ");
    EXPECT_EQ(other.Layers().Items(0)->Mode(), lmInvisible);
    EXPECT_EQ(other.ActiveLayer(), other.Layers().Items(1));
    EXPECT_EQ(other.Layers().Items(0)->Objects(0)->Name(), "一");
    EXPECT_EQ(other.Layers().Items(0)->Objects(0)->MainText(), "main");
    EXPECT_EQ(other.Layers().Items(1)->Objects(1)->Y(), 8);
    EXPECT_FALSE(other.Modified());
    const std::string again = folder.File("again.grx");
    ASSERT_TRUE(other.SaveAnnotations(QString::fromStdString(again)));
    EXPECT_EQ(ReadFileBytes(again), written);
}

TEST_F(GrxFileTest, UntouchedBytesSurviveARoundTrip) {
    // Leftovers after the NULs (from renames in the Windows program) and
    // every text field stay exactly as they were.
    Bytes record = Record("L", 1, "obj", 10, 20);
    Put(record, 2, "old layer name");
    Put(record, 55, "rest");
    for (std::size_t offset : {115u, 216u, 317u, 418u, 519u}) Put(record, offset, "\x83\x65\x83\x4C\x83\x58\x83\x67");
    PutInt(record, 110, 5);
    const Bytes original = Join({record, record});
    ASSERT_TRUE(Load(original));
    const std::string path = folder.File("out.grx");
    ASSERT_TRUE(view.SaveAnnotations(QString::fromStdString(path)));
    EXPECT_EQ(ReadFileBytes(path), original);
}

TEST_F(GrxFileTest, ConsecutiveRecordsOfOneNameFormOneLayer) {
    ASSERT_TRUE(Load(Join({Record("A", 2, "1"), Record("A", 0, "2"), Record("B", 1, "3"), Record("A", 1, "4")})));
    EXPECT_EQ(LayerNames(), (std::vector<QString>{"A", "B", "A"}));
    EXPECT_EQ(ObjectCounts(), (std::vector<int>{2, 1, 1}));
    // Only the first record of a group gives the layer its mode.
    EXPECT_EQ(view.Layers().Items(0)->Mode(), lmInvisible);
    EXPECT_EQ(view.ActiveLayer(), nullptr);
    EXPECT_TRUE(activated.empty());

    // Two layers of one name written one after the other merge.
    TRaster writer;
    TRasterLayer* first = writer.Layers().NewLayer();
    TRasterLayer* second = writer.Layers().NewLayer();
    second->SetName(first->Name());
    Add(first, "x", 0, 0);
    Add(second, "y", 0, 0);
    const QString path = QString::fromStdString(folder.File("merged.grx"));
    ASSERT_TRUE(writer.SaveAnnotations(path));
    writer.SetModified(false);
    TRaster reader;
    ASSERT_TRUE(reader.LoadAnnotations(path));
    ASSERT_EQ(reader.Layers().Count(), 1);
    EXPECT_EQ(reader.Layers().Items(0)->Count(), 2);
}

TEST_F(GrxFileTest, ActiveLayerComesFromTheFileAndStaysUnique) {
    ASSERT_TRUE(Load(Join({Record("X", 0, "1"), Record("Y", 0, "2"), Record("Z", 7, "3")})));
    int active = 0;
    for (int i = 0; i < view.Layers().Count(); ++i) active += view.Layers().Items(i)->Mode() == lmActive;
    EXPECT_EQ(active, 1);
    ASSERT_NE(view.ActiveLayer(), nullptr);
    EXPECT_EQ(view.ActiveLayer()->Mode(), lmActive);
    EXPECT_EQ(activated.back(), view.ActiveLayer());
    // An unknown mode byte reads as visible.
    EXPECT_EQ(view.Layers().Items(2)->Mode(), lmVisible);
    EXPECT_FALSE(view.Modified());
}

TEST_F(GrxFileTest, DamagedOrUnusualFilesKeepWhatIsComplete) {
    EXPECT_FALSE(view.LoadAnnotations(QString::fromStdString(folder.File("missing.grx"))));
    EXPECT_EQ(view.Layers().Count(), 0);

    EXPECT_TRUE(Load({}));
    EXPECT_EQ(view.Layers().Count(), 0);

    Bytes truncated = Join({Record("A", 1, "1"), Record("B", 1, "2")});
    truncated.resize(truncated.size() + 300, 0x41);
    EXPECT_TRUE(Load(truncated));
    EXPECT_EQ(ObjectCounts(), (std::vector<int>{1, 1}));
    view.Layers().Clear();

    // A first record without a layer name still gets a layer.
    EXPECT_TRUE(Load(Join({Record("", 1, "1"), Record("", 1, "2"), Record("B", 1, "3")})));
    EXPECT_EQ(LayerNames(), (std::vector<QString>{"", "B"}));
    EXPECT_EQ(ObjectCounts(), (std::vector<int>{2, 1}));
    view.Layers().Clear();

    // A layer name filling all 51 bytes has no NUL; it is read whole.
    EXPECT_TRUE(Load(Record(std::string(51, 'n'), 1, "1")));
    EXPECT_EQ(LayerNames(), (std::vector<QString>{QString(51, 'n')}));
    EXPECT_EQ(view.Layers().Items(0)->Objects(0)->Name(), "1");
    EXPECT_TRUE(boxes.Messages().empty());
}

TEST_F(GrxFileTest, LongLayerNamesAreCutWithoutSplittingACharacter) {
    const std::vector<QString> names{QString(51, 'a'), QString(49, 'b') + "漢字", "c\u00e9\U0001F600d"};
    for (const QString& name : names) Add(view.Layers().Append(std::make_unique<TRasterLayer>(&view.Layers(), name)), "o", 0, 0);
    const std::string path = folder.File("names.grx");
    ASSERT_TRUE(view.SaveAnnotations(QString::fromStdString(path)));
    const Bytes written = ReadFileBytes(path);
    ASSERT_EQ(written.size(), 3 * 620u);
    EXPECT_EQ(Field(written, 0, 0), std::string(50, 'a'));
    EXPECT_EQ(Field(written, 1, 0), std::string(49, 'b'));
    EXPECT_EQ(Field(written, 2, 0), "c??d");
}

TEST_F(GrxFileTest, DecliningTheOverwriteQuestionKeepsTheOldFile) {
    const std::string path = folder.Write("old.grx", Join({Record("old", 1, "o")}));
    const Bytes before = ReadFileBytes(path);
    Add(view.Layers().NewLayer(), "new", 1, 1);

    boxes.Answer(platform::MessageResult::No);
    EXPECT_FALSE(view.SaveAnnotations(QString::fromStdString(path)));
    EXPECT_EQ(ReadFileBytes(path), before);
    EXPECT_TRUE(view.Modified());
    ASSERT_EQ(boxes.Messages().size(), 1u);
    EXPECT_EQ(boxes.Messages()[0].text, "データを上書きしますか？");
    EXPECT_EQ(boxes.Messages()[0].icon, platform::MessageIcon::Question);
    EXPECT_EQ(boxes.Messages()[0].buttons, platform::MessageButtons::YesNo);

    boxes.Answer(platform::MessageResult::Yes);
    EXPECT_TRUE(view.SaveAnnotations(QString::fromStdString(path)));
    EXPECT_EQ(Field(ReadFileBytes(path), 0, 51), "new");
    EXPECT_FALSE(view.Modified());
}

// Limits the size of files this process may write, for one scope; writes
// beyond it fail (also for root) instead of raising a signal.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{bytes, saved_.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    sighandler_t previousHandler_;
};

TEST_F(GrxFileTest, AFailedWriteIsReportedAndLeavesTheOldFile) {
    TRasterLayer* layer = view.Layers().NewLayer();
    for (int i = 0; i < 4; ++i) Add(layer, "o", i, i);

    EXPECT_FALSE(view.SaveAnnotations(QString::fromStdString(folder.File("no-such-folder/x.grx"))));
    EXPECT_TRUE(view.Modified());
    ASSERT_EQ(boxes.Messages().size(), 1u);
    EXPECT_EQ(boxes.Messages()[0].icon, platform::MessageIcon::Error);

    const std::string path = folder.Write("old.grx", Join({Record("old", 1, "o")}));
    const Bytes before = ReadFileBytes(path);
    bool saved = true;
    {
        const FileSizeLimit limit(1000);
        saved = view.SaveAnnotations(QString::fromStdString(path));
    }
    EXPECT_FALSE(saved);
    EXPECT_EQ(ReadFileBytes(path), before);
    EXPECT_TRUE(view.Modified());
    EXPECT_EQ(boxes.Messages().back().icon, platform::MessageIcon::Error);
    // No half-written file is left beside the old one.
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) files += entry.is_regular_file();
    EXPECT_EQ(files, 1);
}

TEST(AnnotationPathTest, ReplacesOnlyTheExtensionOfTheFileName) {
    EXPECT_EQ(TRaster::AnnotationPath("/pictures/cat.jpeg"), "/pictures/cat.grx");
    EXPECT_EQ(TRaster::AnnotationPath("/pictures/cat.tar.bmp"), "/pictures/cat.tar.grx");
    EXPECT_EQ(TRaster::AnnotationPath("/pic.tures/cat"), "/pic.tures/cat.grx");
}

class GrxAtCloseTest : public ::testing::Test {
protected:
    GrxAtCloseTest() {
        view.SetPluginPath(KELVANDOR_TEST_PLUGIN_DIR);
        image = QString::fromStdString(folder.Write("image.ktest", std::string("KTESTSPI width=40 height=30\n")));
        side = folder.File("image.grx");
    }

    TempFolder folder;
    ScriptedMessageBoxes boxes;
    TRaster view;
    QString image;
    std::string side;
};

TEST_F(GrxAtCloseTest, UnchangedAnnotationsAreNotWritten) {
    folder.Write("image.grx", Join({Record("A", 0, "a", 5, 6), Record("B", 1, "b")}));
    const Bytes before = ReadFileBytes(side);
    ASSERT_TRUE(view.LoadFromFile(image));
    ASSERT_EQ(view.Layers().Count(), 2);
    EXPECT_EQ(view.ActiveLayer(), view.Layers().Items(0));
    view.CloseImage();
    EXPECT_EQ(view.Layers().Count(), 0);
    EXPECT_EQ(ReadFileBytes(side), before);
    EXPECT_TRUE(boxes.Messages().empty());
}

TEST_F(GrxAtCloseTest, NewAnnotationsAreWrittenAtCloseWithoutAsking) {
    ASSERT_TRUE(view.LoadFromFile(image));
    TRasterLayer* layer = view.Layers().NewLayer();
    auto object = std::make_unique<TRasterObject>(layer);
    object->SetName("pin");
    layer->AddObject(std::move(object));
    view.CloseImage();
    EXPECT_TRUE(boxes.Messages().empty());
    const Bytes written = ReadFileBytes(side);
    ASSERT_EQ(written.size(), 620u);
    EXPECT_EQ(Field(written, 0, 51), "pin");
    EXPECT_FALSE(view.Modified());
}

}  // namespace
