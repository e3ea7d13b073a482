#pragma once

#include <QFont>
#include <QString>

// The family name the layouts give to every text of the program. No such font exists on this
// platform; installFontSubstitutions() maps it to IPAPGothic (metric-compatible), then to
// Noto Sans CJK JP.
inline const QString DesignFontFamily = QStringLiteral("ＭＳ Ｐゴシック");

// Registers the substitutes of DesignFontFamily with QFont. Safe to call more than once.
void installFontSubstitutions();

// The design font at a pixel height.
QFont designFont(int pixelSize, bool bold = false);
