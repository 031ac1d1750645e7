#pragma once

class QApplication;

// What the program sets up before its window: names, the Japanese
// interface and the icon theme's fallback. The start-up benchmark starts
// the window the same way.
void SetUpApplication(QApplication& application);
