#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "app/settings_file.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

std::string ReadText(const std::string& path) {
    const auto bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// A folder no process can create files in, also a privileged one.
const std::string kUnwritable = "/proc/1";

// Takes away the right to create files in a folder for the scope: the
// permission bits, and where they do not stop a privileged user, the
// immutable attribute.
class UnwritableFolder {
public:
    explicit UnwritableFolder(std::string path) : path_(std::move(path)) {
        chmod(path_.c_str(), 0555);
        if (CanCreateFile()) immutable_ = RunCommand("chattr +i '" + path_ + "' 2>/dev/null");
        works_ = !CanCreateFile();
    }
    ~UnwritableFolder() {
        if (immutable_) RunCommand("chattr -i '" + path_ + "'");
        chmod(path_.c_str(), 0755);
    }
    bool Works() const { return works_; }

private:
    bool CanCreateFile() const {
        const std::string probe = path_ + "/probe";
        const int handle = open(probe.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
        if (handle < 0) return false;
        close(handle);
        unlink(probe.c_str());
        return true;
    }

    std::string path_;
    bool immutable_ = false;
    bool works_ = false;
};

class SettingsFileTest : public ::testing::Test {
protected:
    std::string Executable() const { return temp.File("bin/kelvandor"); }
    std::string ConfigHome() const { return temp.File("config"); }
    std::string BesideExecutable() const { return temp.File("bin/kelvandor.ini"); }
    std::string InConfig() const { return temp.File("config/kelvandor/kelvandor.ini"); }

    TempFolder temp;
};

TEST_F(SettingsFileTest, LivesBesideTheExecutableNamedAfterIt) {
    fs::create_directories(temp.File("bin"));
    EXPECT_EQ(SettingsFile::FileBesideExecutable("/opt/app/kelvandor"), "/opt/app/kelvandor.ini");
    EXPECT_EQ(SettingsFile::FileBesideExecutable("/opt/app/viewer.bin"), "/opt/app/viewer.ini");

    SettingsFile settings(Executable(), ConfigHome());
    EXPECT_EQ(settings.Path().toStdString(), BesideExecutable());
    EXPECT_FALSE(settings.ReadOnly());
    settings.WriteString("Kelvandor", "DefaultPath", "/data/写真");
    settings.WriteInteger("Kelvandor", "Initialize", 1);
    settings.WriteBool("ShellControl", "LockFolder", true);
    settings.WriteColor("ShellListView", "Color", 0x80000005u);
    ASSERT_TRUE(settings.Save());
    EXPECT_EQ(ReadText(BesideExecutable()),
              "[Kelvandor]\nDefaultPath=/data/写真\nInitialize=1\n\n"
              "[ShellControl]\nLockFolder=1\n\n"
              "[ShellListView]\nColor=-2147483643\n");
    EXPECT_FALSE(fs::exists(InConfig()));

    const SettingsFile again(Executable(), ConfigHome());
    EXPECT_EQ(again.ReadString("Kelvandor", "DefaultPath", ""), "/data/写真");
    EXPECT_EQ(again.ReadColor("ShellListView", "Color", 0), 0x80000005u);
    EXPECT_TRUE(again.ReadBool("ShellControl", "LockFolder", false));
    EXPECT_TRUE(again.SectionExists("ShellControl"));
    EXPECT_FALSE(again.SectionExists("ToolBar3"));
}

TEST_F(SettingsFileTest, MovesToTheConfigFolderWhenTheExecutableFolderIsNotWritable) {
    // An installed program that ships its defaults beside itself.
    const std::string shipped = kUnwritable + "/kelvandor";
    SettingsFile settings(shipped, ConfigHome());
    EXPECT_EQ(settings.Path().toStdString(), InConfig());
    EXPECT_FALSE(settings.ReadOnly());
    settings.WriteInteger("Kelvandor", "ViewMode", 1);
    ASSERT_TRUE(settings.Save());
    EXPECT_EQ(SettingsFile(shipped, ConfigHome()).ReadInteger("Kelvandor", "ViewMode", 0), 1);

    // A settings file that cannot be opened for writing counts the same:
    // here a folder stands in its place.
    fs::create_directories(BesideExecutable());
    EXPECT_EQ(SettingsFile(Executable(), ConfigHome()).Path().toStdString(), InConfig());
}

TEST_F(SettingsFileTest, AnInstalledProgramKeepsItsSettingsInTheConfigFolderEvenWhereItMayWriteItsOwn) {
    fs::create_directories(temp.File("bin"));
    fs::create_directories(temp.File("lib/kelvandor/plugins"));
    EXPECT_EQ(SettingsFile(Executable(), ConfigHome()).Path().toStdString(), InConfig());

    // A copy carried with its plug-ins is no installation.
    temp.Write("bin/ifpng.spi", "");
    EXPECT_EQ(SettingsFile(Executable(), ConfigHome()).Path().toStdString(), BesideExecutable());
}

TEST_F(SettingsFileTest, StartsFromTheCopyBesideTheExecutable) {
    fs::create_directories(temp.File("bin"));
    temp.Write("bin/kelvandor.ini", "[Kelvandor]\nMouseWheel=1\n");
    const UnwritableFolder installed(temp.File("bin"));
    if (!installed.Works()) GTEST_SKIP() << "this user can write to any folder here";
    SettingsFile settings(Executable(), ConfigHome());
    EXPECT_EQ(settings.Path().toStdString(), InConfig());
    EXPECT_EQ(settings.ReadInteger("Kelvandor", "MouseWheel", 0), 1);
    settings.WriteInteger("Kelvandor", "ViewMode", 1);
    ASSERT_TRUE(settings.Save());
    const SettingsFile again(Executable(), ConfigHome());
    EXPECT_EQ(again.ReadInteger("Kelvandor", "MouseWheel", 0), 1);
    EXPECT_EQ(again.ReadInteger("Kelvandor", "ViewMode", 0), 1);
    EXPECT_EQ(ReadText(BesideExecutable()), "[Kelvandor]\nMouseWheel=1\n");
}

TEST_F(SettingsFileTest, ReadOnlyOnlyWhenNothingCanBeWritten) {
    SettingsFile settings(kUnwritable + "/kelvandor", kUnwritable);
    EXPECT_TRUE(settings.ReadOnly());
    settings.WriteInteger("Kelvandor", "ViewMode", 1);
    EXPECT_FALSE(settings.Save());
    EXPECT_EQ(settings.ReadInteger("Kelvandor", "ViewMode", 0), 1);
}

TEST_F(SettingsFileTest, BadValuesGiveTheDefaultForThatKeyAlone) {
    fs::create_directories(temp.File("bin"));
    temp.Write("bin/kelvandor.ini",
               "\xEF\xBB\xBF; written by hand\r\n"
               "[Kelvandor]\r\n"
               "  Left = 120 \r\n"
               "Top=abc\n"
               "Right=1000000\n"
               "Bottom=-5\n"
               "ViewMode=7\n"
               "DefaultPath=/home/user/a,b\n"
               "SusiePath=/bad/\xFF\xFE\n"
               "StatusBar=yes\n"
               "Initialize=1\n"
               "Initialize=0\n"
               "no equals sign\n"
               "=orphan\n"
               "[\xC3\x28]\n"
               "Lost=1\n"
               "[ShellListView]\n"
               "Color=16777216\n"
               "FontColor=-2147483640\n"
               "LockColor=4294967295\n"
               "FontName=Noto Sans CJK JP\n"
               "Height=\n");
    SettingsFile settings(Executable(), ConfigHome());
    EXPECT_EQ(settings.ReadInteger("Kelvandor", "Left", 0, -100000, 100000), 120);
    EXPECT_EQ(settings.ReadInteger("Kelvandor", "Top", 7), 7);
    EXPECT_EQ(settings.ReadInteger("Kelvandor", "Right", 800, -100000, 100000), 800);
    EXPECT_EQ(settings.ReadInteger("Kelvandor", "Bottom", 600, 0, 100000), 600);
    EXPECT_EQ(settings.ReadInteger("Kelvandor", "ViewMode", 0, 0, 1), 0);
    EXPECT_EQ(settings.ReadString("Kelvandor", "DefaultPath", ""), "/home/user/a,b");
    EXPECT_EQ(settings.ReadString("Kelvandor", "SusiePath", "/exe"), "/exe");
    EXPECT_TRUE(settings.ReadBool("Kelvandor", "StatusBar", true));
    EXPECT_FALSE(settings.ReadBool("Kelvandor", "StatusBar", false));
    EXPECT_EQ(settings.ReadInteger("Kelvandor", "Initialize", 0), 1);
    EXPECT_EQ(settings.ReadColor("ShellListView", "Color", 0x80000005u), 0x80000005u);
    EXPECT_EQ(settings.ReadColor("ShellListView", "FontColor", 0), 0x80000008u);
    EXPECT_EQ(settings.ReadColor("ShellListView", "LockColor", 0x123u), 0x123u);
    EXPECT_EQ(settings.ReadString("ShellListView", "FontName", ""), "Noto Sans CJK JP");
    EXPECT_EQ(settings.ReadInteger("ShellListView", "Height", 88), 88);
    EXPECT_FALSE(settings.SectionExists("Lost"));

    // Writing back keeps every good value and leaves out only the damage.
    settings.WriteInteger("Kelvandor", "Top", 40);
    ASSERT_TRUE(settings.Save());
    const std::string text = ReadText(BesideExecutable());
    EXPECT_NE(text.find("Left=120\n"), std::string::npos);
    EXPECT_NE(text.find("Top=40\n"), std::string::npos);
    EXPECT_NE(text.find("DefaultPath=/home/user/a,b\n"), std::string::npos);
    EXPECT_NE(text.find("FontName=Noto Sans CJK JP\n"), std::string::npos);
    EXPECT_EQ(text.find("SusiePath"), std::string::npos);
    EXPECT_EQ(text.find('\xFF'), std::string::npos);
    EXPECT_EQ(text.find('\r'), std::string::npos);
}

TEST_F(SettingsFileTest, DeletedKeysAreGoneFromTheFile) {
    fs::create_directories(temp.File("bin"));
    temp.Write("bin/kelvandor.ini", "[Kelvandor]\nInitialize=0\nLeft=1\nTop=2\n");
    SettingsFile settings(Executable(), ConfigHome());
    settings.DeleteKey("Kelvandor", "Left");
    settings.DeleteKey("Kelvandor", "Top");
    ASSERT_TRUE(settings.Save());
    EXPECT_EQ(ReadText(BesideExecutable()), "[Kelvandor]\nInitialize=0\n");
}

TEST_F(SettingsFileTest, APipeInPlaceOfTheSettingsFileNeitherBlocksNorCountsAsSettings) {
    fs::create_directories(temp.File("bin"));
    ASSERT_EQ(mkfifo(BesideExecutable().c_str(), 0644), 0);
    // A writer holds the pipe open with text waiting, so a reader that
    // opened it would get settings instead of hanging the test.
    const int writer = open(BesideExecutable().c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    const std::string text = "[Kelvandor]\nViewMode=1\n";
    ASSERT_EQ(write(writer, text.data(), text.size()), static_cast<ssize_t>(text.size()));

    SettingsFile settings(Executable(), ConfigHome());
    EXPECT_EQ(settings.Path().toStdString(), InConfig());
    EXPECT_EQ(settings.ReadInteger("Kelvandor", "ViewMode", 0), 0);
    settings.WriteInteger("Kelvandor", "ViewMode", 2);
    ASSERT_TRUE(settings.Save());
    EXPECT_EQ(SettingsFile(Executable(), ConfigHome()).ReadInteger("Kelvandor", "ViewMode", 0), 2);
    close(writer);
}

TEST_F(SettingsFileTest, AFileFarTooLargeForSettingsIsNotRead) {
    fs::create_directories(temp.File("bin"));
    temp.Write("bin/kelvandor.ini", "[Kelvandor]\nViewMode=1\n");
    fs::resize_file(BesideExecutable(), std::uintmax_t{64} << 20);
    EXPECT_EQ(SettingsFile(Executable(), ConfigHome()).ReadInteger("Kelvandor", "ViewMode", 0), 0);
}

}  // namespace
