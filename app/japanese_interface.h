#pragma once

#include <QString>

class QApplication;

// Makes the interface Japanese throughout: the default locale, Qt's own
// dialog texts (where Qt ships a Japanese translation) and a Japanese UI
// font in the application's default size.
void SetUpJapaneseInterface(QApplication& application);

// The family fontconfig picks for Japanese sans-serif text; empty when no
// installed font covers Japanese.
QString JapaneseUiFontFamily();
