#pragma once

#include <QImage>
#include <QString>

// Resources shared by every image check box of the program.

// The resource name of the built-in picture strip.
inline const QString CheckBoxStripResource = QStringLiteral(":/CHECKBOX");

// The built-in picture strip: a row of square frames as wide as the strip is high, four per
// style (unchecked, checked, unchecked disabled, checked disabled), magenta background. Loaded
// from CheckBoxStripResource at first use and kept in 32-bit RGB; empty when it cannot be read.
const QImage& checkBoxStrip();

// Replaces the strip with the picture at a path (empty when the file cannot be read), for a
// program that ships its own strip, or a test.
void loadCheckBoxStrip(const QString& path);

// The number of built-in styles: strip width / (strip height * 4); 0 for an empty strip.
int checkBoxStyleCount();

// The off-screen bitmap every image check box paints into before copying to the screen. It is
// enlarged to at least the requested size and never made smaller.
QImage& paintBuffer(int minWidth, int minHeight);
