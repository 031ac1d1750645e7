#include <filesystem>

#include <QDir>

#include "main_form_fixture.h"
#include "platform/path_text.h"
#include "raster/raster.h"
#include "shell/shell_list_view.h"

namespace {

// The window started as "kelvandor <path>": the start folder in the
// settings is another folder, so the test sees which one won.
class MainFormArgumentsTest : public MainFormTest {
protected:
    void SetUp() override {
        std::filesystem::create_directories(folder.File("photos"));
        std::filesystem::create_directories(folder.File("usual"));
        WriteIni("[Kelvandor]\nDefaultPath=" + folder.File("usual") + "\n" + PluginLine());
        TestImage("photos/a.ktest", "width=8 height=8");
        TestImage("photos/b.ktest", "width=24 height=16");
        TestImage("photos/c.ktest", "width=8 height=8");
    }

    TMainForm& StartWith(const std::string& path) {
        CreateForm();
        form->SetStartPath(QString::fromStdString(path));
        form->show();
        EXPECT_TRUE(ProcessEventsUntil([&] { return form->Started(); }));
        EXPECT_TRUE(WaitUntilListed(*form->ShellListView()));
        return *form;
    }

    QString ListFolder() const { return QDir(form->ShellListView()->FolderPath()).canonicalPath(); }
    QString Canonical(const std::string& path) const {
        return QDir(QString::fromStdString(path)).canonicalPath();
    }
    QString SelectedName() const {
        const std::vector<int> rows = form->ShellListView()->SelectedRows();
        if (rows.size() != 1) return QString();
        return QFileInfo(form->ShellListView()->FileList().GetItem(rows.front())->GetPath()).fileName();
    }
};

TEST_F(MainFormArgumentsTest, AFileOpensInItsFolderSelectedAndShown) {
    TMainForm& main = StartWith(folder.File("photos/b.ktest"));
    EXPECT_EQ(ListFolder(), Canonical(folder.File("photos")));
    EXPECT_EQ(SelectedName(), QStringLiteral("b.ktest"));
    ASSERT_TRUE(main.Raster()->HasImage());
    EXPECT_EQ(main.Raster()->FileName(), QString::fromStdString(folder.File("photos/b.ktest")));
    EXPECT_EQ(main.Raster()->Info().Width, 24);
    EXPECT_TRUE(messages.Messages().empty());
    // The next file follows the opened one.
    main.NextFile();
    EXPECT_EQ(SelectedName(), QStringLiteral("c.ktest"));

    // The start folder of the settings stays what the user chose.
    Close();
    EXPECT_EQ(Ini("Kelvandor/DefaultPath"), QString::fromStdString(folder.File("usual")));
}

TEST_F(MainFormArgumentsTest, AFolderOpensWithNothingShown) {
    TMainForm& main = StartWith(folder.File("photos"));
    EXPECT_EQ(ListFolder(), Canonical(folder.File("photos")));
    EXPECT_FALSE(main.Raster()->HasImage());
    EXPECT_EQ(Panel(0), QStringLiteral("3 個のオブジェクト"));
}

TEST_F(MainFormArgumentsTest, AMissingPathStartsAsUsualAndSaysSoInTheStatusBarNotInABox) {
    const std::string missing = folder.File("photos/gone.ktest");
    TMainForm& main = StartWith(missing);
    EXPECT_EQ(ListFolder(), Canonical(folder.File("usual")));
    EXPECT_FALSE(main.Raster()->HasImage());
    EXPECT_TRUE(Panel(0).contains(QString::fromStdString(missing))) << Panel(0).toStdString();
    EXPECT_TRUE(messages.Messages().empty());
}

TEST_F(MainFormArgumentsTest, AFileWhoseNameIsNotUtf8OpensSelectedInItsFolder) {
    std::filesystem::create_directories(folder.File("photos/\xc9t\xe9"));
    TestImage("photos/\xc9t\xe9/caf\xe9.ktest", "width=24 height=12");
    CreateForm();
    form->SetStartPath(platform::PathText(folder.File("photos/\xc9t\xe9/caf\xe9.ktest")));
    form->show();
    ASSERT_TRUE(ProcessEventsUntil([&] { return form->Started(); }));
    EXPECT_TRUE(form->Raster()->HasImage()) << messages.Texts().join("\n").toStdString();
    EXPECT_EQ(form->Raster()->Info().Width, 24);
    EXPECT_EQ(SelectedName(), platform::PathText("caf\xe9.ktest"));
}

TEST_F(MainFormArgumentsTest, AFileTheTreeCannotReachOpensWithoutSelectingANamesake) {
    // A hidden folder the tree does not list; its parent holds a file of
    // the same name.
    std::filesystem::create_directories(folder.File("photos/.hidden"));
    const std::string hidden = TestImage("photos/.hidden/b.ktest", "width=40 height=30").toStdString();
    TMainForm& main = StartWith(hidden);
    ASSERT_TRUE(main.Raster()->HasImage());
    EXPECT_EQ(main.Raster()->Info().Width, 40);
    if (ListFolder() != Canonical(folder.File("photos/.hidden"))) EXPECT_TRUE(SelectedName().isEmpty());
    else EXPECT_EQ(SelectedName(), QStringLiteral("b.ktest"));
}

}  // namespace
