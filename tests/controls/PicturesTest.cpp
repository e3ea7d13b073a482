#include "Pixels.h"

#include "controls/CheckBoxStrip.h"
#include "controls/Glyphs.h"

#include <QFile>
#include <QIcon>
#include <QPixmap>
#include <QtEndian>

#include <gtest/gtest.h>

namespace {

constexpr QRgb Magenta = rgb(255, 0, 255);
constexpr QRgb Olive = rgb(128, 128, 0);

quint32 le32(const QByteArray& bytes, int offset) {
    return qFromLittleEndian<quint32>(bytes.constData() + offset);
}

quint16 le16(const QByteArray& bytes, int offset) {
    return qFromLittleEndian<quint16>(bytes.constData() + offset);
}

QRgb stripPixel(int frame, int x, int y) {
    return checkBoxStrip().pixel(18 * frame + x, y) & 0x00FFFFFF;
}

} // namespace

TEST(PicturesTest, StripIsAnEightBitBottomUpBitmapCompiledIn) {
    QFile file(CheckBoxStripResource);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_EQ(bytes.size(), 14 + 19208);
    EXPECT_EQ(bytes.left(2), QByteArray("BM"));
    EXPECT_EQ(le32(bytes, 10), 14u + 40u + 1024u); // pixels after the 256-entry palette
    EXPECT_EQ(le32(bytes, 14), 40u);
    EXPECT_EQ(le32(bytes, 18), 1008u);
    EXPECT_EQ(qint32(le32(bytes, 22)), 18); // positive: bottom-up
    EXPECT_EQ(le16(bytes, 28), 8);
    EXPECT_EQ(le32(bytes, 30), 0u);
    EXPECT_EQ(le32(bytes, 34), 18144u);

    ASSERT_EQ(checkBoxStrip().size(), QSize(1008, 18));
    EXPECT_EQ(checkBoxStyleCount(), 14);
    for (int frame = 0; frame < 56; ++frame)
        EXPECT_EQ(stripPixel(frame, 0, 17), Magenta) << frame;
}

TEST(PicturesTest, StyleOneIsTheSunkenBoxAndTheBlueTick) {
    const QRgb grey = rgb(128, 128, 128);
    const QRgb black = rgb(0, 0, 0);
    const QRgb silver = rgb(192, 192, 192);
    const QRgb white = rgb(255, 255, 255);
    const QRgb blue = rgb(0, 0, 255);
    const QRgb navy = rgb(0, 0, 128);
    // Edges of the box in columns 0 to 13, rows 2 to 15, in every frame of the style.
    for (int frame = 0; frame < 4; ++frame) {
        EXPECT_EQ(stripPixel(frame, 0, 2), grey);
        EXPECT_EQ(stripPixel(frame, 0, 14), grey);
        EXPECT_EQ(stripPixel(frame, 1, 3), black);
        EXPECT_EQ(stripPixel(frame, 1, 13), black);
        EXPECT_EQ(stripPixel(frame, 1, 14), silver);
        EXPECT_EQ(stripPixel(frame, 12, 14), silver);
        EXPECT_EQ(stripPixel(frame, 0, 15), white);
        EXPECT_EQ(stripPixel(frame, 13, 15), white);
        EXPECT_EQ(colorsIn(checkBoxStrip(), QRect(18 * frame, 0, 18, 2)), QSet<QRgb>{Magenta});
        EXPECT_EQ(colorsIn(checkBoxStrip(), QRect(18 * frame, 16, 18, 2)), QSet<QRgb>{Magenta});
    }
    for (int frame : {0, 2}) {
        EXPECT_EQ(stripPixel(frame, 12, 3), silver);
        EXPECT_EQ(stripPixel(frame, 13, 2), white);
        EXPECT_EQ(colorsIn(checkBoxStrip(), QRect(18 * frame + 14, 0, 4, 18)), QSet<QRgb>{Magenta});
    }
    EXPECT_EQ(colorsIn(checkBoxStrip(), QRect(2, 4, 10, 10)), QSet<QRgb>{white});
    EXPECT_EQ(colorsIn(checkBoxStrip(), QRect(36 + 2, 4, 10, 10)), QSet<QRgb>{rgb(160, 160, 164)});

    // The tick: blue, navy and grey, reaching into columns 14 to 17 of rows 2 to 7 only.
    const QSet<QRgb> checked = colorsIn(checkBoxStrip(), QRect(18, 0, 18, 18));
    EXPECT_TRUE(checked.contains(blue) && checked.contains(navy));
    const QSet<QRgb> corner = colorsIn(checkBoxStrip(), QRect(18 + 14, 2, 4, 6));
    EXPECT_TRUE(corner.contains(blue) || corner.contains(navy));
    EXPECT_EQ(colorsIn(checkBoxStrip(), QRect(18 + 14, 8, 4, 10)), QSet<QRgb>{Magenta});
    EXPECT_EQ(colorsIn(checkBoxStrip(), QRect(18 + 14, 0, 4, 2)), QSet<QRgb>{Magenta});
    // Disabled, the same tick in grey only.
    const QSet<QRgb> disabled = colorsIn(checkBoxStrip(), QRect(54, 0, 18, 18));
    EXPECT_FALSE(disabled.contains(blue) || disabled.contains(navy));
    EXPECT_TRUE(colorsIn(checkBoxStrip(), QRect(54 + 14, 2, 4, 6)).contains(grey));
    EXPECT_TRUE(colorsIn(checkBoxStrip(), QRect(54 + 2, 4, 10, 10)).contains(grey));
}

TEST(PicturesTest, NavigationGlyphsHaveAnEnabledAndADisabledImage) {
    for (const QString& path : {FirstPageGlyph, PreviousPageGlyph, NextPageGlyph, LastPageGlyph}) {
        const QImage picture(path);
        ASSERT_EQ(picture.size(), QSize(32, 16)) << path.toStdString();
        EXPECT_EQ(picture.format(), QImage::Format_Indexed8) << path.toStdString();
        const QImage converted = picture.convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(pixelAt(converted, 0, 15), Olive);
        const QSet<QRgb> enabled = colorsIn(converted, QRect(0, 0, 16, 16));
        const QSet<QRgb> disabled = colorsIn(converted, QRect(16, 0, 16, 16));
        EXPECT_TRUE(enabled.contains(rgb(0, 0, 0)) && enabled.contains(rgb(0, 255, 255)));
        EXPECT_FALSE(disabled.contains(rgb(0, 0, 0)));
        EXPECT_TRUE(disabled.contains(rgb(128, 128, 128)) && disabled.contains(rgb(255, 255, 255)));

        const QIcon icon = loadGlyphIcon(path);
        ASSERT_FALSE(icon.isNull());
        const QImage normal = icon.pixmap(16, 16, QIcon::Normal).toImage();
        const QImage grey = icon.pixmap(16, 16, QIcon::Disabled).toImage();
        ASSERT_EQ(normal.size(), QSize(16, 16));
        EXPECT_EQ(qAlpha(normal.pixel(0, 15)), 0);
        EXPECT_EQ(qAlpha(grey.pixel(0, 15)), 0);
        EXPECT_EQ(normal.pixel(1, 1), qRgba(0, 0, 0, 255)); // the black frame
        EXPECT_EQ(grey.pixel(1, 1), qRgba(128, 128, 128, 255));
    }
    EXPECT_TRUE(loadGlyphIcon(QStringLiteral(":/glyphs/none.bmp")).isNull());
}

TEST(PicturesTest, NoImagePictureIsAPlainJpeg) {
    const QImage picture(QStringLiteral(SORVEL_RESOURCES_DIR "/no_image.jpg"), "JPG");
    EXPECT_EQ(picture.size(), QSize(120, 90));
}
