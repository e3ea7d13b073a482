#include "Pixels.h"
#include "TestUtil.h"

#include "controls/GradientBox.h"
#include "platform/Fonts.h"

#include <QTest>

#include <gtest/gtest.h>

#include <functional>

namespace {

constexpr TColor LightGrey = 0xE2E2E2; // red, green and blue 226

QRgb Resolved(const TGradBox& box, TColor color) {
    return ColorToRgb(color, box.palette()) & 0x00FFFFFF;
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
    TGradBox box;
    EXPECT_EQ(box.size(), QSize(200, 100));
    EXPECT_EQ(box.TopColor(), 0x008000u);
    EXPECT_EQ(box.LastColor(), 0x00FF00u);
    EXPECT_EQ(box.OutLineColor(), 0u);
    EXPECT_FALSE(box.DrawOutLine());
    EXPECT_EQ(box.GradStyle(), TGradStyle::gsTopBottom);
    EXPECT_FALSE(box.Font3D());
    EXPECT_EQ(box.FontDepth(), 1);
    EXPECT_EQ(box.Style3D(), TFontStyle3D::fsRaise3D);
    EXPECT_EQ(box.BackFont(), 0x00FFFFu);
    EXPECT_EQ(box.CaptionLeft(), 10);
    EXPECT_EQ(box.CaptionTop(), 10);
    EXPECT_FALSE(box.autoFillBackground());
}

TEST(GradientBoxTest, RampKeepsTheEndsAndTruncatesTheRunningValue) {
    TGradBox box;
    box.SetColarray(clWhite, LightGrey, TGradStyle::gsTopBottom);
    const auto& ramp = box.Colarray();
    EXPECT_EQ(ramp[0], clWhite);
    EXPECT_EQ(ramp[1], 0xFEFEFEu);   // 254.886... truncated
    EXPECT_EQ(ramp[13], 0xFDFDFDu);  // 253.521...
    EXPECT_EQ(ramp[254], 0xE2E2E2u); // 226.113...
    EXPECT_EQ(ramp[255], LightGrey);

    // Each channel on its own: red falls by exactly 1, green rises by 1, blue rises by 190/255.
    box.SetColarray(RGBColor(255, 0, 10), RGBColor(0, 255, 200), TGradStyle::gsLeftRight);
    EXPECT_EQ(ramp[1], RGBColor(254, 1, 10));
    EXPECT_EQ(ramp[128], RGBColor(127, 128, 105));
    EXPECT_EQ(ramp[254], RGBColor(1, 254, 199));
}

TEST(GradientBoxTest, ReversedStylesStartTheRampAtLastColor) {
    TGradBox box;
    for (TGradStyle style : {TGradStyle::gsBottomTop, TGradStyle::gsRightLeft}) {
        box.SetColarray(0x0000FF, 0xFF0000, style);
        EXPECT_EQ(box.Colarray()[0], 0xFF0000u);
        EXPECT_EQ(box.Colarray()[255], 0x0000FFu);
    }
    const auto before = box.Colarray();
    box.SetColarray(clBlack, clWhite, TGradStyle::gsNone);
    EXPECT_EQ(box.Colarray(), before);
}

TEST(GradientBoxTest, TwentyPixelStripShowsTheLastBandsDrawn) {
    TGradBox box;
    box.resize(232, 20);
    box.SetTopColor(clWhite);
    box.SetLastColor(LightGrey);
    const QImage image = Grab(box);

    EXPECT_EQ(At(image, 5, 0), Rgb(253, 253, 253));    // Colarray[13]
    EXPECT_EQ(At(image, 231, 19), Rgb(226, 226, 226)); // Colarray[255]
    for (int y = 0; y < 20; ++y) {
        EXPECT_NE(At(image, 100, y), Rgb(255, 255, 255)) << "row " << y;
        if (y > 0) {
            EXPECT_LE(qRed(At(image, 100, y)), qRed(At(image, 100, y - 1))) << "row " << y;
        }
    }
}

TEST(GradientBoxTest, BoxOf255RowsShowsEntryRowPlusOne) {
    TGradBox box;
    box.resize(7, 255);
    box.SetTopColor(RGBColor(0, 40, 255));
    box.SetLastColor(RGBColor(255, 90, 0));
    const QImage image = Grab(box);
    for (int r = 0; r <= 254; ++r)
        ASSERT_EQ(At(image, 3, r), Resolved(box, box.Colarray()[r + 1])) << "row " << r;
}

TEST(GradientBoxTest, EachStylePutsItsColoursAtTheRightEnds) {
    struct Case {
        TGradStyle style;
        QPoint firstEnd; // where the ramp starts (its entry 255 is never drawn there)
        QPoint lastEnd;  // the exact last colour of the ramp
        QRgb lastColor;
    };
    const QRgb red = Rgb(255, 0, 0);
    const QRgb blue = Rgb(0, 0, 255);
    const Case cases[] = {
        {TGradStyle::gsTopBottom, {10, 0}, {10, 19}, blue},
        {TGradStyle::gsBottomTop, {10, 0}, {10, 19}, red},
        {TGradStyle::gsLeftRight, {0, 10}, {19, 10}, blue},
        {TGradStyle::gsRightLeft, {0, 10}, {19, 10}, red},
    };
    for (const Case& c : cases) {
        TGradBox box;
        box.resize(20, 20);
        box.SetTopColor(0x0000FF);  // red
        box.SetLastColor(0xFF0000); // blue
        box.SetGradStyle(c.style);
        const QImage image = Grab(box);
        EXPECT_EQ(At(image, c.lastEnd.x(), c.lastEnd.y()), c.lastColor) << int(c.style);
        const QRgb first = At(image, c.firstEnd.x(), c.firstEnd.y());
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
    auto* box = new TGradBox(&parent);
    box->setGeometry(10, 10, 50, 40);
    box->SetGradStyle(TGradStyle::gsNone);
    box->SetDrawOutLine(true);
    box->SetOutLineColor(0x0000FF);
    const auto ramp = box->Colarray();

    const QImage image = Grab(parent);
    EXPECT_EQ(At(image, 35, 30), Rgb(10, 200, 30));
    EXPECT_EQ(At(image, 11, 11), Rgb(10, 200, 30));
    for (QPoint p : {QPoint(10, 10), QPoint(59, 10), QPoint(10, 49), QPoint(59, 49), QPoint(35, 10),
                     QPoint(35, 49), QPoint(10, 30), QPoint(59, 30)})
        EXPECT_EQ(At(image, p.x(), p.y()), Rgb(255, 0, 0)) << p.x() << "," << p.y();
    EXPECT_EQ(At(image, 9, 9), Rgb(10, 200, 30));
    EXPECT_EQ(At(image, 60, 50), Rgb(10, 200, 30));
    EXPECT_EQ(box->Colarray(), ramp);
}

TEST(GradientBoxTest, SystemColourStaysInTheRampAndIsResolvedWhenDrawn) {
    TGradBox box;
    QPalette palette = box.palette();
    palette.setColor(QPalette::Button, QColor(10, 20, 30));
    palette.setColor(QPalette::ToolTipBase, QColor(1, 2, 3));
    box.setPalette(palette);
    box.resize(20, 20);
    box.SetTopColor(clBtnFace);
    box.SetLastColor(SystemColorBase + 24); // info background

    const QImage image = Grab(box);
    EXPECT_EQ(box.Colarray()[0], clBtnFace);
    EXPECT_EQ(box.Colarray()[255], SystemColorBase + 24);
    EXPECT_EQ(box.Colarray()[1], RGBColor(9, 19, 29)); // 10 - 9/255, ... truncated
    EXPECT_EQ(At(image, 10, 19), Rgb(1, 2, 3));
}

TEST(GradientBoxTest, SettersRepaintOnlyWhenTheirTableSaysSo) {
    struct Case {
        const char* name;
        std::function<void(TGradBox&)> prepare;
        std::function<void(TGradBox&)> change;
        bool repaints;
    };
    const auto nothing = [](TGradBox&) {};
    const Case cases[] = {
        {"OutLineColor without outline", nothing, [](TGradBox& b) { b.SetOutLineColor(0xFF); },
         false},
        {"OutLineColor with outline", [](TGradBox& b) { b.SetDrawOutLine(true); },
         [](TGradBox& b) { b.SetOutLineColor(0xFF); }, true},
        {"FontDepth without Font3D", nothing, [](TGradBox& b) { b.SetFontDepth(4); }, false},
        {"FontDepth with Font3D", [](TGradBox& b) { b.SetFont3D(true); },
         [](TGradBox& b) { b.SetFontDepth(4); }, true},
        {"BackFont without Font3D", nothing, [](TGradBox& b) { b.SetBackFont(0xFF); }, false},
        {"BackFont with Font3D", [](TGradBox& b) { b.SetFont3D(true); },
         [](TGradBox& b) { b.SetBackFont(0xFF); }, true},
        {"TopColor unchanged", nothing, [](TGradBox& b) { b.SetTopColor(0x008000); }, false},
        {"TopColor", nothing, [](TGradBox& b) { b.SetTopColor(0x123456); }, true},
        {"GradStyle unchanged", nothing,
         [](TGradBox& b) { b.SetGradStyle(TGradStyle::gsTopBottom); }, false},
        {"Style3D", nothing, [](TGradBox& b) { b.SetStyle3D(TFontStyle3D::fsLow3D); }, true},
        {"CaptionLeft", nothing, [](TGradBox& b) { b.SetCaptionLeft(3); }, true},
        {"Caption unchanged", [](TGradBox& b) { b.SetCaption(QStringLiteral("a")); },
         [](TGradBox& b) { b.SetCaption(QStringLiteral("a")); }, false},
        {"Caption", nothing, [](TGradBox& b) { b.SetCaption(QStringLiteral("a")); }, true},
        {"Enabled", nothing, [](TGradBox& b) { b.setEnabled(false); }, true},
    };
    for (const Case& c : cases) {
        TGradBox box;
        box.resize(60, 30);
        c.prepare(box);
        PaintCounter counter(box);
        box.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
        ASSERT_TRUE(WaitUntil([&] { return counter.count > 0; })) << c.name; // the first paint
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
        counter.count = 0;

        c.change(box);
        if (c.repaints) {
            EXPECT_TRUE(WaitUntil([&] { return counter.count > 0; }, 3000)) << c.name;
        } else {
            for (int i = 0; i < 5; ++i)
                QCoreApplication::processEvents();
            EXPECT_EQ(counter.count, 0) << c.name;
        }
    }
}

TEST(GradientBoxTest, CaptionIsDrawnInItsFiveWays) {
    installFontSubstitutions();
    const QRgb fontColor = Rgb(0, 0, 255);
    const QRgb yellow = Rgb(255, 255, 0);
    const QRgb white = Rgb(255, 255, 255);
    const QRgb grey = Rgb(128, 128, 128);
    struct Case {
        const char* name;
        bool enabled;
        bool font3D;
        TFontStyle3D style;
        int depth;
        QSet<QRgb> present;
        QSet<QRgb> absent;
        int shadowSide; // +1: shadow right of the caption, -1: left, 0: none
    };
    const Case cases[] = {
        {"plain", true, false, TFontStyle3D::fsLow3D, 3, {fontColor}, {yellow, white, grey}, 0},
        {"low shadow", true, true, TFontStyle3D::fsLowShadow, 2, {fontColor, yellow}, {}, +1},
        {"raise shadow", true, true, TFontStyle3D::fsRaiseShadow, 2, {fontColor, yellow}, {}, -1},
        {"low 3D", true, true, TFontStyle3D::fsLow3D, 3, {fontColor, yellow}, {}, +1},
        {"raise 3D", true, true, TFontStyle3D::fsRaise3D, 3, {fontColor, yellow}, {}, -1},
        {"raise 3D without depth",
         true,
         true,
         TFontStyle3D::fsRaise3D,
         0,
         {fontColor},
         {yellow},
         0},
        {"disabled", false, true, TFontStyle3D::fsLow3D, 3, {white, grey}, {fontColor, yellow}, 0},
    };
    for (const Case& c : cases) {
        TGradBox box;
        box.resize(80, 40);
        box.SetTopColor(clBlack);
        box.SetLastColor(clBlack);
        QFont font = designFont(20, true);
        font.setStyleStrategy(QFont::NoAntialias);
        box.setFont(font);
        QPalette palette = box.palette();
        palette.setColor(QPalette::WindowText, QColor(fontColor));
        box.setPalette(palette);
        box.SetCaption(QStringLiteral("■■"));
        box.SetCaptionLeft(8);
        box.SetCaptionTop(8);
        box.SetBackFont(0x00FFFF);
        box.SetFont3D(c.font3D);
        box.SetStyle3D(c.style);
        box.SetFontDepth(std::uint8_t(c.depth));
        box.setEnabled(c.enabled);

        const QImage image = Grab(box);
        const QSet<QRgb> colors = ColorsIn(image, image.rect());
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
                    if (At(image, x, y) == fontColor) {
                        fontLeft = std::min(fontLeft, x);
                        fontRight = std::max(fontRight, x);
                    } else if (At(image, x, y) == yellow) {
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
