#include "Pixels.h"
#include "TestUtil.h"

#include "controls/ImageCheckBox.h"
#include "controls/CheckBoxStrip.h"
#include "platform/Fonts.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

constexpr QRgb White = Rgb(255, 255, 255);
constexpr QRgb Magenta = Rgb(255, 0, 255);

// A white slot panel holding image check boxes in the result slots' font.
class ImageCheckBoxTest : public ::testing::Test {
protected:
    ImageCheckBoxTest() {
        installFontSubstitutions();
        QPalette palette = panel.palette();
        palette.setColor(QPalette::Window, Qt::white);
        panel.setPalette(palette);
        panel.setAutoFillBackground(true);
        panel.resize(234, 120);
    }

    TdxfCheckBox* AddBox(const QString& caption = QString()) {
        auto* box = new TdxfCheckBox(&panel);
        QFont font = designFont(12, true);
        font.setStyleStrategy(QFont::NoAntialias);
        box->setFont(font);
        QPalette palette = box->palette();
        palette.setColor(QPalette::WindowText, Qt::black);
        box->setPalette(palette);
        box->SetCaption(caption);
        box->move(4, 4 + 20 * int(panel.children().size() - 1));
        return box;
    }

    void ShowActive() {
        panel.show();
        QApplication::setActiveWindow(&panel);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
    }

    // Expects the 18 x 18 frame of the strip at (left, top) of an image, its magenta shown as
    // the background.
    static void ExpectFrame(const QImage& image, int left, int top, int frame, QRgb background) {
        const QImage& strip = CheckBoxStrip();
        for (int y = 0; y < 18; ++y) {
            for (int x = 0; x < 18; ++x) {
                QRgb expected = strip.pixel(18 * frame + x, y) & 0x00FFFFFF;
                if (expected == Magenta)
                    expected = background;
                ASSERT_EQ(At(image, left + x, top + y), expected)
                    << "frame " << frame << " at " << x << "," << y;
            }
        }
    }

    QWidget panel;
};

// Counts the group notices a widget receives.
class NoticeCounter final : public QObject {
public:
    explicit NoticeCounter(QWidget& widget) { widget.installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == TButtonPressedEvent::EventType())
            ++count;
        return false;
    }
};

void UserClick(QWidget& widget) {
    QTest::mouseClick(&widget, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
}

void UserDoubleClick(QWidget& widget) {
    // What the window system delivers: press, release, the second press as a double click,
    // release.
    const QPoint p(5, 5);
    QTest::mousePress(&widget, Qt::LeftButton, Qt::NoModifier, p);
    QTest::mouseRelease(&widget, Qt::LeftButton, Qt::NoModifier, p);
    QTest::mouseDClick(&widget, Qt::LeftButton, Qt::NoModifier, p);
    QTest::mouseRelease(&widget, Qt::LeftButton, Qt::NoModifier, p);
}

void SendKey(QWidget& widget, QEvent::Type type, bool autoRepeat) {
    QKeyEvent event(type, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), autoRepeat);
    QApplication::sendEvent(&widget, &event);
}

} // namespace

TEST_F(ImageCheckBoxTest, CreatedAsDesigned) {
    TdxfCheckBox box;
    EXPECT_EQ(box.size(), QSize(100, 17));
    EXPECT_FALSE(box.Checked());
    EXPECT_TRUE(box.AutoSize());
    EXPECT_EQ(box.Alignment(), TdxfCBAlignment::taRightJustify);
    EXPECT_EQ(box.GroupIndex(), 0);
    EXPECT_TRUE(box.AllowAllUp());
    EXPECT_EQ(box.Style(), 1);
    EXPECT_EQ(box.focusPolicy(), Qt::StrongFocus);
}

TEST_F(ImageCheckBoxTest, StyleIsClampedToTheBuiltInStyles) {
    ASSERT_EQ(CheckBoxStyleCount(), 14);
    const std::pair<int, int> cases[] = {{0, 1},   {-5, 1},  {1, 1},    {7, 7},
                                         {14, 14}, {15, 14}, {1000, 14}};
    TdxfCheckBox* box = AddBox();
    for (auto [given, kept] : cases) {
        box->SetStyle(given);
        EXPECT_EQ(box->Style(), kept) << given;
    }
}

TEST_F(ImageCheckBoxTest, AutomaticSizeFollowsPictureAndCaption) {
    TdxfCheckBox* box = AddBox();
    EXPECT_LE(QFontMetrics(designFont(12, true)).height() + 2, 18);
    EXPECT_EQ(box->size(), QSize(22, 18));

    box->SetCaption(QStringLiteral("猫の動画 Wg"));
    EXPECT_EQ(box->width(), box->fontMetrics().horizontalAdvance(box->Caption()) + 22);
    EXPECT_EQ(box->height(), 18);

    box->SetAutoSize(false);
    box->SetCaption(QString());
    EXPECT_GT(box->width(), 22);
    box->SetAutoSize(true);
    EXPECT_EQ(box->size(), QSize(22, 18));

    QImage glyph(30, 24, QImage::Format_RGB32);
    glyph.fill(Qt::red);
    box->SetGlyphChecked(glyph);
    EXPECT_EQ(box->size(), QSize(34, 24));
}

TEST_F(ImageCheckBoxTest, EachStateShowsItsFrame) {
    struct Case {
        bool checked;
        bool enabled;
        int frame;
    };
    const Case cases[] = {{false, true, 0}, {true, true, 1}, {false, false, 2}, {true, false, 3}};
    for (const Case& c : cases) {
        TdxfCheckBox* box = AddBox();
        box->SetChecked(c.checked);
        box->setEnabled(c.enabled);
        const QImage image = Grab(*box);
        ASSERT_EQ(image.size(), QSize(22, 18));
        ExpectFrame(image, 0, 0, c.frame, White);
        EXPECT_EQ(ColorsIn(image, QRect(18, 0, 4, 18)), QSet<QRgb>{White});
    }

    TdxfCheckBox* styled = AddBox();
    styled->SetStyle(6);
    styled->SetChecked(true);
    styled->setEnabled(false);
    ExpectFrame(Grab(*styled), 0, 0, 4 * 5 + 3, White);
}

TEST_F(ImageCheckBoxTest, OwnPictureIsShownCentredWithItsBottomLeftColourTransparent) {
    TdxfCheckBox* box = AddBox();
    QImage glyph(10, 10, QImage::Format_RGB32);
    glyph.fill(Qt::red);
    glyph.setPixel(0, 9, qRgb(0, 255, 0)); // the transparent colour
    glyph.setPixel(9, 9, qRgb(0, 255, 0));
    box->SetGlyphChecked(glyph);
    box->SetChecked(true);
    box->setEnabled(false); // the same picture when disabled

    // Picture area 18 x 18 (the unchecked picture is still the built-in one): the 10 x 10
    // picture is centred at (4, 4).
    const QImage image = Grab(*box);
    EXPECT_EQ(At(image, 4, 4), Rgb(255, 0, 0));
    EXPECT_EQ(At(image, 13, 12), Rgb(255, 0, 0));
    EXPECT_EQ(At(image, 4, 13), White);
    EXPECT_EQ(At(image, 13, 13), White);
    EXPECT_EQ(At(image, 3, 4), White);
    EXPECT_EQ(At(image, 14, 4), White);
}

TEST_F(ImageCheckBoxTest, BackgroundIsTheParentsUnlessAColourIsSet) {
    TdxfCheckBox* box = AddBox();
    EXPECT_EQ(At(Grab(*box), 20, 9), White);
    box->SetColor(0x00FF00);
    EXPECT_FALSE(box->ParentColor());
    const QImage image = Grab(*box);
    EXPECT_EQ(At(image, 20, 9), Rgb(0, 255, 0));
    ExpectFrame(image, 0, 0, 0, Rgb(0, 255, 0));
}

TEST_F(ImageCheckBoxTest, CaptionIsEmbossedWhenDisabled) {
    TdxfCheckBox* box = AddBox(QStringLiteral("■■■"));
    const QRect captionArea(18, 0, box->width() - 18, box->height());
    const QSet<QRgb> enabled = ColorsIn(Grab(*box), captionArea);
    EXPECT_TRUE(enabled.contains(Rgb(0, 0, 0)));
    EXPECT_FALSE(enabled.contains(Rgb(128, 128, 128)));

    box->setEnabled(false);
    const QSet<QRgb> disabled = ColorsIn(Grab(*box), captionArea);
    EXPECT_TRUE(disabled.contains(Rgb(128, 128, 128)));
    EXPECT_FALSE(disabled.contains(Rgb(0, 0, 0)));
}

TEST_F(ImageCheckBoxTest, LeftJustifiedCaptionKeepsClearOfThePicture) {
    TdxfCheckBox* box = AddBox(QStringLiteral("■■■■■■■■"));
    box->SetAutoSize(false);
    box->resize(40, 18);
    box->SetAlignment(TdxfCBAlignment::taLeftJustify);
    box->SetChecked(true);
    const QImage image = Grab(*box);
    ExpectFrame(image, 22, 0, 1, White);
    EXPECT_TRUE(ColorsIn(image, QRect(0, 0, 20, 18)).contains(Rgb(0, 0, 0)));
    EXPECT_EQ(ColorsIn(image, QRect(20, 0, 2, 18)), QSet<QRgb>{White});
}

TEST_F(ImageCheckBoxTest, OnClickCountsForEachKindOfChange) {
    struct Case {
        const char* name;
        std::function<void(TdxfCheckBox&)> act;
        int calls;
        bool checked;
    };
    const Case cases[] = {
        {"user click", [](TdxfCheckBox& b) { UserClick(b); }, 1, true},
        {"press inside, release outside",
         [](TdxfCheckBox& b) {
             QTest::mousePress(&b, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
             QTest::mouseRelease(&b, Qt::LeftButton, Qt::NoModifier, QPoint(50, 50));
         },
         0, false},
        {"right click", [](TdxfCheckBox& b) { QTest::mouseClick(&b, Qt::RightButton); }, 0, false},
        {"code change", [](TdxfCheckBox& b) { b.SetChecked(true); }, 1, true},
        {"code sets the current value", [](TdxfCheckBox& b) { b.SetChecked(false); }, 0, false},
        {"Click", [](TdxfCheckBox& b) { b.Click(); }, 1, true},
        {"double click", [](TdxfCheckBox& b) { UserDoubleClick(b); }, 2, false},
        {"space pressed", [](TdxfCheckBox& b) { SendKey(b, QEvent::KeyPress, false); }, 0, false},
        {"space pressed and released",
         [](TdxfCheckBox& b) {
             SendKey(b, QEvent::KeyPress, false);
             SendKey(b, QEvent::KeyRelease, false);
         },
         1, true},
        {"space held down",
         [](TdxfCheckBox& b) {
             SendKey(b, QEvent::KeyPress, false);
             SendKey(b, QEvent::KeyRelease, true);
             SendKey(b, QEvent::KeyPress, true);
             SendKey(b, QEvent::KeyRelease, true);
             SendKey(b, QEvent::KeyPress, true);
         },
         0, false},
    };
    for (const Case& c : cases) {
        TdxfCheckBox* box = AddBox();
        int calls = 0;
        bool checkedInHandler = false;
        box->OnClick = [&] {
            ++calls;
            checkedInHandler = box->Checked();
        };
        c.act(*box);
        EXPECT_EQ(calls, c.calls) << c.name;
        EXPECT_EQ(box->Checked(), c.checked) << c.name;
        if (c.calls == 1) {
            EXPECT_EQ(checkedInHandler, c.checked) << c.name;
        }
    }
}

TEST_F(ImageCheckBoxTest, GroupWithoutAllowAllUpActsLikeRadioButtons) {
    TdxfCheckBox* a = AddBox();
    TdxfCheckBox* b = AddBox();
    TdxfCheckBox* c = AddBox();
    TdxfCheckBox* other = AddBox(); // another group
    for (TdxfCheckBox* box : {a, b, c}) {
        box->SetGroupIndex(1);
        box->SetAllowAllUp(false);
    }
    other->SetGroupIndex(2);
    other->SetChecked(true);
    int aCalls = 0;
    int bCalls = 0;
    a->OnClick = [&] { ++aCalls; };
    b->OnClick = [&] { ++bCalls; };

    a->SetChecked(true);
    b->SetChecked(true);
    EXPECT_FALSE(a->Checked());
    EXPECT_TRUE(b->Checked());
    EXPECT_FALSE(c->Checked());
    EXPECT_TRUE(other->Checked());
    EXPECT_EQ(aCalls, 1); // its own change only, not the group's clearing
    EXPECT_EQ(bCalls, 1);

    UserClick(*b); // the checked member stays checked, the handler still runs once
    EXPECT_TRUE(b->Checked());
    EXPECT_EQ(bCalls, 2);

    b->SetChecked(false); // refused, but reported
    EXPECT_TRUE(b->Checked());
    EXPECT_EQ(bCalls, 3);

    UserClick(*c);
    EXPECT_TRUE(c->Checked());
    EXPECT_FALSE(b->Checked());
    EXPECT_FALSE(a->Checked());
}

TEST_F(ImageCheckBoxTest, GroupWithAllowAllUpCanBeLeftEmpty) {
    TdxfCheckBox* a = AddBox();
    TdxfCheckBox* b = AddBox();
    TdxfCheckBox* c = AddBox();
    for (TdxfCheckBox* box : {a, b, c})
        box->SetGroupIndex(1);
    UserClick(*b);
    UserClick(*a);
    EXPECT_TRUE(a->Checked());
    EXPECT_FALSE(b->Checked());

    UserClick(*a);
    EXPECT_FALSE(a->Checked());
    EXPECT_FALSE(b->Checked());
    EXPECT_FALSE(c->Checked());
}

TEST_F(ImageCheckBoxTest, GroupZeroBoxesAreIndependentAndSendNoNotice) {
    TdxfCheckBox* a = AddBox();
    TdxfCheckBox* b = AddBox();
    NoticeCounter notices(*b);
    a->SetChecked(true);
    UserClick(*b);
    EXPECT_TRUE(a->Checked());
    EXPECT_TRUE(b->Checked());
    EXPECT_EQ(notices.count, 0);

    a->SetGroupIndex(3);
    b->SetGroupIndex(3);
    a->SetChecked(false);
    a->SetChecked(true);
    EXPECT_EQ(notices.count, 1);
    EXPECT_FALSE(b->Checked());
}

TEST_F(ImageCheckBoxTest, FocusRectangleOnlyAroundACaption) {
    ShowActive();
    for (const QString& caption : {QString(), QStringLiteral("猫の動画")}) {
        TdxfCheckBox* box = AddBox(caption);
        box->show();
        const QImage unfocused = Grab(*box);
        box->setFocus();
        ASSERT_TRUE(WaitUntil([&] { return box->hasFocus(); }));
        const QImage focused = Grab(*box);
        if (caption.isEmpty()) {
            EXPECT_EQ(focused, unfocused);
        } else {
            // The dotted rectangle's left edge: column w + 2, left of the caption's text.
            const QRect leftEdge(20, 0, 1, box->height());
            EXPECT_EQ(ColorsIn(unfocused, leftEdge), QSet<QRgb>{White});
            EXPECT_EQ(ColorsIn(focused, leftEdge), (QSet<QRgb>{White, Rgb(0, 0, 0)}));
        }
    }
}

TEST_F(ImageCheckBoxTest, ClickTakesTheFocus) {
    ShowActive();
    TdxfCheckBox* first = AddBox(QStringLiteral("a"));
    TdxfCheckBox* second = AddBox(QStringLiteral("b"));
    first->show();
    second->show();
    first->setFocus();
    ASSERT_TRUE(WaitUntil([&] { return first->hasFocus(); }));
    UserClick(*second);
    EXPECT_TRUE(WaitUntil([&] { return second->hasFocus(); }));
}

TEST_F(ImageCheckBoxTest, WithoutTheStripNoBuiltInPictureIsDrawn) {
    struct RestoreStrip {
        ~RestoreStrip() { LoadCheckBoxStrip(CheckBoxStripResource); }
    } restore;
    LoadCheckBoxStrip(QStringLiteral(":/no-such-picture"));
    ASSERT_TRUE(CheckBoxStrip().isNull());
    EXPECT_EQ(CheckBoxStyleCount(), 0);

    TdxfCheckBox* box = AddBox();
    box->SetChecked(true);
    box->CalcSize();
    EXPECT_EQ(box->width(), 4);
    EXPECT_EQ(ColorsIn(Grab(*box), box->rect()), QSet<QRgb>{White});

    QImage glyph(8, 8, QImage::Format_RGB32);
    glyph.fill(Qt::blue);
    glyph.setPixel(0, 7, qRgb(0, 255, 0)); // transparent
    box->SetGlyphChecked(glyph);
    EXPECT_EQ(box->width(), 12);
    EXPECT_TRUE(ColorsIn(Grab(*box), box->rect()).contains(Rgb(0, 0, 255)));
}
