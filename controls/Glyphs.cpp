#include "controls/Glyphs.h"

#include <QPixmap>

QImage makeGlyphTransparent(const QImage& picture) {
    if (picture.isNull())
        return {};
    QImage result = picture.convertToFormat(QImage::Format_ARGB32);
    const QRgb transparent = result.pixel(0, result.height() - 1) & 0x00FFFFFF;
    for (int y = 0; y < result.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < result.width(); ++x) {
            if ((line[x] & 0x00FFFFFF) == transparent)
                line[x] = 0;
        }
    }
    return result;
}

QIcon loadGlyphIcon(const QString& path) {
    const QImage picture(path);
    if (picture.isNull() || picture.width() < 2 * picture.height())
        return {};
    const int side = picture.height();
    // One transparent colour for both images: the whole picture's bottom-left pixel.
    const QImage transparent = makeGlyphTransparent(picture);
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(transparent.copy(0, 0, side, side)), QIcon::Normal);
    icon.addPixmap(QPixmap::fromImage(transparent.copy(side, 0, side, side)), QIcon::Disabled);
    return icon;
}
