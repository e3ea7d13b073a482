#pragma once

#include <QImage>
#include <QString>

// The largest picture the loader decodes, in each direction; a thumbnail is 120 x 90.
inline constexpr int MaxJpegDimension = 4096;

// Decodes a JPEG file with libjpeg-turbo. Raises Exception when the file is missing or
// unreadable, is no JPEG, is cut short, or is larger than MaxJpegDimension either way.
QImage LoadJpegFile(const QString& path);
