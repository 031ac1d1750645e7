#include "program_version.h"

QString ProgramName() { return QStringLiteral("Kelvandor"); }

QString ProgramVersion() { return QStringLiteral(KELVANDOR_VERSION); }
