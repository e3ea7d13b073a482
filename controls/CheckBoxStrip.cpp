#include "controls/CheckBoxStrip.h"

#include <algorithm>

namespace {

QImage LoadStrip(const QString& path) {
    QImage image(path, "BMP");
    if (image.isNull())
        return {};
    return image.convertToFormat(QImage::Format_RGB32);
}

QImage& Strip() {
    static QImage strip = LoadStrip(CheckBoxStripResource);
    return strip;
}

} // namespace

const QImage& CheckBoxStrip() {
    return Strip();
}

void LoadCheckBoxStrip(const QString& path) {
    Strip() = LoadStrip(path);
}

int CheckBoxStyleCount() {
    const QImage& strip = Strip();
    if (strip.isNull() || strip.height() == 0)
        return 0;
    return strip.width() / (strip.height() * 4);
}

QImage& PaintBuffer(int minWidth, int minHeight) {
    static QImage buffer;
    if (buffer.width() < minWidth || buffer.height() < minHeight) {
        buffer = QImage(std::max(buffer.width(), minWidth), std::max(buffer.height(), minHeight),
                        QImage::Format_RGB32);
    }
    return buffer;
}
