#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// The largest picture the loader decodes, in each direction; a thumbnail is 120 x 90.
inline constexpr int MaxJpegDimension = 4096;

// Decodes a JPEG file with libjpeg-turbo. Raises Exception when the file is missing or
// unreadable, is no JPEG, is cut short, is larger than MaxJpegDimension either way, or would need
// more than MaxJpegDecodeMemory to decode.
//
// With a fitSize the picture comes back at exactly that size, as the box that shows it stretches
// it anyway: the decoder scales by 1/2, 1/4 or 1/8 (or another eighth) while decoding, to the
// smallest size that still covers the box, and a smooth scaling does the rest. What a picture
// declares then costs no more memory than the box it is shown in.
QImage loadJpegFile(const QString& path, QSize fitSize = QSize());

// The same for a picture in memory; name stands for it in the messages (a URL, a file name).
QImage loadJpeg(const QByteArray& data, QSize fitSize = QSize(),
                const QString& name = QStringLiteral("picture"));

// What libjpeg may allocate for one picture. A baseline picture of the largest size decodes in a
// few MB; a progressive one keeps every coefficient of the picture and needs far more.
inline constexpr long MaxJpegDecodeMemory = 48L * 1024 * 1024;
