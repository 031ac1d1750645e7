#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <QPushButton>
#include <QUrl>
#include <QWidget>

#include "components/help_file.h"
#include "support/scoped_environment_variable.h"
#include "support/scripted_message_boxes.h"
#include "support/temp_folder.h"
#include "support/test_desktop.h"

namespace {

TEST(HelpFileTest, TheManualIsTheExecutablesPathWithTheHtmlExtension) {
    EXPECT_EQ(HelpFilePathFor(QStringLiteral("/opt/k/bin/kelvandor")),
              QStringLiteral("/opt/k/bin/kelvandor.html"));
    EXPECT_EQ(HelpFilePathFor(QStringLiteral("/opt/k.d/bin/kelvandor.bin")),
              QStringLiteral("/opt/k.d/bin/kelvandor.html"));
    const QFileInfo running(QCoreApplication::applicationFilePath());
    EXPECT_EQ(HelpFilePath(), running.absolutePath() + QLatin1Char('/') + running.completeBaseName() +
                                  QStringLiteral(".html"));
}

TEST(HelpFileTest, AnInstalledProgramFindsTheManualInItsDataFolderUnlessOneLiesBesideIt) {
    TempFolder prefix;
    std::filesystem::create_directories(prefix.File("bin"));
    std::filesystem::create_directories(prefix.File("share/kelvandor"));
    const QString executable = QString::fromStdString(prefix.File("bin/kelvandor"));
    const QString beside = QString::fromStdString(prefix.File("bin/kelvandor.html"));
    // Neither exists: the path beside the program, named in the message.
    EXPECT_EQ(HelpFilePathFor(executable), beside);

    const std::string installed = prefix.Write("share/kelvandor/kelvandor.html", "<html></html>");
    EXPECT_EQ(HelpFilePathFor(executable), QString::fromStdString(installed));

    prefix.Write("bin/kelvandor.html", "<html></html>");
    EXPECT_EQ(HelpFilePathFor(executable), beside);
}

class ShowHelpTest : public ::testing::Test {
protected:
    const TestDesktop& desktop = TestDesktop::Installed();
    ScriptedMessageBoxes messages;

    // The URL the browser was started with for the topic of context.
    std::string OpenedUrl(const QString& manual, int context) {
        desktop.ClearRecord("browser");
        EXPECT_TRUE(ShowHelpFile(manual, context, nullptr));
        return desktop.AwaitRecord("browser");
    }
};

TEST_F(ShowHelpTest, OpensTheManualInTheBrowserAtTheContextsTopic) {
    const QString manual = QFile::decodeName(desktop.MakeFile("マニュアル 1.html").c_str());
    const std::string top = QUrl::fromLocalFile(manual).toEncoded().toStdString();
    EXPECT_EQ(OpenedUrl(manual, 1020), top + "#1020");
    // Without an anchor the browser may be handed the file's path instead.
    const std::string opened = OpenedUrl(manual, 0);
    EXPECT_TRUE(opened == top || opened == QFile::encodeName(manual).toStdString()) << opened;
    EXPECT_TRUE(messages.Messages().empty());
}

TEST_F(ShowHelpTest, AMissingManualIsToldAndNothingStarts) {
    desktop.ClearRecord("browser");
    const QString missing = QFile::decodeName(desktop.Files().c_str()) + QStringLiteral("/none.html");
    EXPECT_FALSE(ShowHelpFile(missing, 1020, nullptr));
    ASSERT_EQ(messages.Messages().size(), 1u);
    EXPECT_TRUE(messages.Messages()[0].text.contains(missing));
    EXPECT_EQ(messages.Messages()[0].icon, platform::MessageIcon::Error);

    // A dialog's Help button asks for the program's own manual, which a
    // test program does not have.
    QWidget dialog;
    QPushButton* help = MakeHelpButton(8050, &dialog);
    EXPECT_EQ(help->text(), QStringLiteral("ヘルプ(&H)"));
    help->click();
    ASSERT_EQ(messages.Messages().size(), 2u);
    EXPECT_TRUE(messages.Messages()[1].text.contains(HelpFilePath()));
    EXPECT_FALSE(std::filesystem::exists(desktop.RecordOf("browser")));
}

TEST_F(ShowHelpTest, WithoutABrowserTheMessageSaysSoAndWhereTheManualIs) {
    const QString manual = QFile::decodeName(desktop.MakeFile("manual.html").c_str());
    // The desktop's browser is gone, and so is every browser command; the
    // desktop's opener is there but finds nothing to open the file with.
    const std::string program = desktop.ProgramOf("browser");
    std::filesystem::rename(program, program + ".away");
    TempFolder bin;
    const std::string opener = bin.Write("xdg-open", "#!/bin/sh\ntouch \"$0.ran\"\nexit 3\n");
    std::filesystem::permissions(opener, std::filesystem::perms::owner_all);
    {
        const ScopedEnvironmentVariable path("PATH", bin.Path());
        const ScopedEnvironmentVariable browsers("BROWSER", "");
        EXPECT_FALSE(ShowHelpFile(manual, 1020, nullptr));
    }
    std::filesystem::rename(program + ".away", program);
    ASSERT_EQ(messages.Messages().size(), 1u);
    const QString text = messages.Messages()[0].text;
    EXPECT_TRUE(text.contains(QStringLiteral("ウェブ ブラウザ"))) << text.toStdString();
    EXPECT_TRUE(text.contains(manual)) << text.toStdString();
    EXPECT_EQ(messages.Messages()[0].icon, platform::MessageIcon::Error);

    // A browser command of the system is used when the desktop names none.
    std::filesystem::rename(program, program + ".away");
    const std::string record = bin.File("opened");
    const std::string browser = bin.Write("x-www-browser", "#!/bin/sh\nprintf '%s' \"$1\" > \"" + record + ".part\" && mv \"" +
                                                               record + ".part\" \"" + record + "\"\n");
    std::filesystem::permissions(browser, std::filesystem::perms::owner_all);
    {
        const ScopedEnvironmentVariable path("PATH", bin.Path() + ":/usr/bin:/bin");
        EXPECT_TRUE(ShowHelpFile(manual, 1020, nullptr));
    }
    std::filesystem::rename(program + ".away", program);
    ProcessEventsUntil([&] { return std::filesystem::exists(record); });
    const std::vector<unsigned char> opened = ReadFileBytes(record);
    EXPECT_EQ(std::string(opened.begin(), opened.end()), QUrl::fromLocalFile(manual).toEncoded().toStdString() + "#1020");
    EXPECT_EQ(messages.Messages().size(), 1u);
}

// The help contexts of the main window's commands: each command's number,
// and one context for each group of alike commands.
std::set<int> CommandContexts() {
    return {1010, 1020, 1030, 1040, 1050, 1060, 1070, 1080, 1090, 1100, 1110, 1120,
            2010, 2020, 2030, 2040, 2050, 2060, 2070, 2080, 2090, 2100, 2110,
            3010, 3020, 3031, 3032, 3033, 3034, 3040, 3050, 3060, 3070, 3080, 3090,
            4010, 4020, 4030, 4040, 4050, 4060, 4070, 4080, 4090,
            5010, 5020, 5030, 5040, 5050, 5060, 5070, 5080,
            6010, 6020, 6030, 6040, 6050, 7010, 7020, 7030, 7040,
            8010, 8020, 8030, 8041, 8042, 8050, 9010, 9020, 9030, 9040};
}

// The help contexts the sources give commands, dialogs and Help buttons.
std::set<int> ContextsInSources() {
    static const QRegularExpression use(QStringLiteral(
        R"((?:SetHelpContext|MakeHelpButton|ShowHelp)\(\s*(\d+)|"HelpContext",\s*(\d+))"));
    std::set<int> contexts;
    for (const char* folder : {"app", "dialogs", "components", "raster", "shell"}) {
        QDirIterator files(QStringLiteral(KELVANDOR_SOURCE_DIR "/") + QLatin1String(folder),
                           {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files);
        while (files.hasNext()) {
            QFile file(files.next());
            if (!file.open(QIODevice::ReadOnly)) continue;
            auto found = use.globalMatch(QString::fromUtf8(file.readAll()));
            while (found.hasNext()) {
                const auto match = found.next();
                contexts.insert((match.captured(1) + match.captured(2)).toInt());
            }
        }
    }
    contexts.erase(0);
    return contexts;
}

struct ManualContents {
    QString error;
    std::multiset<QString> ids;
    std::set<QString> links;
};

ManualContents ReadManual(const QString& path) {
    ManualContents contents;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {file.errorString(), {}, {}};
    QXmlStreamReader reader(&file);
    while (reader.readNext() != QXmlStreamReader::EndDocument && !reader.hasError()) {
        if (!reader.isStartElement()) continue;
        const QXmlStreamAttributes attributes = reader.attributes();
        if (attributes.hasAttribute(QStringLiteral("id")))
            contents.ids.insert(attributes.value(QStringLiteral("id")).toString());
        const QString link = attributes.value(QStringLiteral("href")).toString();
        if (link.startsWith(QLatin1Char('#'))) contents.links.insert(link.mid(1));
    }
    if (reader.hasError())
        contents.error = QStringLiteral("line %1: %2").arg(reader.lineNumber()).arg(reader.errorString());
    return contents;
}

TEST(ManualTest, TheBuildPlacesTheManualBesideTheProgram) {
    EXPECT_EQ(HelpFilePathFor(QStringLiteral(KELVANDOR_PLUGIN_DIR "/kelvandor")),
              QStringLiteral(KELVANDOR_MANUAL));
    EXPECT_TRUE(QFileInfo(QStringLiteral(KELVANDOR_MANUAL)).isFile());
}

TEST(ManualTest, IsWellFormedAndHasATopicForEveryHelpContext) {
    const ManualContents manual = ReadManual(QStringLiteral(KELVANDOR_MANUAL));
    ASSERT_TRUE(manual.error.isEmpty()) << manual.error.toStdString();
    std::set<int> contexts = CommandContexts();
    contexts.merge(ContextsInSources());
    for (int context : contexts)
        EXPECT_EQ(manual.ids.count(QString::number(context)), 1u) << "help context " << context;
    for (const QString& id : manual.ids)
        EXPECT_EQ(manual.ids.count(id), 1u) << "id used twice: " << id.toStdString();
    for (const QString& link : manual.links)
        EXPECT_TRUE(manual.ids.contains(link)) << "link to nowhere: #" << link.toStdString();
}

}  // namespace
