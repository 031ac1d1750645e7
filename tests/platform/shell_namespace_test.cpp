#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <set>

#include <QMimeData>

#include "platform/shell_collation.h"
#include "platform/shell_data_object.h"
#include "platform/shell_drop_target.h"
#include "platform/shell_file_info.h"
#include "platform/shell_mounts.h"
#include "platform/shell_namespace.h"
#include "support/scripted_message_boxes.h"
#include "support/temp_folder.h"

using namespace platform;

namespace {

std::shared_ptr<ShellFolder> FolderAt(const std::string& path) {
    UniqueIDList list = IDListOfPath(path);
    return list ? DesktopFolder()->BindToObject(list.get()) : nullptr;
}

std::vector<UniqueIDList> Enumerate(const ShellFolder& folder, unsigned flags) {
    std::vector<UniqueIDList> items;
    auto enumerator = folder.EnumObjects(flags);
    if (!enumerator) return items;
    while (UniqueIDList item = enumerator->Next()) items.push_back(std::move(item));
    return items;
}

std::set<std::string> Names(const std::vector<UniqueIDList>& items) {
    std::set<std::string> names;
    for (const UniqueIDList& item : items) {
        ShellItemKind kind;
        std::string_view name;
        if (ReadItem(item.get(), kind, name)) names.insert(std::string(name));
    }
    return names;
}

UniqueIDList ChildItem(const std::string& name, bool folder = false) {
    return MakeItem(folder ? ShellItemKind::Folder : ShellItemKind::File, name);
}

std::uint32_t AttributesOf(const ShellFolder& folder, const std::string& name, std::uint32_t request,
                           bool isFolder = false) {
    UniqueIDList item = ChildItem(name, isFolder);
    return folder.GetAttributesOf(item.get(), request).value_or(0xDEADBEEF);
}

constexpr std::uint32_t kAll = 0xFFFFFFFF;

TEST(Enumeration, FollowsTheFlagsAndNeverOpensSpecialFiles) {
    TempFolder temp;
    temp.Write("plain.txt", "x");
    temp.Write(".hidden", "x");
    ASSERT_EQ(mkdir(temp.File("sub").c_str(), 0755), 0);
    ASSERT_EQ(mkfifo(temp.File("pipe").c_str(), 0644), 0);
    ASSERT_EQ(symlink("nowhere", temp.File("broken").c_str()), 0);
    ASSERT_EQ(symlink(temp.File("sub").c_str(), temp.File("link to sub").c_str()), 0);
    const bool haveDevice = mknod(temp.File("device").c_str(), S_IFCHR | 0644, makedev(1, 3)) == 0;

    const auto folder = FolderAt(temp.Path());
    ASSERT_TRUE(folder);
    EXPECT_EQ(Names(Enumerate(*folder, kEnumFolders)), (std::set<std::string>{"sub", "link to sub"}));
    std::set<std::string> files{"plain.txt", "pipe", "broken"};
    if (haveDevice) files.insert("device");
    EXPECT_EQ(Names(Enumerate(*folder, kEnumNonFolders)), files);
    files.insert(".hidden");
    EXPECT_EQ(Names(Enumerate(*folder, kEnumNonFolders | kEnumIncludeHidden)), files);

    // Everything a list shows can be asked without opening the FIFO.
    UniqueIDList pipe = ChildItem("pipe");
    EXPECT_FALSE(folder->GetTypeName(pipe.get()).isEmpty());
    EXPECT_GE(folder->GetIconOf(pipe.get(), false), 0);
    FindData data;
    EXPECT_TRUE(folder->GetFindData(pipe.get(), data));
    EXPECT_EQ(data.FileName, "pipe");
}

TEST(Enumeration, UnreadableOrVanishedFoldersGiveNothing) {
    TempFolder temp;
    ASSERT_EQ(mkdir(temp.File("gone").c_str(), 0755), 0);
    temp.Write("file", "x");
    const auto gone = FolderAt(temp.File("gone"));
    ASSERT_TRUE(gone);
    ASSERT_EQ(rmdir(temp.File("gone").c_str()), 0);
    EXPECT_EQ(gone->EnumObjects(kEnumFolders | kEnumNonFolders), nullptr);

    const auto folder = FolderAt(temp.Path());
    UniqueIDList file = ChildItem("file");
    EXPECT_EQ(folder->BindToObject(file.get()), nullptr);
    UniqueIDList missing = ChildItem("missing", true);
    EXPECT_EQ(folder->BindToObject(missing.get()), nullptr);
    EXPECT_FALSE(folder->GetAttributesOf(missing.get(), kFolder | kValidate).has_value());
    EXPECT_EQ(AttributesOf(*folder, "missing", kFolder, true), kFolder);
}

TEST(Enumeration, HostileNamesKeepTheirBytes) {
    TempFolder temp;
    const std::string name = std::string("a\nb\xff\xfe.txt");
    temp.Write(name, "x");
    const auto folder = FolderAt(temp.Path());
    const auto items = Enumerate(*folder, kEnumNonFolders);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(folder->PathOf(items[0].get()), temp.File(name));
    const QString display = folder->GetDisplayNameOf(items[0].get(), kNameInFolder).value_or(QString());
    EXPECT_FALSE(display.contains(QLatin1Char('\n')));
    EXPECT_TRUE(display.contains(QChar(QChar::ReplacementCharacter)));
    EXPECT_TRUE(display.endsWith(QStringLiteral(".txt")));
}

// Lists can come from other programs through the clipboard or a drop; an
// item must never lead out of its folder.
TEST(Enumeration, ItemsThatWouldLeaveTheirFolderAreRejected) {
    TempFolder temp;
    ASSERT_EQ(mkdir(temp.File("inner").c_str(), 0755), 0);
    temp.Write("outside.txt", "x");
    const auto inner = FolderAt(temp.File("inner"));
    for (const char* name : {"..", ".", "a/b", ""}) {
        UniqueIDList item = ChildItem(name, true);
        EXPECT_EQ(inner->Describe(item.get()).place, ShellPlace::Invalid) << name;
        EXPECT_EQ(inner->BindToObject(item.get()), nullptr) << name;
        EXPECT_TRUE(inner->PathOf(item.get()).empty()) << name;
    }
    UniqueIDList up = ChildItem("..", true);
    UniqueIDList outside = ChildItem("outside.txt");
    UniqueIDList escape = JoinIDLists(up.get(), outside.get());
    const ItemIDList* items[] = {escape.get()};
    const auto data = MakeShellDataObject(inner->AbsoluteIDList(), items);
    EXPECT_TRUE(PathsOfShellData(data.get()).empty());
    UniqueIDList bogusTrash = MakeItem(ShellItemKind::TrashEntry, temp.File("inner/../outside.txt"));
    UniqueIDList trash = SpecialFolderIDList(0x0A);
    EXPECT_EQ(DesktopFolder()->BindToObject(trash.get())->Describe(bogusTrash.get()).place, ShellPlace::Invalid);
}

TEST(Enumeration, VeryDeepListsAnswerWithoutTouchingTheDisk) {
    TempFolder temp;
    UniqueIDList list = IDListOfPath(temp.Path());
    for (int i = 0; i < 600; ++i) {
        UniqueIDList item = ChildItem("level-" + std::to_string(i), true);
        list = JoinIDLists(list.get(), item.get());
    }
    const auto desktop = DesktopFolder();
    EXPECT_GT(PathOfIDList(list.get()).size(), 4096u);
    EXPECT_EQ(desktop->GetDisplayNameOf(list.get(), kNameInFolder), QStringLiteral("level-599"));
    EXPECT_EQ(desktop->BindToObject(list.get()), nullptr);
    EXPECT_FALSE(desktop->GetAttributesOf(list.get(), kValidate).has_value());
}

TEST(Attributes, MasksOfFilesFoldersAndLinks) {
    TempFolder temp;
    temp.Write("file.txt", "x");
    temp.Write("locked.txt", "x");
    ASSERT_EQ(chmod(temp.File("locked.txt").c_str(), 0444), 0);
    temp.Write(".secret", "x");
    ASSERT_EQ(mkdir(temp.File("empty").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(temp.File("parent").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(temp.File("parent/child").c_str(), 0755), 0);
    ASSERT_EQ(symlink(temp.File("file.txt").c_str(), temp.File("link").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", temp.File("broken").c_str()), 0);
    const auto folder = FolderAt(temp.Path());

    const std::uint32_t file = AttributesOf(*folder, "file.txt", kAll);
    EXPECT_EQ(file & (kCapabilityMask | kFileSystem | kFolder | kLink | kHidden | kReadOnly),
              kCanCopy | kCanMove | kCanLink | kCanRename | kCanDelete | kHasPropSheet | kFileSystem);
    EXPECT_EQ(file & kDropTarget, 0u);

    EXPECT_TRUE(AttributesOf(*folder, "locked.txt", kAll) & kReadOnly);
    EXPECT_TRUE(AttributesOf(*folder, ".secret", kAll) & kHidden);
    EXPECT_FALSE(AttributesOf(*folder, "file.txt", kAll) & kHidden);

    const std::uint32_t empty = AttributesOf(*folder, "empty", kAll, true);
    EXPECT_EQ(empty & (kFolder | kFileSysAncestor | kDropTarget | kFileSystem),
              kFolder | kFileSysAncestor | kDropTarget | kFileSystem);
    EXPECT_FALSE(empty & kHasSubFolder);
    EXPECT_TRUE(AttributesOf(*folder, "parent", kAll, true) & kHasSubFolder);

    EXPECT_EQ(AttributesOf(*folder, "link", kAll) & (kLink | kFolder), kLink);
    EXPECT_EQ(AttributesOf(*folder, "broken", kAll) & (kLink | kFolder | kFileSystem), kLink | kFileSystem);

    // Several items: what holds for all of them.
    UniqueIDList a = ChildItem("file.txt");
    UniqueIDList b = ChildItem("empty", true);
    const ItemIDList* both[] = {a.get(), b.get()};
    EXPECT_EQ(folder->GetAttributesOf(both, kFolder | kCanCopy).value_or(0), kCanCopy);
}

TEST(Attributes, DosBitsFollowPermissionsAndTheSambaAttribute) {
    TempFolder temp;
    const std::string path = temp.Write("doc.txt", "x");
    EXPECT_EQ(FileAttributesOf(path), kAttrNormal);
    EXPECT_TRUE(SetFileAttributesOf(path, kAttrReadOnly));
    EXPECT_EQ(FileAttributesOf(path) & kAttrReadOnly, kAttrReadOnly);
    EXPECT_TRUE(SetFileAttributesOf(path, 0));
    EXPECT_EQ(FileAttributesOf(path) & kAttrReadOnly, 0u);
    EXPECT_FALSE(SetFileAttributesOf(temp.File("missing"), 0));

    if (setxattr(path.c_str(), "user.probe", "1", 1, 0) != 0) GTEST_SKIP() << "no user attributes here";
    EXPECT_TRUE(SetFileAttributesOf(path, kAttrHidden | kAttrArchive));
    EXPECT_EQ(FileAttributesOf(path) & (kAttrHidden | kAttrArchive | kAttrSystem), kAttrHidden | kAttrArchive);
    EXPECT_TRUE(SetFileAttributesOf(path, kAttrSystem));
    EXPECT_EQ(FileAttributesOf(path) & (kAttrHidden | kAttrArchive | kAttrSystem), kAttrSystem);
}

TEST(FindData, TimesAndSizesAsAFindRecordHoldsThem) {
    TempFolder temp;
    const std::string path = temp.Write("data.bin", std::string(1234, 'x'));
    const FileTime write = FileTimeFromUnixNs(1'600'000'000'123'456'700LL);
    const FileTime access = FileTimeFromUnixNs(1'500'000'000'000'000'000LL);
    ASSERT_TRUE(SetFileTimesOf(path, access, write));
    FindData data;
    ASSERT_TRUE(ReadFindData(path, data));
    EXPECT_EQ(data.Size, 1234u);
    EXPECT_EQ(data.FileName, "data.bin");
    EXPECT_EQ(data.LastWriteTime, write);
    EXPECT_EQ(data.LastAccessTime, access);

    // A zero time leaves that time alone.
    ASSERT_TRUE(SetFileTimesOf(path, FileTime{}, FileTimeFromUnixNs(1'000'000'000'000'000'000LL)));
    ASSERT_TRUE(ReadFindData(path, data));
    EXPECT_EQ(data.LastAccessTime, access);
    EXPECT_EQ(UnixNsFromFileTime(data.LastWriteTime), 1'000'000'000'000'000'000LL);

    EXPECT_FALSE(ReadFindData(temp.File("missing"), data));
    EXPECT_FALSE(SetFileTimesOf(temp.File("missing"), access, write));
    ASSERT_EQ(mkdir(temp.File("dir").c_str(), 0755), 0);
    ASSERT_TRUE(ReadFindData(temp.File("dir"), data));
    EXPECT_EQ(data.Attributes & kAttrDirectory, kAttrDirectory);
    EXPECT_EQ(data.Size, 0u);
}

TEST(NaturalOrder, NumbersByValueCaseIgnoredOnlySameNamesEqual) {
    EXPECT_LT(NaturalCompare("file2", "file10"), 0);
    EXPECT_GT(NaturalCompare("file10", "file2"), 0);
    EXPECT_LT(NaturalCompare("apple", "Banana"), 0);
    EXPECT_LT(NaturalCompare("Banana", "cherry"), 0);
    EXPECT_LT(NaturalCompare("img007", "img10"), 0);
    EXPECT_EQ(NaturalCompare("same", "same"), 0);
    EXPECT_NE(NaturalCompare("a", "A"), 0);
    EXPECT_EQ(NaturalCompare("a", "A"), -NaturalCompare("A", "a"));
    EXPECT_LT(NaturalCompare("写真2", "写真10"), 0);
}

// Printable ASCII names take a fast path; it must agree with the collator
// on every pair, or a sort mixing both paths would be inconsistent.
TEST(NaturalOrder, FastPathAgreesWithTheCollator) {
    std::mt19937 random(12345);
    const std::string pool = " !#$%&'()+,-.;=@[]^_`{}~0123456789aAbBcCxXyYzZ";
    for (int n = 0; n < 20000; ++n) {
        std::string a;
        std::string b;
        for (int i = static_cast<int>(random() % 7); i > 0; --i) a += pool[random() % pool.size()];
        for (int i = static_cast<int>(random() % 7); i > 0; --i) b += pool[random() % pool.size()];
        const int collated = NaturalCompareByCollator(a, b);
        if (collated != 0) {
            ASSERT_EQ(NaturalCompare(a, b), collated) << "'" << a << "' vs '" << b << "'";
        }
    }
}

// Sort keys decide most comparisons by their start alone; whatever they
// decide must be what the names' comparison says.
TEST(NaturalOrder, SortKeysOrderAsTheNamesDo) {
    std::mt19937 random(54321);
    const std::string pool = " !#$%&'()+,-.;=@[]^_`{}~0000123456789aAbBcCxXyYzZ";
    auto name = [&] {
        std::string text;
        for (int i = static_cast<int>(random() % 24); i > 0; --i) text += pool[random() % pool.size()];
        if (random() % 5 == 0) text += "\xe5\x86\x99";  // non-ASCII: no key start
        return text;
    };
    for (int n = 0; n < 50000; ++n) {
        const std::string a = name();
        const std::string b = n % 3 == 0 ? a.substr(0, a.size() / 2) + name() : name();
        ASSERT_EQ(NaturalCompare(MakeNaturalSortKey(a), MakeNaturalSortKey(b)), NaturalCompare(a, b))
            << "'" << a << "' vs '" << b << "'";
    }
    const std::string longRun = "x" + std::string(300, '7');
    EXPECT_EQ(NaturalCompare(MakeNaturalSortKey(longRun), MakeNaturalSortKey("x8")), NaturalCompare(longRun, "x8"));
    EXPECT_LT(NaturalCompare(MakeNaturalSortKey("IMG_0009.JPG"), MakeNaturalSortKey("img_10.jpg")), 0);
}

TEST(Sorting, ColumnsPutFoldersFirstThenTheirKey) {
    TempFolder temp;
    temp.Write("big.txt", std::string(5000, 'x'));
    temp.Write("small.png", "x");
    ASSERT_EQ(mkdir(temp.File("Zfolder").c_str(), 0755), 0);
    const timespec old[2] = {{1000000, 0}, {1000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, temp.File("big.txt").c_str(), old, 0), 0);
    const auto folder = FolderAt(temp.Path());
    auto items = Enumerate(*folder, kEnumFolders | kEnumNonFolders);
    ASSERT_EQ(items.size(), 3u);
    auto sortedBy = [&](int column) {
        std::sort(items.begin(), items.end(), [&](const UniqueIDList& a, const UniqueIDList& b) {
            return folder->CompareIDs(column, a.get(), b.get()).value_or(0) < 0;
        });
        std::vector<QString> names;
        for (const auto& item : items) names.push_back(*folder->GetDisplayNameOf(item.get(), kNameInFolder));
        return names;
    };
    using Names = std::vector<QString>;
    EXPECT_EQ(sortedBy(0), (Names{"Zfolder", "big.txt", "small.png"}));
    EXPECT_EQ(sortedBy(1), (Names{"Zfolder", "small.png", "big.txt"}));
    EXPECT_EQ(sortedBy(3), (Names{"Zfolder", "big.txt", "small.png"}));
    EXPECT_EQ(sortedBy(2).front(), QStringLiteral("Zfolder"));
    EXPECT_FALSE(folder->CompareIDs(5, items[0].get(), items[1].get()).has_value());
}

TEST(Drives, MountTableGivesTheDrivesAUserWouldCallDrives) {
    const std::string table =
        "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
        "23 22 0:5 / /proc rw - proc proc rw\n"
        "24 22 8:2 / /home rw - ext4 /dev/sda2 rw\n"
        "25 22 8:17 / /media/user/My\\040Disk rw - vfat /dev/sdb1 rw\n"
        "26 22 0:40 / /run/media/u/stick rw - exfat /dev/sdc1 rw\n"
        "27 22 0:41 / /mnt/nas rw shared:1 - nfs4 server:/share rw\n"
        "28 22 0:42 / /mnt/auto rw - autofs auto rw\n"
        "garbage line\n";
    const auto drives = DrivesFromMountInfo(table);
    std::vector<std::string> points;
    for (const auto& drive : drives) points.push_back(drive.mountPoint);
    EXPECT_EQ(points, (std::vector<std::string>{"/", "/home", "/media/user/My Disk", "/run/media/u/stick", "/mnt/nas"}));
    EXPECT_FALSE(drives[0].removable);
    EXPECT_TRUE(drives[2].removable);
    EXPECT_EQ(drives[2].source, "/dev/sdb1");
}

TEST(DataObject, ItemListArrayRoundTripsAndRejectsDamage) {
    TempFolder temp;
    temp.Write("one", "1");
    temp.Write("two", "2");
    UniqueIDList parent = IDListOfPath(temp.Path());
    UniqueIDList one = ChildItem("one");
    UniqueIDList two = ChildItem("two");
    const ItemIDList* items[] = {one.get(), two.get()};
    const QByteArray bytes = EncodeIDListArray(parent.get(), items);

    UniqueIDList decodedParent;
    std::vector<UniqueIDList> decoded;
    ASSERT_TRUE(DecodeIDListArray(bytes, decodedParent, decoded));
    EXPECT_TRUE(SameIDList(decodedParent.get(), parent.get()));
    ASSERT_EQ(decoded.size(), 2u);
    EXPECT_TRUE(SameIDList(decoded[1].get(), two.get()));

    EXPECT_FALSE(DecodeIDListArray(bytes.left(bytes.size() - 3), decodedParent, decoded));
    EXPECT_FALSE(DecodeIDListArray(QByteArray("\xff\xff\xff\x7f\0\0\0\0", 8), decodedParent, decoded));
    EXPECT_FALSE(DecodeIDListArray(QByteArray(), decodedParent, decoded));

    const auto data = MakeShellDataObject(parent.get(), items);
    EXPECT_TRUE(OffersShellData(data.get()));
    EXPECT_EQ(PathsOfShellData(data.get()), (std::vector<std::string>{temp.File("one"), temp.File("two")}));
    QMimeData text;
    text.setText(QStringLiteral("/etc/passwd"));
    EXPECT_TRUE(PathsOfShellData(&text).empty());
}

TEST(DataObject, OffersFilesExactlyWhenTheFilesOfTheDataAreNotEmpty) {
    TempFolder temp;
    temp.Write("one", "1");
    UniqueIDList parent = IDListOfPath(temp.Path());
    UniqueIDList one = ChildItem("one");
    UniqueIDList escape = JoinIDLists(ChildItem("..", true).get(), ChildItem("one").get());
    const auto dataOf = [&](std::initializer_list<const ItemIDList*> items, const char* uris) {
        auto data = std::make_unique<QMimeData>();
        data->setData(ShellIDListArrayMime(), EncodeIDListArray(parent.get(), std::vector<const ItemIDList*>(items)));
        if (uris) data->setData(UriListMime(), uris);
        return data;
    };
    std::vector<std::unique_ptr<QMimeData>> cases;
    cases.push_back(dataOf({escape.get(), one.get()}, nullptr));  // the second item names a file
    cases.push_back(dataOf({escape.get()}, nullptr));             // no item names a file
    cases.push_back(dataOf({escape.get()}, "file:///etc/hostname\r\n"));  // the dropped files serve then
    auto damaged = dataOf({one.get()}, "http://example.com/\r\n");
    damaged->setData(ShellIDListArrayMime(), damaged->data(ShellIDListArrayMime()).chopped(3));
    cases.push_back(std::move(damaged));
    cases.push_back(std::make_unique<QMimeData>());
    for (std::size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(OffersFiles(cases[i].get()), !FilesOfShellData(cases[i].get()).paths.empty()) << "case " << i;
    EXPECT_TRUE(OffersFiles(cases[0].get()));
    EXPECT_TRUE(OffersFiles(cases[2].get()));
    EXPECT_FALSE(OffersFiles(cases[3].get()));
    EXPECT_FALSE(OffersFiles(nullptr));
}

TEST(Rename, GivesTheNewItemOrRefusesWithAMessage) {
    ScriptedMessageBoxes boxes;
    TempFolder temp;
    temp.Write("old.txt", "data");
    temp.Write("taken.txt", "other");
    const auto folder = FolderAt(temp.Path());
    UniqueIDList old = ChildItem("old.txt");

    EXPECT_EQ(folder->SetNameOf(nullptr, old.get(), QStringLiteral("taken.txt")), nullptr);
    EXPECT_EQ(boxes.Messages().size(), 1u);
    EXPECT_EQ(ReadFileBytes(temp.File("taken.txt")).size(), 5u);

    UniqueIDList renamed = folder->SetNameOf(nullptr, old.get(), QStringLiteral("新しい名前.txt"));
    ASSERT_NE(renamed, nullptr);
    EXPECT_EQ(folder->GetDisplayNameOf(renamed.get(), kNameInFolder), QStringLiteral("新しい名前.txt"));
    EXPECT_EQ(ReadFileBytes(temp.File("新しい名前.txt")).size(), 4u);
    EXPECT_EQ(access(temp.File("old.txt").c_str(), F_OK), -1);
}

TEST(Parsing, PathsBelowAFolderAndUrisOnTheDesktop) {
    TempFolder temp;
    ASSERT_EQ(mkdir(temp.File("a").c_str(), 0755), 0);
    temp.Write("a/b c.txt", "x");
    const auto folder = FolderAt(temp.Path());
    UniqueIDList relative = folder->ParseDisplayName(QStringLiteral("a/b c.txt"));
    ASSERT_NE(relative, nullptr);
    EXPECT_EQ(ItemCount(relative.get()), 2u);
    EXPECT_EQ(folder->ParseDisplayName(QStringLiteral("../escape")), nullptr);
    EXPECT_EQ(folder->ParseDisplayName(QStringLiteral("a/missing")), nullptr);

    UniqueIDList fromUri = DesktopFolder()->ParseDisplayName(
        QStringLiteral("file://") + QString::fromStdString(temp.Path()) + QStringLiteral("/a/b%20c.txt"));
    ASSERT_NE(fromUri, nullptr);
    EXPECT_EQ(PathOfIDList(fromUri.get()), temp.File("a/b c.txt"));
}

// ".." after a link leads to the parent of the link's target, as the
// system resolves it, never back to the folder holding the link.
TEST(Parsing, DotDotStepsBackFromWhereALinkLeads) {
    TempFolder temp;
    // Resolved paths come back canonical; so must the expected ones.
    const std::string base = std::filesystem::canonical(temp.Path());
    auto at = [&](const char* name) { return base + "/" + name; };
    ASSERT_EQ(mkdir(at("real").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(at("real/sub").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(at("real/wanted").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(at("other").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(at("other/wanted").c_str(), 0755), 0);  // the wrong folder of the same name
    ASSERT_EQ(symlink(at("real/sub").c_str(), at("other/link").c_str()), 0);

    UniqueIDList list = IDListOfPath(at("other/link/../wanted"));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(PathOfIDList(list.get()), at("real/wanted"));
    UniqueIDList parsed = DesktopFolder()->ParseDisplayName(QString::fromStdString(at("other/./link/../wanted")));
    ASSERT_NE(parsed, nullptr);
    EXPECT_EQ(PathOfIDList(parsed.get()), at("real/wanted"));
    // Only what comes before the last ".." is resolved: a link after it stays an item.
    UniqueIDList throughLink = IDListOfPath(at("real/wanted/../../other/link"));
    ASSERT_NE(throughLink, nullptr);
    EXPECT_EQ(PathOfIDList(throughLink.get()), at("other/link"));

    // Below a folder, the same path leaves it for the link's side: nothing there.
    const auto other = FolderAt(at("other"));
    ASSERT_TRUE(other);
    EXPECT_EQ(other->ParseDisplayName(QStringLiteral("link/../wanted")), nullptr);
    const auto real = FolderAt(at("real"));
    UniqueIDList relative = real->ParseDisplayName(QStringLiteral("sub/../wanted"));
    ASSERT_NE(relative, nullptr);
    EXPECT_EQ(ItemCount(relative.get()), 1u);
    // A link to a missing place cannot be stepped back from.
    ASSERT_EQ(symlink(at("missing/deeper").c_str(), at("dangling").c_str()), 0);
    EXPECT_EQ(IDListOfPath(at("dangling/../real")), nullptr);
}

TEST(Desktop, HoldsThePlacesInTheirOrder) {
    const auto desktop = DesktopFolder();
    const auto items = Enumerate(*desktop, kEnumFolders);
    ASSERT_GE(items.size(), 5u);
    std::vector<QString> names;
    for (int i = 0; i < 5; ++i) names.push_back(*desktop->GetDisplayNameOf(items[i].get(), kNameInFolder));
    EXPECT_EQ(names, (std::vector<QString>{"ホーム", "コンピュータ", "ネットワーク", "ごみ箱", "インターネット"}));
    UniqueIDList drives = SpecialFolderIDList(0x11);
    const auto drivesFolder = desktop->BindToObject(drives.get());
    ASSERT_TRUE(drivesFolder);
    const auto drivesItems = Enumerate(*drivesFolder, kEnumFolders);
    ASSERT_FALSE(drivesItems.empty());
    EXPECT_TRUE(drivesFolder->GetDisplayNameOf(drivesItems[0].get(), kNameInFolder)->endsWith(QStringLiteral("(/)")));
    EXPECT_EQ(drivesFolder->PathOf(drivesItems[0].get()), "/");
}

TEST(DropTarget, ChoosesAndCarriesOutTheEffect) {
    ScriptedMessageBoxes boxes;
    TempFolder temp;
    ASSERT_EQ(mkdir(temp.File("target").c_str(), 0755), 0);
    temp.Write("copied.txt", "c");
    temp.Write("moved.txt", "m");
    const auto folder = FolderAt(temp.Path());
    UniqueIDList target = ChildItem("target", true);
    auto drop = folder->GetDropTarget(nullptr, target.get());
    ASSERT_TRUE(drop);
    UniqueIDList file = ChildItem("copied.txt");
    EXPECT_EQ(folder->GetDropTarget(nullptr, file.get()), nullptr);

    auto dataOf = [&](const char* name) {
        UniqueIDList item = ChildItem(name);
        const ItemIDList* items[] = {item.get()};
        return MakeShellDataObject(folder->AbsoluteIDList(), items);
    };
    const unsigned all = kDropEffectCopy | kDropEffectMove | kDropEffectLink;

    auto copyData = dataOf("copied.txt");
    unsigned effect = all;
    ASSERT_TRUE(drop->DragEnter(copyData.get(), kKeyLeftButton | kKeyControl, QPoint(), effect));
    EXPECT_EQ(effect, kDropEffectCopy);
    effect = all;
    ASSERT_TRUE(drop->Drop(copyData.get(), kKeyControl, QPoint(), effect));
    EXPECT_EQ(effect, kDropEffectCopy);
    EXPECT_EQ(access(temp.File("copied.txt").c_str(), F_OK), 0);
    EXPECT_EQ(access(temp.File("target/copied.txt").c_str(), F_OK), 0);

    auto moveData = dataOf("moved.txt");
    effect = all;
    ASSERT_TRUE(drop->Drop(moveData.get(), 0, QPoint(), effect));
    EXPECT_EQ(effect, kDropEffectMove);  // same file system
    EXPECT_EQ(access(temp.File("moved.txt").c_str(), F_OK), -1);
    EXPECT_EQ(access(temp.File("target/moved.txt").c_str(), F_OK), 0);

    QMimeData text;
    text.setText(QStringLiteral("words"));
    effect = all;
    ASSERT_TRUE(drop->DragEnter(&text, kKeyLeftButton, QPoint(), effect));
    EXPECT_EQ(effect, kDropEffectNone);
    effect = all;
    EXPECT_FALSE(drop->DragEnter(nullptr, kKeyLeftButton, QPoint(), effect));

    // A folder dropped onto itself is refused.
    const ItemIDList* self[] = {target.get()};
    auto selfData = MakeShellDataObject(folder->AbsoluteIDList(), self);
    effect = all;
    drop->DragEnter(selfData.get(), kKeyLeftButton, QPoint(), effect);
    EXPECT_EQ(effect, kDropEffectNone);
    EXPECT_TRUE(boxes.Messages().empty());
}

}  // namespace
