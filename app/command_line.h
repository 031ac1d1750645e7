#pragma once

#include <QString>
#include <QStringList>

// What the program was asked on its command line: to start (with a file
// or folder to show), or to print its version or usage and end.
struct TCommandLine {
    enum TRequest { Start, Version, Help, Mistake };
    TRequest Request = Start;
    // The file or folder to show first, absolute; "" for the usual start.
    QString Path;
    // For Mistake: what was wrong, for the standard error.
    QString Problem;
};

// Reads arguments (the program's name first). Relative paths are taken
// from currentFolder; "file:" URLs stand for their local file. Of several
// paths, as a desktop hands over a selection, the first is shown. Help
// wins over version, both over a mistake, so they answer whatever else
// stands on the line.
TCommandLine ParseCommandLine(const QStringList& arguments, const QString& currentFolder);

// The texts the program prints for Version and Help, ending in a newline.
QString VersionText();
QString HelpText();
