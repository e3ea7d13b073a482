#include "TestImages.h"

#include "platform/DesktopServices.h"
#include "platform/Jpeg.h"
#include "platform/SingleInstance.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(LoadJpegFileTest, DecodesAPicture) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("temp_image.jpg"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(jpegOf(QColor(200, 40, 90)));
    file.close();

    const QImage image = loadJpegFile(path);
    EXPECT_EQ(image.size(), QSize(120, 90));
    const QColor centre = image.pixelColor(60, 45);
    EXPECT_NEAR(centre.red(), 200, 4);
    EXPECT_NEAR(centre.green(), 40, 4);
    EXPECT_NEAR(centre.blue(), 90, 4);
}

TEST(LoadJpegFileTest, RefusesWhatIsNoWholeJpeg) {
    const QByteArray jpeg = jpegOf(QColor(200, 40, 90), 120, 90, true);
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        QImage(8, 8, QImage::Format_RGB32).save(&buffer, "PNG");
    }
    const struct {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"empty", ""},
        {"html error page", "<html><body>404 Not Found</body></html>"},
        {"png", png},
        {"cut short", jpeg.left(jpeg.size() * 4 / 5)},
        {"header only", jpeg.left(200)},
        {"too wide", jpegOf(Qt::white, MaxJpegDimension + 1, 8)},
    };
    QTemporaryDir dir;
    for (const auto& c : cases) {
        const QString path = dir.filePath(QString::fromLatin1(c.name));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.bytes);
        file.close();
        EXPECT_ANY_THROW(loadJpegFile(path)) << c.name;
    }
    EXPECT_ANY_THROW(loadJpegFile(dir.filePath(QStringLiteral("missing.jpg"))));
}

// A picture that declares a huge size costs no more than the box that shows it: decoded at an
// eighth scale, then scaled to the box. A progressive one, which would need its whole
// coefficient store, is refused rather than decoded into hundreds of MB.
TEST(LoadJpegFileTest, DecodesAtTheSizeOfTheBox) {
    QTemporaryDir dir;
    const auto write = [&dir](const char* name, const QByteArray& bytes) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        return path;
    };
    const QColor colour(30, 160, 220);
    const QSize box(120, 90);
    const struct {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"huge", jpegOf(colour, MaxJpegDimension, MaxJpegDimension)},
        {"wide", jpegOf(colour, MaxJpegDimension, 90)},
        {"small", jpegOf(colour, 60, 45)},
        {"exact", jpegOf(colour, 120, 90)},
    };
    for (const auto& c : cases) {
        const QImage image = loadJpegFile(write(c.name, c.bytes), box);
        EXPECT_EQ(image.size(), box) << c.name;
        EXPECT_TRUE(centreIs(image, colour)) << c.name;
    }

    QByteArray progressive;
    {
        QBuffer buffer(&progressive);
        buffer.open(QIODevice::WriteOnly);
        QImage image(MaxJpegDimension, MaxJpegDimension, QImage::Format_RGB32);
        image.fill(colour);
        QImageWriter writer(&buffer, "JPEG");
        writer.setProgressiveScanWrite(true);
        ASSERT_TRUE(writer.write(image));
    }
    EXPECT_ANY_THROW(loadJpegFile(write("progressive", progressive), box));
}

TEST(SingleInstanceMarkerTest, OnlyOneHolderAtATime) {
    const QString name = QStringLiteral("sorvel-test-%1").arg(QCoreApplication::applicationPid());
    {
        SingleInstanceMarker first;
        ASSERT_TRUE(first.acquire(name));
        SingleInstanceMarker second;
        EXPECT_FALSE(second.acquire(name));
    }
    SingleInstanceMarker again;
    EXPECT_TRUE(again.acquire(name));
    QFile::remove(SingleInstanceMarker::lockFilePath(name));
}

TEST(DesktopServicesTest, MailtoKeepsSubjectAndBodyWhole) {
    EXPECT_EQ(mailtoUrl(QStringLiteral("Tom & Jerry #1"), QStringLiteral("http://h/w?a=1&b=2")),
              QStringLiteral("mailto:?subject=Tom%20%26%20Jerry%20%231"
                             "&body=http%3A%2F%2Fh%2Fw%3Fa%3D1%26b%3D2"));
    EXPECT_EQ(mailtoUrl(QStringLiteral("猫"), QString()),
              QStringLiteral("mailto:?subject=%E7%8C%AB&body="));
}

TEST(DesktopServicesTest, OnlyWebAddressesAreWebPages) {
    for (const char* url : {"http://h/p", "HTTPS://h/", "Http://h"})
        EXPECT_TRUE(isWebAddress(QString::fromLatin1(url))) << url;
    for (const char* url : {"", "javascript:alert(1)", "file:///etc/passwd", "data:text/html,x",
                            "mailto:a@b", "/watch/1", "h/p", "ftp://h/"})
        EXPECT_FALSE(isWebAddress(QString::fromLatin1(url))) << url;
}
