#include <gtest/gtest.h>

#include "app/command_line.h"
#include "components/program_version.h"
#include "platform/path_text.h"

namespace {

TCommandLine Parse(const QStringList& words) {
    return ParseCommandLine(QStringList{QStringLiteral("kelvandor")} + words, QStringLiteral("/home/ユーザー/写真"));
}

TEST(CommandLineTest, APathIsTakenFromTheCurrentFolderAndTheFirstOfSeveralIsShown) {
    EXPECT_EQ(Parse({}).Request, TCommandLine::Start);
    EXPECT_TRUE(Parse({}).Path.isEmpty());

    EXPECT_EQ(Parse({QStringLiteral("空.jpg")}).Path, QStringLiteral("/home/ユーザー/写真/空.jpg"));
    EXPECT_EQ(Parse({QStringLiteral("../書類/")}).Path, QStringLiteral("/home/ユーザー/書類"));
    EXPECT_EQ(Parse({QStringLiteral("/data/a b.png"), QStringLiteral("/data/c.png")}).Path,
              QStringLiteral("/data/a b.png"));
    // A launcher may hand over a URL; names with URL characters stay names.
    EXPECT_EQ(Parse({QStringLiteral("file:///data/%E7%A9%BA.jpg")}).Path, QStringLiteral("/data/空.jpg"));
    EXPECT_EQ(Parse({QStringLiteral("#1 100%.jpg")}).Path, QStringLiteral("/home/ユーザー/写真/#1 100%.jpg"));
    EXPECT_EQ(Parse({QStringLiteral("-")}).Path, QStringLiteral("/home/ユーザー/写真/-"));
}

TEST(CommandLineTest, NamesThatAreNotUtf8KeepTheirBytes) {
    const QString latin1 = platform::PathText("/data/caf\xe9.jpg");
    EXPECT_EQ(Parse({latin1}).Path, latin1);
    EXPECT_EQ(Parse({QStringLiteral("file:///data/caf%E9.jpg")}).Path, latin1);
    EXPECT_EQ(platform::PathBytes(Parse({platform::PathText("\xc9t\xe9/../caf\xe9.jpg")}).Path),
              "/home/ユーザー/写真/caf\xe9.jpg");
}

TEST(CommandLineTest, NamesAfterTheEndOfOptionsMayStartWithADash) {
    const TCommandLine line = Parse({QStringLiteral("--"), QStringLiteral("--version"), QStringLiteral("-x.png")});
    EXPECT_EQ(line.Request, TCommandLine::Start);
    EXPECT_EQ(line.Path, QStringLiteral("/home/ユーザー/写真/--version"));
}

TEST(CommandLineTest, HelpAndVersionAnswerWhateverElseStandsOnTheLine) {
    EXPECT_EQ(Parse({QStringLiteral("--version")}).Request, TCommandLine::Version);
    EXPECT_EQ(Parse({QStringLiteral("a.jpg"), QStringLiteral("-v")}).Request, TCommandLine::Version);
    EXPECT_EQ(Parse({QStringLiteral("-h")}).Request, TCommandLine::Help);
    EXPECT_EQ(Parse({QStringLiteral("--version"), QStringLiteral("--help")}).Request, TCommandLine::Help);
    EXPECT_EQ(Parse({QStringLiteral("--bogus"), QStringLiteral("--version")}).Request, TCommandLine::Version);

    EXPECT_EQ(VersionText(), ProgramName() + QStringLiteral(" ") + ProgramVersion() + QStringLiteral("\n"));
    EXPECT_TRUE(HelpText().contains(QStringLiteral("--version")));
    EXPECT_TRUE(HelpText().endsWith(QLatin1Char('\n')));
}

TEST(CommandLineTest, AnUnknownOptionIsAMistakeThatNamesIt) {
    const TCommandLine line = Parse({QStringLiteral("a.jpg"), QStringLiteral("--full-screen"), QStringLiteral("-q")});
    EXPECT_EQ(line.Request, TCommandLine::Mistake);
    EXPECT_TRUE(line.Problem.contains(QStringLiteral("--full-screen")));
    EXPECT_FALSE(line.Problem.contains(QStringLiteral("-q")));
    EXPECT_TRUE(line.Problem.endsWith(QLatin1Char('\n')));
}

}  // namespace
