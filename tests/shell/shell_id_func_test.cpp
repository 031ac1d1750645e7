#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QMimeData>

#include "shell/shell_id_func.h"
#include "id_lists.h"
#include "support/temp_folder.h"

namespace {

// Holds an owned list for one test.
struct Owned {
    IDList list = nullptr;
    Owned() = default;
    explicit Owned(IDList owned) : list(owned) {}
    ~Owned() { FreeIDList(list); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    operator ConstIDList() const { return list; }
};

TEST(IDListArithmetic, DesktopListIsTheTerminatorAlone) {
    Owned desktop(Special(sfDesktop));
    ASSERT_NE(desktop.list, nullptr);
    EXPECT_EQ(IDListSize(desktop), 2u);
    EXPECT_EQ(IDListItemSize(desktop), 0);
    EXPECT_EQ(IDListLevel(desktop), 0);
    EXPECT_EQ(IDListNext(desktop), nullptr);
    EXPECT_EQ(CopyFirstItem(desktop), nullptr);
    EXPECT_EQ(ParentIDList(desktop), nullptr);
    EXPECT_EQ(LastItemIDList(desktop), nullptr);
    EXPECT_EQ(IDListLevel(nullptr), -1);
    EXPECT_EQ(IDListSize(nullptr), 0u);
    EXPECT_EQ(IDListItemSize(nullptr), 0);
}

TEST(IDListArithmetic, SplitsAndJoinsItems) {
    TempFolder temp;
    temp.Write("a.txt", "x");
    Owned file(PathList(temp.File("a.txt")));
    ASSERT_NE(file.list, nullptr);
    const int level = IDListLevel(file);
    ASSERT_GE(level, 3);

    Owned parent(ParentIDList(file));
    Owned last(LastItemIDList(file));
    EXPECT_EQ(IDListLevel(parent), level - 1);
    EXPECT_EQ(IDListLevel(last), 1);
    EXPECT_EQ(IDListNext(last), nullptr);
    EXPECT_EQ(IDListItemSize(last), IDListSize(last));

    Owned joined(ConcatIDList(parent, last));
    EXPECT_EQ(IDListSize(joined), IDListSize(file));
    EXPECT_EQ(IDListSize(joined), IDListSize(parent) + IDListSize(last) - 2);
    EXPECT_EQ(CompareIDList(GetDesktopFolder(), joined, file), 0);

    Owned first(CopyFirstItem(file));
    EXPECT_EQ(IDListLevel(first), 1);
    EXPECT_NE(IDListNext(file), nullptr);

    // A one-item list has no parent; its parent is the desktop by rule.
    EXPECT_EQ(ParentIDList(first), nullptr);

    Owned desktop(Special(sfDesktop));
    Owned withDesktop(ConcatIDList(desktop, file));
    EXPECT_EQ(IDListSize(withDesktop), IDListSize(file));
    EXPECT_EQ(ConcatIDList(nullptr, file), nullptr);
    EXPECT_EQ(ConcatIDList(file, nullptr), nullptr);
}

TEST(IDListArithmetic, ConsumingConcatBuildsListsItemByItem) {
    TempFolder temp;
    temp.Write("b.txt", "x");
    Owned file(PathList(temp.File("b.txt")));
    IDList built = nullptr;
    for (ConstIDList item = file; item; item = IDListNext(item)) built = ConcatIDListFree(built, CopyFirstItem(item));
    Owned result(built);
    EXPECT_EQ(CompareIDList(GetDesktopFolder(), result, file), 0);

    IDList alone = CopyIDList(file);
    Owned same(ConcatIDListFree(alone, nullptr));
    EXPECT_EQ(same.list, alone);

    IDList freed = AllocIDList(8);
    ASSERT_NE(freed, nullptr);
    FreeIDList(freed);
    EXPECT_EQ(freed, nullptr);
}

TEST(ItemKinds, EachLevelGetsItsKind) {
    Owned desktop(Special(sfDesktop));
    Owned drives(Special(sfDrives));
    Owned network(Special(sfNetwork));
    Owned trash(Special(sfBitBucket));
    Owned internet(Special(sfInternet));
    EXPECT_EQ(GetItemType(desktop), itDeskTop);
    EXPECT_EQ(GetItemType(drives), itMyComputer);
    EXPECT_EQ(GetItemType(network), itNetWork);
    EXPECT_EQ(GetItemType(trash), itBitBucket);
    EXPECT_EQ(GetItemType(internet), itInterNet);
    EXPECT_EQ(GetItemType(nullptr), itUnknown);

    Owned root(PathList("/"));
    ASSERT_NE(root.list, nullptr);
    EXPECT_EQ(IDListLevel(root), 2);
    EXPECT_EQ(GetItemType(root), itRootDrive);

    TempFolder temp;
    temp.Write("photo.png", "x");
    ASSERT_EQ(mkdir(temp.File("sub").c_str(), 0755), 0);
    Owned folder(PathList(temp.File("sub")));
    Owned file(PathList(temp.File("photo.png")));
    EXPECT_EQ(GetItemType(folder), itFolder);
    EXPECT_EQ(GetItemType(file), itFile);
}

TEST(ItemKinds, SpecialFoldersWithoutCounterpartAnswerFalse) {
    IDList list = reinterpret_cast<IDList>(1);
    EXPECT_FALSE(GetSpecialFolderIDList(sfPrinters, list));
    EXPECT_EQ(list, nullptr);
    EXPECT_FALSE(GetSpecialFolderIDList(sfControls, list));
    QString path = QStringLiteral("unchanged");
    EXPECT_FALSE(GetSpecialFolderPath(sfDrives, path));
    EXPECT_EQ(path, QStringLiteral("unchanged"));
    EXPECT_TRUE(GetSpecialFolderPath(sfDesktopDirectory, path));
    EXPECT_FALSE(path.isEmpty());
}

TEST(Comparison, DifferentItemsOfOneFolderAreOrderedNeverIncomparable) {
    TempFolder temp;
    for (const char* name : {"file10.txt", "file2.txt", "File1.txt", "zeta"}) temp.Write(name, "x");
    ASSERT_EQ(mkdir(temp.File("zz folder").c_str(), 0755), 0);
    Owned f2(PathList(temp.File("file2.txt")));
    Owned f10(PathList(temp.File("file10.txt")));
    Owned f1(PathList(temp.File("File1.txt")));
    Owned folder(PathList(temp.File("zz folder")));
    const ShellFolderPtr desktop = GetDesktopFolder();
    EXPECT_EQ(CompareIDList(desktop, f2, f10), 2);
    EXPECT_EQ(CompareIDList(desktop, f10, f2), 1);
    EXPECT_EQ(CompareIDList(desktop, f1, f2), 2);
    EXPECT_EQ(CompareIDList(desktop, folder, f1), 2);  // folders first
    EXPECT_EQ(CompareIDList(desktop, f2, f2), 0);
    EXPECT_EQ(CompareIDList(desktop, f2, nullptr), 3);
    EXPECT_EQ(CompareIDList(nullptr, f2, f10), 3);
}

TEST(Paths, PathsAndListsRoundTripIncludingRawBytes) {
    TempFolder temp;
    const std::string odd = temp.File(std::string("bad\xff\xfename\nline"));
    temp.Write(std::string("bad\xff\xfename\nline"), "x");
    Owned list(PathList(odd));
    ASSERT_NE(list.list, nullptr);
    std::string native;
    EXPECT_TRUE(NativePathFromIDList(list, native));
    EXPECT_EQ(native, odd);

    QString text;
    EXPECT_TRUE(PathFromIDList(list, text));
    EXPECT_FALSE(text.isEmpty());

    Owned missing;
    EXPECT_FALSE(IDListFromNativePath(temp.File("missing"), missing.list));
    EXPECT_FALSE(IDListFromPath(QStringLiteral("relative/path"), missing.list));

    Owned drives(Special(sfDrives));
    EXPECT_FALSE(PathFromIDList(drives, text));
    EXPECT_TRUE(text.isEmpty());
    EXPECT_FALSE(PathFromIDList(nullptr, text));

    // A path far longer than any list item can hold is refused, not cut.
    EXPECT_FALSE(IDListFromNativePath("/" + std::string(70000, 'a'), missing.list));
}

TEST(Names, DisplayNamesOfFoldersAndItems) {
    QString text = QStringLiteral("x");
    EXPECT_TRUE(StrRetToString(nullptr, nullptr, SHGDN_INFOLDER, text));
    EXPECT_TRUE(text.isEmpty());

    Owned desktop(Special(sfDesktop));
    EXPECT_TRUE(StrRetToString(GetDesktopFolder(), desktop, SHGDN_INFOLDER, text));
    EXPECT_EQ(text, QStringLiteral("デスクトップ"));
    Owned drives(Special(sfDrives));
    EXPECT_TRUE(StrRetToString(GetDesktopFolder(), drives, SHGDN_INFOLDER, text));
    EXPECT_EQ(text, QStringLiteral("コンピュータ"));
    Owned trash(Special(sfBitBucket));
    EXPECT_TRUE(StrRetToString(GetDesktopFolder(), trash, SHGDN_INFOLDER, text));
    EXPECT_EQ(text, QStringLiteral("ごみ箱"));

    TempFolder temp;
    temp.Write(std::string("caf\xc3\xa9.txt"), "x");
    Owned file(PathList(temp.File(std::string("caf\xc3\xa9.txt"))));
    Owned last(LastItemIDList(file));
    Owned parent(ParentIDList(file));
    const ShellFolderPtr folder = BindToFolder(parent);
    ASSERT_TRUE(folder);
    EXPECT_TRUE(StrRetToString(folder, last, SHGDN_INFOLDER, text));
    EXPECT_EQ(text, QStringLiteral("café.txt"));
    EXPECT_EQ(GetTypeName(desktop), QStringLiteral("システム フォルダ"));
}

TEST(Icons, IndicesAreStableAndZeroForNone) {
    EXPECT_EQ(GetSysIconIndex(nullptr, false, false), 0);
    TempFolder temp;
    ASSERT_EQ(mkdir(temp.File("a").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(temp.File("b").c_str(), 0755), 0);
    Owned a(PathList(temp.File("a")));
    Owned b(PathList(temp.File("b")));
    const int closed = GetSysIconIndex(a, false, false);
    EXPECT_GT(closed, 0);
    EXPECT_EQ(GetSysIconIndex(b, true, false), closed);
    EXPECT_NE(GetSysIconIndex(a, false, true), closed);
    EXPECT_LT(closed, GetSysImageList(false).Count());
    EXPECT_EQ(GetSysImageList(true).IconSize(), 32);
}

TEST(VolumeLabels, ShownLowerCasedWithACapitalFirstLetter) {
    EXPECT_EQ(VolumeLabelText(QStringLiteral("MY DISK")), QStringLiteral("My disk"));
    EXPECT_EQ(VolumeLabelText(QStringLiteral("DATA")), QStringLiteral("Data"));
    EXPECT_EQ(VolumeLabelText(QStringLiteral("ＵＳＢ")), QStringLiteral("ｕｓｂ"));
    EXPECT_EQ(VolumeLabelText(QStringLiteral("1TB")), QStringLiteral("1tb"));
    EXPECT_EQ(VolumeLabelText(QString()), QString());
}

TEST(PathText, JoinAndTrailingSeparator) {
    EXPECT_EQ(JoinPath(QStringLiteral("/a"), QStringLiteral("b")), QStringLiteral("/a/b"));
    EXPECT_EQ(JoinPath(QStringLiteral("/"), QStringLiteral("b")), QStringLiteral("/b"));
    EXPECT_EQ(IncludeBackslash(QStringLiteral("/a")), QStringLiteral("/a/"));
    EXPECT_EQ(IncludeBackslash(QStringLiteral("/a/")), QStringLiteral("/a/"));
}

TEST(Times, ZeroAndTwoSecondSteps) {
    EXPECT_TRUE(DateTimeToFileTime(QDateTime()).IsZero());
    EXPECT_FALSE(FileTimeToDateTime(platform::FileTime{}).isValid());

    const QDateTime odd(QDate(2023, 5, 17), QTime(14, 30, 41, 500));
    const QDateTime back = FileTimeToDateTime(DateTimeToFileTime(odd));
    EXPECT_EQ(back, QDateTime(QDate(2023, 5, 17), QTime(14, 30, 40)));

    // Outside the DOS years the time is kept to the second, not mangled.
    const QDateTime early(QDate(1975, 1, 2), QTime(3, 4, 5));
    EXPECT_EQ(FileTimeToDateTime(DateTimeToFileTime(early)), early);
}

TEST(ClipboardFormats, ShellDataIsTheListArrayOrDroppedFiles) {
    const TShellClipboardFormats& formats = ShellClipboardFormats();
    EXPECT_EQ(formats.HDrop.MimeType, QStringLiteral("text/uri-list"));
    EXPECT_EQ(formats.ShellIDListArray.Aspect, 1);
    EXPECT_EQ(formats.ShellIDListArray.Index, -1);
    EXPECT_EQ(formats.ShellIDListArray.Medium, 1);

    QMimeData text;
    text.setText(QStringLiteral("just text"));
    EXPECT_FALSE(IsShellData(&text));
    EXPECT_FALSE(IsShellData(nullptr));
    QMimeData files;
    files.setData(formats.HDrop.MimeType, "file:///tmp/x\r\n");
    EXPECT_TRUE(IsShellData(&files));
    EXPECT_FALSE(OffersShellIDListArray(&files));

    QApplication::clipboard()->setText(QStringLiteral("only text"));
    EXPECT_FALSE(ClipboardHasShellData());
}

}  // namespace
