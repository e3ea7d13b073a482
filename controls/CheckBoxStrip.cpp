#include "controls/CheckBoxStrip.h"

#include <algorithm>

namespace {

QImage loadStrip(const QString& path) {
    QImage image(path, "BMP");
    if (image.isNull())
        return {};
    return image.convertToFormat(QImage::Format_RGB32);
}

QImage& sharedStrip() {
    static QImage strip = loadStrip(CheckBoxStripResource);
    return strip;
}

} // namespace

const QImage& checkBoxStrip() {
    return sharedStrip();
}

void loadCheckBoxStrip(const QString& path) {
    sharedStrip() = loadStrip(path);
}

int checkBoxStyleCount() {
    const QImage& strip = sharedStrip();
    if (strip.isNull() || strip.height() == 0)
        return 0;
    return strip.width() / (strip.height() * 4);
}

QImage& paintBuffer(int minWidth, int minHeight) {
    static QImage buffer;
    if (buffer.width() < minWidth || buffer.height() < minHeight) {
        buffer = QImage(std::max(buffer.width(), minWidth), std::max(buffer.height(), minHeight),
                        QImage::Format_RGB32);
    }
    return buffer;
}
