#pragma once

#include <QString>

// The program's version, the project's (SORVEL_VERSION from the build).
inline const QString ProgramVersion = QStringLiteral(SORVEL_VERSION);

// The licence the program is distributed under, as SPDX names it.
inline const QString ProgramLicence = QStringLiteral("GPL-3.0-or-later");
