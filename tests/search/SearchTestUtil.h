#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>

// A JPEG picture of one colour, and a noisy one whose compressed data is long enough that cutting
// it lands in the data rather than in the header.
inline QByteArray JpegOf(QColor colour, int width = 120, int height = 90, bool noisy = false) {
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

// Whether a picture is (close to) one colour at its centre, as JPEG keeps colours.
inline bool CentreIs(const QImage& image, QColor colour) {
    if (image.isNull())
        return false;
    const QColor c = image.pixelColor(image.width() / 2, image.height() / 2);
    return std::abs(c.red() - colour.red()) < 8 && std::abs(c.green() - colour.green()) < 8 &&
           std::abs(c.blue() - colour.blue()) < 8;
}

// One result block as the service writes it: the video's own Url before the thumbnail's.
inline QByteArray ResultBlock(const QByteArray& title, const QByteArray& duration,
                              const QByteArray& copyright, const QByteArray& referer,
                              const QByteArray& thumbnail) {
    return "<Result><Title>" + title + "</Title><Summary>s</Summary><Url>http://v/" + title +
           "</Url><ClickUrl>http://c/</ClickUrl><RefererUrl>" + referer +
           "</RefererUrl><Duration>" + duration + "</Duration><Thumbnail><Url>" + thumbnail +
           "</Url></Thumbnail><Copyright>" + copyright + "</Copyright></Result>";
}

inline QByteArray AnswerOf(int total, const QByteArray& blocks) {
    return R"(<?xml version="1.0" encoding="UTF-8"?><ResultSet totalResultsAvailable=")" +
           QByteArray::number(total) + R"(" totalResultsReturned="1">)" + blocks + "</ResultSet>";
}
