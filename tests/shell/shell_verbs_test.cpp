#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <QApplication>
#include <QClipboard>
#include <QMimeData>

#include "platform/desktop_services.h"
#include "platform/shell_data_object.h"
#include "platform/trash.h"
#include "shell/shell_id_list.h"
#include "support/event_wait.h"
#include "support/scripted_message_boxes.h"
#include "id_lists.h"
#include "support/temp_folder.h"

namespace {

// The named items of folder as a list the verbs run on.
void Fill(TSHIDList2& list, const std::string& folder, std::initializer_list<std::string> names) {
    list.Clear();
    list.SetParent(PathList(folder));
    for (const std::string& name : names) {
        IDList item = PathList(folder + "/" + name);
        list.Add(LastItemIDList(item));
        FreeIDList(item);
    }
}

// A folder as the paste target: its parent and its own last item.
void FillFolder(TSHIDList2& list, const std::string& folder) {
    IDList absolute = PathList(folder);
    list.Clear();
    list.SetParent(ParentIDList(absolute));
    list.Add(LastItemIDList(absolute));
    FreeIDList(absolute);
}

// Each test works in its own folders with its own trash.
class Verbs : public ::testing::Test {
protected:
    void SetUp() override {
        oldDataHome_ = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(temp_.File("data")));
        ASSERT_EQ(mkdir(temp_.File("data").c_str(), 0755), 0);
        ASSERT_EQ(mkdir(Source().c_str(), 0755), 0);
        ASSERT_EQ(mkdir(Target().c_str(), 0755), 0);
    }
    void TearDown() override {
        qputenv("XDG_DATA_HOME", oldDataHome_);
        QApplication::clipboard()->clear();
    }

    std::string Source() const { return temp_.File("source"); }
    std::string Target() const { return temp_.File("target"); }

    TempFolder temp_;
    ScriptedMessageBoxes boxes_;
    QByteArray oldDataHome_;
};

TEST_F(Verbs, UnknownKindsAndEmptyListsDoNothing) {
    TSHIDList2 list;
    EXPECT_FALSE(list.RunVerb(nullptr, vkCopy));
    temp_.Write("source/a", "x");
    Fill(list, Source(), {"a"});
    EXPECT_FALSE(list.RunVerb(nullptr, 7));
    EXPECT_FALSE(list.RunVerb(nullptr, -1));
}

TEST_F(Verbs, DeleteNeedsCanDelete) {
    TSHIDList2 list;
    IDList drives = nullptr;
    ASSERT_TRUE(GetSpecialFolderIDList(sfDrives, drives));
    IDList desktop = nullptr;
    GetSpecialFolderIDList(sfDesktop, desktop);
    list.SetParent(desktop);
    list.Add(drives);
    EXPECT_FALSE(list.RunVerb(nullptr, vkDelete));
    EXPECT_FALSE(list.RunVerb(nullptr, vkCut));
    EXPECT_TRUE(boxes_.Messages().empty());
}

TEST_F(Verbs, PasteIsRefusedWhenTheClipboardHoldsOnlyText) {
    temp_.Write("source/a.txt", "x");
    QApplication::clipboard()->setText(QString::fromStdString(Source() + "/a.txt"));
    TSHIDList2 target;
    FillFolder(target, Target());
    EXPECT_FALSE(target.RunVerb(nullptr, vkPaste));
    EXPECT_FALSE(Exists(Target() + "/a.txt"));
    EXPECT_TRUE(boxes_.Messages().empty());
}

TEST_F(Verbs, CopyThenPasteCopiesAndKeepsTheSources) {
    temp_.Write("source/a.txt", "alpha");
    temp_.Write("source/b.txt", "beta");
    TSHIDList2 list;
    Fill(list, Source(), {"a.txt", "b.txt"});
    ASSERT_TRUE(list.RunVerb(nullptr, vkCopy));
    const QMimeData* data = QApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(OffersShellIDListArray(data));
    EXPECT_TRUE(data->hasFormat(ShellClipboardFormats().HDrop.MimeType));
    EXPECT_TRUE(data->hasFormat(GnomeCopiedFilesMimeType()));
    EXPECT_TRUE(ClipboardHasShellData());

    TSHIDList2 target;
    FillFolder(target, Target());
    ASSERT_TRUE(target.RunVerb(nullptr, vkPaste));
    EXPECT_EQ(ReadFileBytes(Target() + "/a.txt").size(), 5u);
    EXPECT_EQ(ReadFileBytes(Target() + "/b.txt").size(), 4u);
    EXPECT_TRUE(Exists(Source() + "/a.txt"));
    EXPECT_TRUE(Exists(Source() + "/b.txt"));
}

TEST_F(Verbs, CutThenPasteMoves) {
    temp_.Write("source/moving.txt", "m");
    TSHIDList2 list;
    Fill(list, Source(), {"moving.txt"});
    ASSERT_TRUE(list.RunVerb(nullptr, vkCut));
    EXPECT_EQ(QApplication::clipboard()->mimeData()->data(KdeCutSelectionMimeType()), QByteArray("1"));
    TSHIDList2 target;
    FillFolder(target, Target());
    ASSERT_TRUE(target.RunVerb(nullptr, vkPaste));
    EXPECT_FALSE(Exists(Source() + "/moving.txt"));
    EXPECT_TRUE(Exists(Target() + "/moving.txt"));
}

TEST_F(Verbs, PasteTakesFilesCopiedByAFileManager) {
    temp_.Write("source/other.txt", "o");
    auto data = std::make_unique<QMimeData>();
    data->setData(GnomeCopiedFilesMimeType(), QByteArray("copy\nfile://") + QByteArray::fromStdString(Source()) + "/other.txt");
    QApplication::clipboard()->setMimeData(data.release());
    TSHIDList2 target;
    FillFolder(target, Target());
    ASSERT_TRUE(target.RunVerb(nullptr, vkPaste));
    EXPECT_TRUE(Exists(Target() + "/other.txt"));
}

// The item lists of source's items as the item-list array alone.
std::unique_ptr<QMimeData> ItemListArrayOf(const std::string& folder, std::initializer_list<std::string> names) {
    TSHIDList2 list;
    Fill(list, folder, names);
    auto data = std::make_unique<QMimeData>();
    data->setData(ShellClipboardFormats().ShellIDListArray.MimeType,
                  platform::EncodeIDListArray(list.Parent(), std::span(list.Items(), list.Count())));
    return data;
}

TEST_F(Verbs, PasteTakesTheItemListArrayFirstAndDroppedFilesFailingIt) {
    temp_.Write("source/listed.txt", "l");
    temp_.Write("source/dropped.txt", "d");
    TSHIDList2 target;
    FillFolder(target, Target());

    QApplication::clipboard()->setMimeData(ItemListArrayOf(Source(), {"listed.txt"}).release());
    EXPECT_TRUE(ClipboardOffersFiles());
    ASSERT_TRUE(target.RunVerb(nullptr, vkPaste));
    EXPECT_TRUE(Exists(Target() + "/listed.txt"));
    EXPECT_TRUE(Exists(Source() + "/listed.txt"));

    // Both forms: the array wins.
    auto both = ItemListArrayOf(Source(), {"dropped.txt"});
    both->setData(ShellClipboardFormats().HDrop.MimeType,
                  QByteArray("file://") + QByteArray::fromStdString(Source()) + "/listed.txt\r\n");
    std::filesystem::remove(Target() + "/listed.txt");
    QApplication::clipboard()->setMimeData(both.release());
    ASSERT_TRUE(target.RunVerb(nullptr, vkPaste));
    EXPECT_TRUE(Exists(Target() + "/dropped.txt"));
    EXPECT_FALSE(Exists(Target() + "/listed.txt"));

    // An array that names no file falls back to the dropped files.
    TSHIDList2 places;
    places.SetParent(Special(sfDesktop));
    places.Add(Special(sfDrives));
    auto virtualOnly = std::make_unique<QMimeData>();
    virtualOnly->setData(ShellClipboardFormats().ShellIDListArray.MimeType,
                         platform::EncodeIDListArray(places.Parent(), std::span(places.Items(), places.Count())));
    virtualOnly->setData(ShellClipboardFormats().HDrop.MimeType,
                         QByteArray("file://") + QByteArray::fromStdString(Source()) + "/listed.txt\r\n");
    QApplication::clipboard()->setMimeData(virtualOnly.release());
    ASSERT_TRUE(target.RunVerb(nullptr, vkPaste));
    EXPECT_TRUE(Exists(Target() + "/listed.txt"));

    // Neither form names a file: refused up front, as the enabled state says.
    auto nothing = std::make_unique<QMimeData>();
    nothing->setData(ShellClipboardFormats().ShellIDListArray.MimeType, QByteArray("damaged"));
    QApplication::clipboard()->setMimeData(nothing.release());
    EXPECT_FALSE(ClipboardOffersFiles());
    EXPECT_FALSE(target.RunVerb(nullptr, vkPaste));
    EXPECT_TRUE(boxes_.Messages().empty());
}

TEST_F(Verbs, CreateShortcutMakesALinkBesideTheItem) {
    temp_.Write("source/doc.txt", "d");
    TSHIDList2 list;
    Fill(list, Source(), {"doc.txt"});
    ASSERT_TRUE(list.RunVerb(nullptr, vkCreateShortcut));
    const std::string link = Source() + "/" + platform::ShortcutName(Source() + "/doc.txt");
    char target[4096] = {};
    ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), Source() + "/doc.txt");
}

TEST_F(Verbs, DeleteMovesToTheTrashAfterConfirmation) {
    temp_.Write("source/keep.txt", "k");
    temp_.Write("source/drop.txt", "d");
    TSHIDList2 list;
    Fill(list, Source(), {"keep.txt"});
    boxes_.Answer(platform::MessageResult::No);
    EXPECT_FALSE(list.RunVerb(nullptr, vkDelete));
    EXPECT_TRUE(Exists(Source() + "/keep.txt"));

    Fill(list, Source(), {"drop.txt"});
    boxes_.Answer(platform::MessageResult::Yes);
    ASSERT_TRUE(list.RunVerb(nullptr, vkDelete));
    EXPECT_FALSE(Exists(Source() + "/drop.txt"));
    EXPECT_EQ(boxes_.Messages().size(), 2u);

    // The trash lists it under its original name, and deleting it there
    // erases it for good.
    IDList trash = nullptr;
    ASSERT_TRUE(GetSpecialFolderIDList(sfBitBucket, trash));
    const ShellFolderPtr trashFolder = BindToFolder(trash);
    ASSERT_TRUE(trashFolder);
    auto enumerator = trashFolder->EnumObjects(SHCONTF_FOLDERS | SHCONTF_NONFOLDERS);
    TSHIDList2 trashed;
    trashed.SetParent(trash);
    while (platform::UniqueIDList item = enumerator->Next()) {
        if (trashFolder->GetDisplayNameOf(item.get(), SHGDN_INFOLDER) == QStringLiteral("drop.txt"))
            trashed.Add(item.release());
    }
    ASSERT_EQ(trashed.Count(), 1);
    const std::vector<platform::TrashItem> before = platform::ListTrash();
    boxes_.Answer(platform::MessageResult::Yes);
    ASSERT_TRUE(trashed.RunVerb(nullptr, vkDelete));
    EXPECT_EQ(platform::ListTrash().size(), before.size() - 1);
}

TEST_F(Verbs, OpenHandsEachItemToTheDesktopLauncher) {
    // A launcher of our own on PATH records what it was asked to open.
    ASSERT_EQ(mkdir(temp_.File("bin").c_str(), 0755), 0);
    const std::string received = temp_.File("received");
    const std::string launcher = temp_.Write(
        "bin/xdg-open", "#!/bin/sh\nprintf '%s' \"$1\" > '" + received + ".part' && /bin/mv '" + received +
                            ".part' '" + received + "'\n");
    ASSERT_EQ(chmod(launcher.c_str(), 0755), 0);
    const std::string oldPath = getenv("PATH") ? getenv("PATH") : "";
    setenv("PATH", temp_.File("bin").c_str(), 1);

    temp_.Write("source/photo.jpg", "j");
    TSHIDList2 list;
    Fill(list, Source(), {"photo.jpg"});
    const bool opened = list.RunVerb(nullptr, vkOpen);
    setenv("PATH", oldPath.c_str(), 1);
    ASSERT_TRUE(opened);
    ASSERT_TRUE(ProcessEventsUntil([&] { return std::filesystem::exists(received); }));
    const auto bytes = ReadFileBytes(received);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), Source() + "/photo.jpg");

    IDList drives = nullptr;
    ASSERT_TRUE(GetSpecialFolderIDList(sfDrives, drives));
    EXPECT_FALSE(ShellExecuteIDList(nullptr, drives));
    FreeIDList(drives);
}

TEST_F(Verbs, PropertiesOpensAWindowForTheItems) {
    temp_.Write("source/p.txt", "p");
    TSHIDList2 list;
    Fill(list, Source(), {"p.txt"});
    ASSERT_TRUE(list.RunVerb(nullptr, vkProperties));
    platform::PropertiesDialog* shown = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<platform::PropertiesDialog*>(widget)) shown = dialog;
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->Value(QStringLiteral("名前")), QStringLiteral("p.txt"));
    delete shown;
}

}  // namespace
