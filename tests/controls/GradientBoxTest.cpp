#include "Pixels.h"
#include "TestUtil.h"

#include "controls/GradientBox.h"
#include "platform/Fonts.h"

#include <QTest>

#include <gtest/gtest.h>

#include <functional>

namespace {

constexpr DesignColor LightGrey = 0xE2E2E2; // red, green and blue 226

QRgb resolved(const GradientBox& box, DesignColor color) {
    return colorToRgb(color, box.palette()) & 0x00FFFFFF;
}

// Counts the paint events a widget receives.
class PaintCounter final : public QObject {
public:
    explicit PaintCounter(QWidget& widget) { widget.installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

} // namespace

TEST(GradientBoxTest, CreatedWithTheDesignDefaults) {
    GradientBox box;
    EXPECT_EQ(box.size(), QSize(200, 100));
    EXPECT_EQ(box.startColor(), 0x008000u);
    EXPECT_EQ(box.endColor(), 0x00FF00u);
    EXPECT_EQ(box.outlineColor(), 0u);
    EXPECT_FALSE(box.drawsOutline());
    EXPECT_EQ(box.direction(), GradientBox::Direction::TopToBottom);
    EXPECT_FALSE(box.captionEffectEnabled());
    EXPECT_EQ(box.captionDepth(), 1);
    EXPECT_EQ(box.captionEffect(), GradientBox::CaptionEffect::Raised3D);
    EXPECT_EQ(box.captionShadowColor(), 0x00FFFFu);
    EXPECT_EQ(box.captionLeft(), 10);
    EXPECT_EQ(box.captionTop(), 10);
    EXPECT_FALSE(box.autoFillBackground());
}

TEST(GradientBoxTest, RampKeepsTheEndsAndTruncatesTheRunningValue) {
    GradientBox box;
    box.computeRamp(WhiteColor, LightGrey, GradientBox::Direction::TopToBottom);
    const auto& ramp = box.ramp();
    EXPECT_EQ(ramp[0], WhiteColor);
    EXPECT_EQ(ramp[1], 0xFEFEFEu);   // 254.886... truncated
    EXPECT_EQ(ramp[13], 0xFDFDFDu);  // 253.521...
    EXPECT_EQ(ramp[254], 0xE2E2E2u); // 226.113...
    EXPECT_EQ(ramp[255], LightGrey);

    // Each channel on its own: red falls by exactly 1, green rises by 1, blue rises by 190/255.
    box.computeRamp(designColor(255, 0, 10), designColor(0, 255, 200),
                    GradientBox::Direction::LeftToRight);
    EXPECT_EQ(ramp[1], designColor(254, 1, 10));
    EXPECT_EQ(ramp[128], designColor(127, 128, 105));
    EXPECT_EQ(ramp[254], designColor(1, 254, 199));
}

TEST(GradientBoxTest, ReversedDirectionsStartTheRampAtTheEndColor) {
    GradientBox box;
    for (GradientBox::Direction style :
         {GradientBox::Direction::BottomToTop, GradientBox::Direction::RightToLeft}) {
        box.computeRamp(0x0000FF, 0xFF0000, style);
        EXPECT_EQ(box.ramp()[0], 0xFF0000u);
        EXPECT_EQ(box.ramp()[255], 0x0000FFu);
    }
    const auto before = box.ramp();
    box.computeRamp(BlackColor, WhiteColor, GradientBox::Direction::None);
    EXPECT_EQ(box.ramp(), before);
}

TEST(GradientBoxTest, TwentyPixelStripShowsTheLastBandsDrawn) {
    GradientBox box;
    box.resize(232, 20);
    box.setStartColor(WhiteColor);
    box.setEndColor(LightGrey);
    const QImage image = grab(box);

    EXPECT_EQ(pixelAt(image, 5, 0), rgb(253, 253, 253));    // ramp()[13]
    EXPECT_EQ(pixelAt(image, 231, 19), rgb(226, 226, 226)); // ramp()[255]
    for (int y = 0; y < 20; ++y) {
        EXPECT_NE(pixelAt(image, 100, y), rgb(255, 255, 255)) << "row " << y;
        if (y > 0) {
            EXPECT_LE(qRed(pixelAt(image, 100, y)), qRed(pixelAt(image, 100, y - 1)))
                << "row " << y;
        }
    }
}

TEST(GradientBoxTest, BoxOf255RowsShowsEntryRowPlusOne) {
    GradientBox box;
    box.resize(7, 255);
    box.setStartColor(designColor(0, 40, 255));
    box.setEndColor(designColor(255, 90, 0));
    const QImage image = grab(box);
    for (int r = 0; r <= 254; ++r)
        ASSERT_EQ(pixelAt(image, 3, r), resolved(box, box.ramp()[r + 1])) << "row " << r;
}

TEST(GradientBoxTest, EachDirectionPutsItsColoursAtTheRightEnds) {
    struct Case {
        GradientBox::Direction style;
        QPoint firstEnd; // where the ramp starts (its entry 255 is never drawn there)
        QPoint lastEnd;  // the exact last colour of the ramp
        QRgb lastColor;
    };
    const QRgb red = rgb(255, 0, 0);
    const QRgb blue = rgb(0, 0, 255);
    const Case cases[] = {
        {GradientBox::Direction::TopToBottom, {10, 0}, {10, 19}, blue},
        {GradientBox::Direction::BottomToTop, {10, 0}, {10, 19}, red},
        {GradientBox::Direction::LeftToRight, {0, 10}, {19, 10}, blue},
        {GradientBox::Direction::RightToLeft, {0, 10}, {19, 10}, red},
    };
    for (const Case& c : cases) {
        GradientBox box;
        box.resize(20, 20);
        box.setStartColor(0x0000FF); // red
        box.setEndColor(0xFF0000);   // blue
        box.setDirection(c.style);
        const QImage image = grab(box);
        EXPECT_EQ(pixelAt(image, c.lastEnd.x(), c.lastEnd.y()), c.lastColor) << int(c.style);
        const QRgb first = pixelAt(image, c.firstEnd.x(), c.firstEnd.y());
        EXPECT_GT(c.lastColor == blue ? qRed(first) : qBlue(first), 200) << int(c.style);
    }
}

TEST(GradientBoxTest, NoneLeavesTheParentVisibleAndStillDrawsTheOutline) {
    QWidget parent;
    parent.resize(80, 60);
    QPalette palette = parent.palette();
    palette.setColor(QPalette::Window, QColor(10, 200, 30));
    parent.setPalette(palette);
    parent.setAutoFillBackground(true);
    auto* box = new GradientBox(&parent);
    box->setGeometry(10, 10, 50, 40);
    box->setDirection(GradientBox::Direction::None);
    box->setDrawsOutline(true);
    box->setOutlineColor(0x0000FF);
    const auto ramp = box->ramp();

    const QImage image = grab(parent);
    EXPECT_EQ(pixelAt(image, 35, 30), rgb(10, 200, 30));
    EXPECT_EQ(pixelAt(image, 11, 11), rgb(10, 200, 30));
    for (QPoint p : {QPoint(10, 10), QPoint(59, 10), QPoint(10, 49), QPoint(59, 49), QPoint(35, 10),
                     QPoint(35, 49), QPoint(10, 30), QPoint(59, 30)})
        EXPECT_EQ(pixelAt(image, p.x(), p.y()), rgb(255, 0, 0)) << p.x() << "," << p.y();
    EXPECT_EQ(pixelAt(image, 9, 9), rgb(10, 200, 30));
    EXPECT_EQ(pixelAt(image, 60, 50), rgb(10, 200, 30));
    EXPECT_EQ(box->ramp(), ramp);
}

TEST(GradientBoxTest, SystemColourStaysInTheRampAndIsResolvedWhenDrawn) {
    GradientBox box;
    QPalette palette = box.palette();
    palette.setColor(QPalette::Button, QColor(10, 20, 30));
    palette.setColor(QPalette::ToolTipBase, QColor(1, 2, 3));
    box.setPalette(palette);
    box.resize(20, 20);
    box.setStartColor(ButtonFaceColor);
    box.setEndColor(SystemColorBase + 24); // info background

    const QImage image = grab(box);
    EXPECT_EQ(box.ramp()[0], ButtonFaceColor);
    EXPECT_EQ(box.ramp()[255], SystemColorBase + 24);
    EXPECT_EQ(box.ramp()[1], designColor(9, 19, 29)); // 10 - 9/255, ... truncated
    EXPECT_EQ(pixelAt(image, 10, 19), rgb(1, 2, 3));
}

TEST(GradientBoxTest, SettersRepaintOnlyWhenTheirTableSaysSo) {
    struct Case {
        const char* name;
        std::function<void(GradientBox&)> prepare;
        std::function<void(GradientBox&)> change;
        bool repaints;
    };
    const auto nothing = [](GradientBox&) {};
    const Case cases[] = {
        {"outlineColor without outline", nothing, [](GradientBox& b) { b.setOutlineColor(0xFF); },
         false},
        {"outlineColor with outline", [](GradientBox& b) { b.setDrawsOutline(true); },
         [](GradientBox& b) { b.setOutlineColor(0xFF); }, true},
        {"captionDepth without the effect", nothing, [](GradientBox& b) { b.setCaptionDepth(4); },
         false},
        {"captionDepth with the effect", [](GradientBox& b) { b.setCaptionEffectEnabled(true); },
         [](GradientBox& b) { b.setCaptionDepth(4); }, true},
        {"captionShadowColor without the effect", nothing,
         [](GradientBox& b) { b.setCaptionShadowColor(0xFF); }, false},
        {"captionShadowColor with the effect",
         [](GradientBox& b) { b.setCaptionEffectEnabled(true); },
         [](GradientBox& b) { b.setCaptionShadowColor(0xFF); }, true},
        {"startColor unchanged", nothing, [](GradientBox& b) { b.setStartColor(0x008000); }, false},
        {"startColor", nothing, [](GradientBox& b) { b.setStartColor(0x123456); }, true},
        {"direction unchanged", nothing,
         [](GradientBox& b) { b.setDirection(GradientBox::Direction::TopToBottom); }, false},
        {"captionEffect", nothing,
         [](GradientBox& b) { b.setCaptionEffect(GradientBox::CaptionEffect::Lowered3D); }, true},
        {"captionLeft", nothing, [](GradientBox& b) { b.setCaptionLeft(3); }, true},
        {"caption unchanged", [](GradientBox& b) { b.setCaption(QStringLiteral("a")); },
         [](GradientBox& b) { b.setCaption(QStringLiteral("a")); }, false},
        {"caption", nothing, [](GradientBox& b) { b.setCaption(QStringLiteral("a")); }, true},
        {"enabled", nothing, [](GradientBox& b) { b.setEnabled(false); }, true},
    };
    for (const Case& c : cases) {
        GradientBox box;
        box.resize(60, 30);
        c.prepare(box);
        PaintCounter counter(box);
        box.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
        ASSERT_TRUE(waitUntil([&] { return counter.count > 0; })) << c.name; // the first paint
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
        counter.count = 0;

        c.change(box);
        if (c.repaints) {
            EXPECT_TRUE(waitUntil([&] { return counter.count > 0; }, 3000)) << c.name;
        } else {
            for (int i = 0; i < 5; ++i)
                QCoreApplication::processEvents();
            EXPECT_EQ(counter.count, 0) << c.name;
        }
    }
}

TEST(GradientBoxTest, CaptionIsDrawnInItsFiveWays) {
    installFontSubstitutions();
    const QRgb fontColor = rgb(0, 0, 255);
    const QRgb yellow = rgb(255, 255, 0);
    const QRgb white = rgb(255, 255, 255);
    const QRgb grey = rgb(128, 128, 128);
    struct Case {
        const char* name;
        bool enabled;
        bool font3D;
        GradientBox::CaptionEffect style;
        int depth;
        QSet<QRgb> present;
        QSet<QRgb> absent;
        int shadowSide; // +1: shadow right of the caption, -1: left, 0: none
    };
    const Case cases[] = {
        {"plain",
         true,
         false,
         GradientBox::CaptionEffect::Lowered3D,
         3,
         {fontColor},
         {yellow, white, grey},
         0},
        {"low shadow",
         true,
         true,
         GradientBox::CaptionEffect::LoweredShadow,
         2,
         {fontColor, yellow},
         {},
         +1},
        {"raise shadow",
         true,
         true,
         GradientBox::CaptionEffect::RaisedShadow,
         2,
         {fontColor, yellow},
         {},
         -1},
        {"low 3D",
         true,
         true,
         GradientBox::CaptionEffect::Lowered3D,
         3,
         {fontColor, yellow},
         {},
         +1},
        {"raise 3D",
         true,
         true,
         GradientBox::CaptionEffect::Raised3D,
         3,
         {fontColor, yellow},
         {},
         -1},
        {"raise 3D without depth",
         true,
         true,
         GradientBox::CaptionEffect::Raised3D,
         0,
         {fontColor},
         {yellow},
         0},
        {"disabled",
         false,
         true,
         GradientBox::CaptionEffect::Lowered3D,
         3,
         {white, grey},
         {fontColor, yellow},
         0},
    };
    for (const Case& c : cases) {
        GradientBox box;
        box.resize(80, 40);
        box.setStartColor(BlackColor);
        box.setEndColor(BlackColor);
        QFont font = designFont(20, true);
        font.setStyleStrategy(QFont::NoAntialias);
        box.setFont(font);
        QPalette palette = box.palette();
        palette.setColor(QPalette::WindowText, QColor(fontColor));
        box.setPalette(palette);
        box.setCaption(QStringLiteral("■■"));
        box.setCaptionLeft(8);
        box.setCaptionTop(8);
        box.setCaptionShadowColor(0x00FFFF);
        box.setCaptionEffectEnabled(c.font3D);
        box.setCaptionEffect(c.style);
        box.setCaptionDepth(std::uint8_t(c.depth));
        box.setEnabled(c.enabled);

        const QImage image = grab(box);
        const QSet<QRgb> colors = colorsIn(image, image.rect());
        for (QRgb color : c.present)
            EXPECT_TRUE(colors.contains(color)) << c.name << " lacks " << std::hex << color;
        for (QRgb color : c.absent)
            EXPECT_FALSE(colors.contains(color)) << c.name << " shows " << std::hex << color;
        if (c.shadowSide != 0) {
            int fontLeft = image.width();
            int fontRight = -1;
            int shadowLeft = image.width();
            int shadowRight = -1;
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    if (pixelAt(image, x, y) == fontColor) {
                        fontLeft = std::min(fontLeft, x);
                        fontRight = std::max(fontRight, x);
                    } else if (pixelAt(image, x, y) == yellow) {
                        shadowLeft = std::min(shadowLeft, x);
                        shadowRight = std::max(shadowRight, x);
                    }
                }
            }
            if (c.shadowSide > 0) {
                EXPECT_EQ(shadowRight, fontRight + c.depth) << c.name;
            } else {
                EXPECT_EQ(shadowLeft, fontLeft - c.depth) << c.name;
            }
        }
    }
}
