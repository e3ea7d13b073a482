#pragma once

#include <QIcon>
#include <QImage>
#include <QString>

// Resource paths of the navigation bar glyphs: each is a 32 x 16 picture, the enabled image on
// the left, the disabled image on the right; the bottom-left pixel's colour is transparent.
inline const QString FirstPageGlyph = QStringLiteral(":/glyphs/first.bmp");
inline const QString PreviousPageGlyph = QStringLiteral(":/glyphs/prev.bmp");
inline const QString NextPageGlyph = QStringLiteral(":/glyphs/next.bmp");
inline const QString LastPageGlyph = QStringLiteral(":/glyphs/last.bmp");

// A copy of the picture in which every pixel of the bottom-left pixel's colour is transparent.
QImage makeGlyphTransparent(const QImage& picture);

// An icon for a tool button from a two-image glyph: the left half as the normal image, the
// right half as the disabled image. A null icon when the picture cannot be read.
QIcon loadGlyphIcon(const QString& path);
