#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>

#include <cstdlib>

// A JPEG picture of one colour; a noisy one has compressed data long enough that cutting the
// file lands in the data rather than in its header.
inline QByteArray jpegOf(QColor colour, int width = 120, int height = 90, bool noisy = false) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    for (int y = 0; noisy && y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * 31 + y * 17) % 256, (x * y) % 256, (x ^ y) % 256));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 95);
    return bytes;
}

// Whether a picture is (close to) one colour at its centre, as far as JPEG keeps colours.
inline bool centreIs(const QImage& image, QColor colour) {
    if (image.isNull())
        return false;
    const QColor c = image.pixelColor(image.width() / 2, image.height() / 2);
    return std::abs(c.red() - colour.red()) < 8 && std::abs(c.green() - colour.green()) < 8 &&
           std::abs(c.blue() - colour.blue()) < 8;
}
