#pragma once

#include <QString>

class QPushButton;
class QWidget;

// The program's manual: an HTML file beside the executable, named after
// it, with one anchor per help context. An installed program keeps it in
// its data folder instead.

// The manual of the running program: its path with ".html" in place of
// the executable's extension, or that name in the installed data folder
// when only that file exists.
QString HelpFilePath();
// The manual that belongs to executable.
QString HelpFilePathFor(const QString& executable);

// Opens the manual in the desktop's browser at the topic of context (its
// number as the anchor; 0 opens the contents at the top). A missing
// manual or a browser that cannot be started is told in a message.
// True when the browser was started.
bool ShowHelp(int context, QWidget* owner = nullptr);
// The same for the manual at helpFile.
bool ShowHelpFile(const QString& helpFile, int context, QWidget* owner);

// A "ヘルプ(&H)" button that opens the topic of context; F1 in parent's
// window presses it.
QPushButton* MakeHelpButton(int context, QWidget* parent);
