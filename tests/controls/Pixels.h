#pragma once

#include <QImage>
#include <QRect>
#include <QSet>
#include <QWidget>

// What a widget shows, rendered as its paint event draws it, in 32-bit RGB.
inline QImage grab(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// A pixel's colour without its alpha byte.
inline QRgb pixelAt(const QImage& image, int x, int y) {
    return image.pixel(x, y) & 0x00FFFFFF;
}

inline constexpr QRgb rgb(int r, int g, int b) {
    return QRgb(r) << 16 | QRgb(g) << 8 | QRgb(b);
}

// The colours that occur in a part of an image.
inline QSet<QRgb> colorsIn(const QImage& image, const QRect& area) {
    QSet<QRgb> colors;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            colors.insert(pixelAt(image, x, y));
    return colors;
}
