#include "Pixels.h"

#include "controls/ClickableImage.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

TEST(ClickableImageTest, ShowsItsPictureStretchedAndEmitsClicked) {
    ClickableImage image;
    EXPECT_EQ(image.size(), QSize(120, 90));
    QImage picture(2, 2, QImage::Format_RGB32);
    picture.setPixel(0, 0, qRgb(255, 0, 0));
    picture.setPixel(1, 0, qRgb(0, 255, 0));
    picture.setPixel(0, 1, qRgb(0, 0, 255));
    picture.setPixel(1, 1, qRgb(255, 255, 0));
    image.setPicture(picture);

    const QImage shown = grab(image);
    EXPECT_EQ(pixelAt(shown, 10, 10), rgb(255, 0, 0));
    EXPECT_EQ(pixelAt(shown, 110, 10), rgb(0, 255, 0));
    EXPECT_EQ(pixelAt(shown, 10, 80), rgb(0, 0, 255));
    EXPECT_EQ(pixelAt(shown, 110, 80), rgb(255, 255, 0));

    QSignalSpy clicks(&image, &ClickableImage::clicked);
    QTest::mouseClick(&image, Qt::LeftButton);
    EXPECT_EQ(clicks.count(), 1);
    QTest::mouseClick(&image, Qt::RightButton);
    QTest::mousePress(&image, Qt::LeftButton, Qt::NoModifier, QPoint(60, 45));
    QTest::mouseRelease(&image, Qt::LeftButton, Qt::NoModifier, QPoint(200, 45));
    EXPECT_EQ(clicks.count(), 1);

    image.clear();
    EXPECT_TRUE(image.picture().isNull());
}
