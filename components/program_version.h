#pragma once

#include <QString>

// The program's name and version, set once in the build and compiled in.
QString ProgramName();
QString ProgramVersion();
