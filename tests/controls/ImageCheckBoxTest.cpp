#include "Pixels.h"
#include "TestUtil.h"

#include "controls/CheckBoxStrip.h"
#include "controls/ImageCheckBox.h"
#include "platform/Fonts.h"

#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

constexpr QRgb White = rgb(255, 255, 255);
constexpr QRgb Magenta = rgb(255, 0, 255);

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

    ImageCheckBox* addBox(const QString& caption = QString()) {
        auto* box = new ImageCheckBox(&panel);
        QFont font = designFont(12, true);
        font.setStyleStrategy(QFont::NoAntialias);
        box->setFont(font);
        QPalette palette = box->palette();
        palette.setColor(QPalette::WindowText, Qt::black);
        box->setPalette(palette);
        box->setCaption(caption);
        box->move(4, 4 + 20 * int(panel.children().size() - 1));
        return box;
    }

    void showActive() {
        panel.show();
        QApplication::setActiveWindow(&panel);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
    }

    // Expects the 18 x 18 frame of the strip at (left, top) of an image, its magenta shown as
    // the background.
    static void expectFrame(const QImage& image, int left, int top, int frame, QRgb background) {
        const QImage& strip = checkBoxStrip();
        for (int y = 0; y < 18; ++y) {
            for (int x = 0; x < 18; ++x) {
                QRgb expected = strip.pixel(18 * frame + x, y) & 0x00FFFFFF;
                if (expected == Magenta)
                    expected = background;
                ASSERT_EQ(pixelAt(image, left + x, top + y), expected)
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
        if (event->type() == GroupCheckedEvent::eventType())
            ++count;
        return false;
    }
};

void userClick(QWidget& widget) {
    QTest::mouseClick(&widget, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
}

void userDoubleClick(QWidget& widget) {
    // What the window system delivers: press, release, the second press as a double click,
    // release.
    const QPoint p(5, 5);
    QTest::mousePress(&widget, Qt::LeftButton, Qt::NoModifier, p);
    QTest::mouseRelease(&widget, Qt::LeftButton, Qt::NoModifier, p);
    QTest::mouseDClick(&widget, Qt::LeftButton, Qt::NoModifier, p);
    QTest::mouseRelease(&widget, Qt::LeftButton, Qt::NoModifier, p);
}

void sendKey(QWidget& widget, QEvent::Type type, bool autoRepeat) {
    QKeyEvent event(type, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), autoRepeat);
    QApplication::sendEvent(&widget, &event);
}

} // namespace

TEST_F(ImageCheckBoxTest, CreatedAsDesigned) {
    ImageCheckBox box;
    EXPECT_EQ(box.size(), QSize(100, 17));
    EXPECT_FALSE(box.isChecked());
    EXPECT_TRUE(box.autoSize());
    EXPECT_EQ(box.captionSide(), ImageCheckBox::CaptionSide::Right);
    EXPECT_EQ(box.groupIndex(), 0);
    EXPECT_TRUE(box.allowAllUnchecked());
    EXPECT_EQ(box.boxStyle(), 1);
    EXPECT_EQ(box.focusPolicy(), Qt::StrongFocus);
}

TEST_F(ImageCheckBoxTest, StyleIsClampedToTheBuiltInStyles) {
    ASSERT_EQ(checkBoxStyleCount(), 14);
    const std::pair<int, int> cases[] = {{0, 1},   {-5, 1},  {1, 1},    {7, 7},
                                         {14, 14}, {15, 14}, {1000, 14}};
    ImageCheckBox* box = addBox();
    for (auto [given, kept] : cases) {
        box->setBoxStyle(given);
        EXPECT_EQ(box->boxStyle(), kept) << given;
    }
}

TEST_F(ImageCheckBoxTest, AutomaticSizeFollowsPictureAndCaption) {
    ImageCheckBox* box = addBox();
    EXPECT_LE(QFontMetrics(designFont(12, true)).height() + 2, 18);
    EXPECT_EQ(box->size(), QSize(22, 18));

    box->setCaption(QStringLiteral("猫の動画 Wg"));
    EXPECT_EQ(box->width(), box->fontMetrics().horizontalAdvance(box->caption()) + 22);
    EXPECT_EQ(box->height(), 18);

    box->setAutoSize(false);
    box->setCaption(QString());
    EXPECT_GT(box->width(), 22);
    box->setAutoSize(true);
    EXPECT_EQ(box->size(), QSize(22, 18));

    QImage glyph(30, 24, QImage::Format_RGB32);
    glyph.fill(Qt::red);
    box->setCheckedPicture(glyph);
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
        ImageCheckBox* box = addBox();
        box->setChecked(c.checked);
        box->setEnabled(c.enabled);
        const QImage image = grab(*box);
        ASSERT_EQ(image.size(), QSize(22, 18));
        expectFrame(image, 0, 0, c.frame, White);
        EXPECT_EQ(colorsIn(image, QRect(18, 0, 4, 18)), QSet<QRgb>{White});
    }

    ImageCheckBox* styled = addBox();
    styled->setBoxStyle(6);
    styled->setChecked(true);
    styled->setEnabled(false);
    expectFrame(grab(*styled), 0, 0, 4 * 5 + 3, White);
}

TEST_F(ImageCheckBoxTest, OwnPictureIsShownCentredWithItsBottomLeftColourTransparent) {
    ImageCheckBox* box = addBox();
    QImage glyph(10, 10, QImage::Format_RGB32);
    glyph.fill(Qt::red);
    glyph.setPixel(0, 9, qRgb(0, 255, 0)); // the transparent colour
    glyph.setPixel(9, 9, qRgb(0, 255, 0));
    box->setCheckedPicture(glyph);
    box->setChecked(true);
    box->setEnabled(false); // the same picture when disabled

    // Picture area 18 x 18 (the unchecked picture is still the built-in one): the 10 x 10
    // picture is centred at (4, 4).
    const QImage image = grab(*box);
    EXPECT_EQ(pixelAt(image, 4, 4), rgb(255, 0, 0));
    EXPECT_EQ(pixelAt(image, 13, 12), rgb(255, 0, 0));
    EXPECT_EQ(pixelAt(image, 4, 13), White);
    EXPECT_EQ(pixelAt(image, 13, 13), White);
    EXPECT_EQ(pixelAt(image, 3, 4), White);
    EXPECT_EQ(pixelAt(image, 14, 4), White);
}

TEST_F(ImageCheckBoxTest, BackgroundIsTheParentsUnlessAColourIsSet) {
    ImageCheckBox* box = addBox();
    EXPECT_EQ(pixelAt(grab(*box), 20, 9), White);
    box->setBackgroundColor(0x00FF00);
    EXPECT_FALSE(box->usesParentBackground());
    const QImage image = grab(*box);
    EXPECT_EQ(pixelAt(image, 20, 9), rgb(0, 255, 0));
    expectFrame(image, 0, 0, 0, rgb(0, 255, 0));
}

TEST_F(ImageCheckBoxTest, CaptionIsEmbossedWhenDisabled) {
    ImageCheckBox* box = addBox(QStringLiteral("■■■"));
    const QRect captionArea(18, 0, box->width() - 18, box->height());
    const QSet<QRgb> enabled = colorsIn(grab(*box), captionArea);
    EXPECT_TRUE(enabled.contains(rgb(0, 0, 0)));
    EXPECT_FALSE(enabled.contains(rgb(128, 128, 128)));

    box->setEnabled(false);
    const QSet<QRgb> disabled = colorsIn(grab(*box), captionArea);
    EXPECT_TRUE(disabled.contains(rgb(128, 128, 128)));
    EXPECT_FALSE(disabled.contains(rgb(0, 0, 0)));
}

TEST_F(ImageCheckBoxTest, LeftJustifiedCaptionKeepsClearOfThePicture) {
    ImageCheckBox* box = addBox(QStringLiteral("■■■■■■■■"));
    box->setAutoSize(false);
    box->resize(40, 18);
    box->setCaptionSide(ImageCheckBox::CaptionSide::Left);
    box->setChecked(true);
    const QImage image = grab(*box);
    expectFrame(image, 22, 0, 1, White);
    EXPECT_TRUE(colorsIn(image, QRect(0, 0, 20, 18)).contains(rgb(0, 0, 0)));
    EXPECT_EQ(colorsIn(image, QRect(20, 0, 2, 18)), QSet<QRgb>{White});
}

TEST_F(ImageCheckBoxTest, ClickedIsEmittedForEachKindOfChange) {
    struct Case {
        const char* name;
        std::function<void(ImageCheckBox&)> act;
        int calls;
        bool checked;
    };
    const Case cases[] = {
        {"user click", [](ImageCheckBox& b) { userClick(b); }, 1, true},
        {"press inside, release outside",
         [](ImageCheckBox& b) {
             QTest::mousePress(&b, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
             QTest::mouseRelease(&b, Qt::LeftButton, Qt::NoModifier, QPoint(50, 50));
         },
         0, false},
        {"right click", [](ImageCheckBox& b) { QTest::mouseClick(&b, Qt::RightButton); }, 0, false},
        {"code change", [](ImageCheckBox& b) { b.setChecked(true); }, 1, true},
        {"code sets the current value", [](ImageCheckBox& b) { b.setChecked(false); }, 0, false},
        {"click()", [](ImageCheckBox& b) { b.click(); }, 1, true},
        {"double click", [](ImageCheckBox& b) { userDoubleClick(b); }, 2, false},
        {"space pressed", [](ImageCheckBox& b) { sendKey(b, QEvent::KeyPress, false); }, 0, false},
        {"space pressed and released",
         [](ImageCheckBox& b) {
             sendKey(b, QEvent::KeyPress, false);
             sendKey(b, QEvent::KeyRelease, false);
         },
         1, true},
        {"space held down",
         [](ImageCheckBox& b) {
             sendKey(b, QEvent::KeyPress, false);
             sendKey(b, QEvent::KeyRelease, true);
             sendKey(b, QEvent::KeyPress, true);
             sendKey(b, QEvent::KeyRelease, true);
             sendKey(b, QEvent::KeyPress, true);
         },
         0, false},
    };
    for (const Case& c : cases) {
        ImageCheckBox* box = addBox();
        int calls = 0;
        bool checkedInHandler = false;
        QObject::connect(box, &ImageCheckBox::clicked, [&] {
            ++calls;
            checkedInHandler = box->isChecked();
        });
        c.act(*box);
        EXPECT_EQ(calls, c.calls) << c.name;
        EXPECT_EQ(box->isChecked(), c.checked) << c.name;
        if (c.calls == 1) {
            EXPECT_EQ(checkedInHandler, c.checked) << c.name;
        }
    }
}

TEST_F(ImageCheckBoxTest, GroupWithoutAllowAllUncheckedActsLikeRadioButtons) {
    ImageCheckBox* a = addBox();
    ImageCheckBox* b = addBox();
    ImageCheckBox* c = addBox();
    ImageCheckBox* other = addBox(); // another group
    for (ImageCheckBox* box : {a, b, c}) {
        box->setGroupIndex(1);
        box->setAllowAllUnchecked(false);
    }
    other->setGroupIndex(2);
    other->setChecked(true);
    int aCalls = 0;
    int bCalls = 0;
    QObject::connect(a, &ImageCheckBox::clicked, [&] { ++aCalls; });
    QObject::connect(b, &ImageCheckBox::clicked, [&] { ++bCalls; });

    a->setChecked(true);
    b->setChecked(true);
    EXPECT_FALSE(a->isChecked());
    EXPECT_TRUE(b->isChecked());
    EXPECT_FALSE(c->isChecked());
    EXPECT_TRUE(other->isChecked());
    EXPECT_EQ(aCalls, 1); // its own change only, not the group's clearing
    EXPECT_EQ(bCalls, 1);

    userClick(*b); // the checked member stays checked, the handler still runs once
    EXPECT_TRUE(b->isChecked());
    EXPECT_EQ(bCalls, 2);

    b->setChecked(false); // refused, but reported
    EXPECT_TRUE(b->isChecked());
    EXPECT_EQ(bCalls, 3);

    userClick(*c);
    EXPECT_TRUE(c->isChecked());
    EXPECT_FALSE(b->isChecked());
    EXPECT_FALSE(a->isChecked());
}

TEST_F(ImageCheckBoxTest, GroupAllowingAllUncheckedCanBeLeftEmpty) {
    ImageCheckBox* a = addBox();
    ImageCheckBox* b = addBox();
    ImageCheckBox* c = addBox();
    for (ImageCheckBox* box : {a, b, c})
        box->setGroupIndex(1);
    userClick(*b);
    userClick(*a);
    EXPECT_TRUE(a->isChecked());
    EXPECT_FALSE(b->isChecked());

    userClick(*a);
    EXPECT_FALSE(a->isChecked());
    EXPECT_FALSE(b->isChecked());
    EXPECT_FALSE(c->isChecked());
}

TEST_F(ImageCheckBoxTest, GroupZeroBoxesAreIndependentAndSendNoNotice) {
    ImageCheckBox* a = addBox();
    ImageCheckBox* b = addBox();
    NoticeCounter notices(*b);
    a->setChecked(true);
    userClick(*b);
    EXPECT_TRUE(a->isChecked());
    EXPECT_TRUE(b->isChecked());
    EXPECT_EQ(notices.count, 0);

    a->setGroupIndex(3);
    b->setGroupIndex(3);
    a->setChecked(false);
    a->setChecked(true);
    EXPECT_EQ(notices.count, 1);
    EXPECT_FALSE(b->isChecked());
}

TEST_F(ImageCheckBoxTest, FocusRectangleOnlyAroundACaption) {
    showActive();
    for (const QString& caption : {QString(), QStringLiteral("猫の動画")}) {
        ImageCheckBox* box = addBox(caption);
        box->show();
        const QImage unfocused = grab(*box);
        box->setFocus();
        ASSERT_TRUE(waitUntil([&] { return box->hasFocus(); }));
        const QImage focused = grab(*box);
        if (caption.isEmpty()) {
            EXPECT_EQ(focused, unfocused);
        } else {
            // The dotted rectangle's left edge: column w + 2, left of the caption's text.
            const QRect leftEdge(20, 0, 1, box->height());
            EXPECT_EQ(colorsIn(unfocused, leftEdge), QSet<QRgb>{White});
            EXPECT_EQ(colorsIn(focused, leftEdge), (QSet<QRgb>{White, rgb(0, 0, 0)}));
        }
    }
}

TEST_F(ImageCheckBoxTest, ClickTakesTheFocus) {
    showActive();
    ImageCheckBox* first = addBox(QStringLiteral("a"));
    ImageCheckBox* second = addBox(QStringLiteral("b"));
    first->show();
    second->show();
    first->setFocus();
    ASSERT_TRUE(waitUntil([&] { return first->hasFocus(); }));
    userClick(*second);
    EXPECT_TRUE(waitUntil([&] { return second->hasFocus(); }));
}

// What a screen reader finds: a check box named by its caption, with its mark, which it can
// toggle as a click does.
TEST_F(ImageCheckBoxTest, AScreenReaderSeesACheckBoxItCanToggle) {
    ImageCheckBox* box = addBox(QStringLiteral("猫の動画"));
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(box);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->role(), QAccessible::CheckBox);
    EXPECT_EQ(accessible->text(QAccessible::Name), QStringLiteral("猫の動画"));
    EXPECT_TRUE(accessible->state().checkable);
    EXPECT_FALSE(accessible->state().checked);
    box->setChecked(true);
    EXPECT_TRUE(accessible->state().checked);

    QSignalSpy clicked(box, &ImageCheckBox::clicked);
    QAccessibleActionInterface* actions = accessible->actionInterface();
    ASSERT_NE(actions, nullptr);
    ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::toggleAction()));
    actions->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(clicked.size(), 1);
    box->setEnabled(false);
    actions->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_FALSE(box->isChecked());

    box->setAccessibleName(QStringLiteral("視聴済み"));
    EXPECT_EQ(accessible->text(QAccessible::Name), QStringLiteral("視聴済み"));
}

TEST_F(ImageCheckBoxTest, WithoutTheStripNoBuiltInPictureIsDrawn) {
    struct RestoreStrip {
        ~RestoreStrip() { loadCheckBoxStrip(CheckBoxStripResource); }
    } restore;
    loadCheckBoxStrip(QStringLiteral(":/no-such-picture"));
    ASSERT_TRUE(checkBoxStrip().isNull());
    EXPECT_EQ(checkBoxStyleCount(), 0);

    ImageCheckBox* box = addBox();
    box->setChecked(true);
    box->fitToContent();
    EXPECT_EQ(box->width(), 4);
    EXPECT_EQ(colorsIn(grab(*box), box->rect()), QSet<QRgb>{White});

    QImage glyph(8, 8, QImage::Format_RGB32);
    glyph.fill(Qt::blue);
    glyph.setPixel(0, 7, qRgb(0, 255, 0)); // transparent
    box->setCheckedPicture(glyph);
    EXPECT_EQ(box->width(), 12);
    EXPECT_TRUE(colorsIn(grab(*box), box->rect()).contains(rgb(0, 0, 255)));
}
