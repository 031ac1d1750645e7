#include <filesystem>

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include "components/program_version.h"
#include "components/sys_info.h"
#include "dialogs/support_report_dialog.h"
#include "platform/application_paths.h"
#include "platform/code_page.h"
#include "support/event_wait.h"
#include "support/scripted_message_boxes.h"
#include "support/temp_folder.h"

namespace {

const QString kExecutable = QStringLiteral("/opt/kelvandor/kelvandor");

TEST(SupportReportTest, LinesCarryTheLabelsAndLiveValues) {
    TSysInfo info;
    info.SetMemoryStatusKind(mkKB);
    const QString executable = QString::fromStdString(platform::ExecutablePath());
    const QStringList lines = BuildSupportReport(info, executable, QDateTime(QDate(2004, 5, 6), QTime(7, 8, 9)));
    ASSERT_EQ(lines.size(), 32);
    EXPECT_EQ(lines[0], "【システム情報】  2004/05/06 07:08:09");
    EXPECT_EQ(lines[1], QString(42, '='));
    EXPECT_EQ(lines[2], "コンピュータ名 : " + info.ComputerName());
    EXPECT_EQ(lines[3], "　　ログオン名 : " + info.LogOnUserName());
    EXPECT_EQ(lines[4], QString(42, '-'));
    EXPECT_EQ(lines[5], "  Distribution : " + info.PlatForm());
    EXPECT_EQ(lines[6], "　　バージョン : " + info.Version());
    EXPECT_EQ(lines[7], "　　　カーネル : " + info.BuildNo());
    EXPECT_EQ(lines[8], "　　　　 OS ID : " + info.ProductID());
    EXPECT_EQ(lines[10], "    System Dir : " + info.WindowsDir());
    EXPECT_EQ(lines[11], "   Library Dir : " + info.WindowsSystemDir());
    EXPECT_EQ(lines[13], "　　 　CPU種別 : " + info.ProcessorType());
    EXPECT_TRUE(QRegularExpression("^　　画面サイズ : \\d+ \\* \\d+$").match(lines[14]).hasMatch()) << lines[14].toStdString();
    EXPECT_TRUE(QRegularExpression("^ 画面の色\\(bit\\) : \\d+$").match(lines[15]).hasMatch());
    const char* memoryLabels[] = {"　空メモリ(KB) : ", "　総メモリ(KB) : ", "　空ページ(KB) : ", "　総ページ(KB) : "};
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(lines[17 + i].startsWith(QString::fromUtf8(memoryLabels[i])));
        EXPECT_TRUE(QRegularExpression("^ *\\d+$").match(lines[17 + i].mid(12)).hasMatch());
        EXPECT_EQ(lines[17 + i].size(), 12 + 10);
    }
    EXPECT_EQ(lines[22], QFileInfo(executable).fileName() + " : " + ProgramVersion());
    EXPECT_TRUE(lines[24].startsWith("    Qt Widgets : 6."));
    EXPECT_TRUE(lines[24].contains("libQt6Widgets.so"));
    EXPECT_TRUE(lines[25].startsWith("      Qt Print : 6."));
    EXPECT_TRUE(lines[26].startsWith("        Qt Gui : 6."));
    EXPECT_TRUE(lines[27].startsWith("       Qt Core : 6."));
    EXPECT_TRUE(QRegularExpression("^         glibc : 2\\.\\d+").match(lines[28]).hasMatch()) << lines[28].toStdString();
    EXPECT_EQ(lines[29], QString(42, '='));
    EXPECT_EQ(lines[30], "【障害内容】");
    EXPECT_EQ(lines[31], "");

    EXPECT_EQ(MemoryReportLine("　総メモリ(KB) : ", 130544), "　総メモリ(KB) : " + QString("    130544"));
}

TEST(SupportReportTest, LabelsNameThisSystemsFactsAndLineUpTheirColons) {
    TSysInfo info;
    const QStringList lines = BuildSupportReport(info, kExecutable, QDateTime::currentDateTime());
    for (int i = 2; i < 29; ++i) {
        if (i == 22 || lines[i].startsWith('-')) continue;
        const qsizetype colon = lines[i].indexOf(" : ");
        ASSERT_GT(colon, 0) << i;
        const QString label = lines[i].left(colon);
        // A full-width character is two half-width ones wide.
        EXPECT_EQ(platform::ToCodePage932(label).size(), 14u) << i << ": " << label.toStdString();
        for (const char* foreign : {"Windows", ".dll", "ComCtl", "Shell32"})
            EXPECT_FALSE(label.contains(foreign)) << label.toStdString();
    }
}

TEST(SupportReportTest, ExecutableWithoutVersionGivesAnEmptyValue) {
    TempFolder temp;
    TSysInfo info;
    const QString other = QString::fromStdString(temp.Write("tool", "#!/bin/sh\n"));
    EXPECT_EQ(BuildSupportReport(info, other, QDateTime::currentDateTime())[22], "tool : ");
}

class SupportDialogTest : public ::testing::Test {
protected:
    SupportDialogTest() : savedPath(qgetenv("PATH")) {}
    ~SupportDialogTest() override { qputenv("PATH", savedPath); }

    // Puts an xdg-email on PATH that records its arguments and exits with
    // exitCode; PATH holds nothing else.
    void InstallMailProgram(int exitCode) {
        std::filesystem::create_directories(temp.File("bin"));
        temp.Write("bin/xdg-email", "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\0' \"$a\"; done > \"" +
                                        temp.File("arguments") + "\"\nexit " + std::to_string(exitCode) + "\n");
        std::filesystem::permissions(temp.File("bin/xdg-email"), std::filesystem::perms::owner_all);
        qputenv("PATH", QByteArray::fromStdString(temp.File("bin")));
    }
    QStringList Arguments() const {
        const auto bytes = ReadFileBytes(temp.File("arguments"));
        QStringList arguments = QString::fromUtf8(QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                                             static_cast<qsizetype>(bytes.size())))
                                    .split(QChar(0));
        arguments.removeLast();
        return arguments;
    }
    // Presses the mail button and waits for the answer of the mail program.
    bool Send(TSupportReportDialog& dialog) {
        bool finished = false;
        bool handedOver = false;
        QObject::connect(&dialog, &TSupportReportDialog::MailFinished, [&](bool result) {
            finished = true;
            handedOver = result;
        });
        QTest::mouseClick(dialog.MailButton(), Qt::LeftButton);
        EXPECT_FALSE(dialog.MailButton()->isEnabled());
        EXPECT_TRUE(ProcessEventsUntil([&finished] { return finished; }));
        EXPECT_TRUE(dialog.MailButton()->isEnabled());
        return handedOver;
    }

    QByteArray savedPath;
    TempFolder temp;
    ScriptedMessageBoxes messages;
};

TEST_F(SupportDialogTest, ShowsTheReportReadOnly) {
    TSupportReportDialog dialog(nullptr, "support@example.org", kExecutable);
    EXPECT_EQ(dialog.windowTitle(), "サポート情報");
    EXPECT_TRUE(dialog.Memo()->isReadOnly());
    EXPECT_EQ(dialog.SysInfo()->objectName(), "SysInfo");
    EXPECT_EQ(dialog.SysInfo()->MemoryStatusKind(), mkKB);
    const QStringList lines = dialog.Memo()->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 32);
    EXPECT_TRUE(lines[0].startsWith("【システム情報】  "));
    EXPECT_EQ(lines[30], "【障害内容】");
    EXPECT_TRUE(dialog.CloseButton()->isDefault());
    EXPECT_EQ(dialog.MailSubject(), "障害報告 【kelvandor】");
    EXPECT_TRUE(SupportAddress().contains('@'));

    QTest::mouseClick(dialog.CopyButton(), Qt::LeftButton);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), dialog.Memo()->toPlainText());
}

TEST_F(SupportDialogTest, HandsTheReportToTheMailProgram) {
    InstallMailProgram(0);
    TSupportReportDialog dialog(nullptr, "support@example.org", kExecutable);
    dialog.show();
    EXPECT_TRUE(Send(dialog));
    EXPECT_EQ(Arguments(), QStringList({"--utf8", "--subject", "障害報告 【kelvandor】", "--body",
                                        dialog.Memo()->toPlainText(), "support@example.org"}));
    EXPECT_TRUE(messages.Messages().empty());
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(SupportDialogTest, NoMailProgramGivesTheErrorAndTheDialogStays) {
    InstallMailProgram(3);
    TSupportReportDialog dialog(nullptr, "support@example.org", kExecutable);
    dialog.show();
    EXPECT_FALSE(Send(dialog));
    ASSERT_EQ(messages.Texts(), QStringList({"メールの転送エラーが発生。"}));
    EXPECT_EQ(messages.Messages()[0].icon, platform::MessageIcon::Error);
    EXPECT_TRUE(dialog.isVisible());

    qputenv("PATH", QByteArray::fromStdString(temp.Path()));  // no xdg-email at all
    EXPECT_FALSE(Send(dialog));
    EXPECT_EQ(messages.Messages().size(), 2u);
}

}  // namespace
