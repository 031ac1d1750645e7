#include "command_line.h"

#include <optional>
#include <string>

#include <QDir>

#include "components/program_version.h"
#include "platform/file_uri.h"
#include "platform/path_text.h"

namespace {

bool IsHelpOption(const QString& argument) {
    return argument == QLatin1String("--help") || argument == QLatin1String("-h");
}

bool IsVersionOption(const QString& argument) {
    return argument == QLatin1String("--version") || argument == QLatin1String("-v");
}

// A file URL's escapes may stand for bytes that are not UTF-8.
QString AbsolutePath(const QString& argument, const QString& currentFolder) {
    const std::optional<std::string> local =
        argument.startsWith(QLatin1String("file:")) ? platform::PathFromFileUri(platform::PathBytes(argument))
                                                    : std::nullopt;
    const QString path = local ? platform::PathText(*local) : argument;
    return QDir::cleanPath(QDir(currentFolder).absoluteFilePath(path));
}

}  // namespace

TCommandLine ParseCommandLine(const QStringList& arguments, const QString& currentFolder) {
    TCommandLine line;
    bool help = false;
    bool version = false;
    bool optionsEnded = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        const bool option = !optionsEnded && argument.startsWith(QLatin1Char('-')) && argument.size() > 1;
        if (!option) {
            if (line.Path.isEmpty() && !argument.isEmpty()) line.Path = AbsolutePath(argument, currentFolder);
        } else if (argument == QLatin1String("--")) {
            optionsEnded = true;
        } else if (IsHelpOption(argument)) {
            help = true;
        } else if (IsVersionOption(argument)) {
            version = true;
        } else if (line.Problem.isEmpty()) {
            line.Problem = QStringLiteral("不明なオプションです: %1\n"
                                          "使い方は「kelvandor --help」で表示します。\n")
                               .arg(argument);
        }
    }
    if (help) line.Request = TCommandLine::Help;
    else if (version) line.Request = TCommandLine::Version;
    else if (!line.Problem.isEmpty()) line.Request = TCommandLine::Mistake;
    return line;
}

QString VersionText() { return ProgramName() + QLatin1Char(' ') + ProgramVersion() + QLatin1Char('\n'); }

QString HelpText() {
    return QStringLiteral(
        "使い方: kelvandor [オプション] [ファイル | フォルダ]\n"
        "\n"
        "画像ファイルを表示し、注釈を書き込むプログラムです。\n"
        "\n"
        "  ファイル         そのファイルのフォルダを開き、画像を表示します。\n"
        "  フォルダ         そのフォルダを開きます。\n"
        "  (指定なし)       いつもの開始フォルダを開きます。\n"
        "\n"
        "オプション:\n"
        "  -h, --help       この説明を表示して終了します。\n"
        "  -v, --version    バージョンを表示して終了します。\n"
        "  --               これより後の引数は、- で始まってもファイル名とします。\n");
}
