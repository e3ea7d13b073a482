#include "controls/ImageCheckBox.h"

#include "controls/CheckBoxStrip.h"
#include "platform/MessageService.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace {

enum { StateUnchecked = 0, StateChecked = 1, StateUncheckedDisabled = 2, StateCheckedDisabled = 3 };

// A dotted rectangle drawn by inverting every other pixel of its outline, so that drawing it
// twice removes it.
void drawFocusRect(QImage& image, const QRect& rect) {
    const QRect r = rect.intersected(image.rect());
    if (r.isEmpty())
        return;
    const auto invert = [&](int x, int y) {
        if ((x + y) % 2 != 0)
            return;
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        line[x] ^= 0x00FFFFFF;
    };
    for (int x = r.left(); x <= r.right(); ++x) {
        invert(x, r.top());
        if (r.bottom() != r.top())
            invert(x, r.bottom());
    }
    for (int y = r.top() + 1; y < r.bottom(); ++y) {
        invert(r.left(), y);
        if (r.right() != r.left())
            invert(r.right(), y);
    }
}

// What a screen reader sees of the box: a check box named by its caption, with its mark, that
// it can toggle.
class ImageCheckBoxAccessible final : public QAccessibleWidget {
public:
    explicit ImageCheckBoxAccessible(ImageCheckBox* box)
        : QAccessibleWidget(box, QAccessible::CheckBox) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return box()->caption();
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.checkable = true;
        state.checked = box()->isChecked();
        return state;
    }

    QStringList actionNames() const override {
        return QAccessibleWidget::actionNames() << toggleAction();
    }

    void doAction(const QString& name) override {
        if (name == toggleAction() && widget()->isEnabled())
            runCommand([this] { box()->click(); });
        else
            QAccessibleWidget::doAction(name);
    }

private:
    ImageCheckBox* box() const { return static_cast<ImageCheckBox*>(widget()); }
};

QAccessibleInterface* accessibleImageCheckBox(const QString& className, QObject* object) {
    if (className == QLatin1String("ImageCheckBox") && object && object->isWidgetType())
        return new ImageCheckBoxAccessible(static_cast<ImageCheckBox*>(object));
    return nullptr;
}

} // namespace

GroupCheckedEvent::GroupCheckedEvent(int groupIndex, QWidget* sender)
    : QEvent(eventType())
    , m_groupIndex(groupIndex)
    , m_sender(sender) {}

QEvent::Type GroupCheckedEvent::eventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

ImageCheckBox::ImageCheckBox(QWidget* parent)
    : QWidget(parent) {
    resize(100, 17);
    setFocusPolicy(Qt::StrongFocus);
    // Every pixel comes from the paint buffer: nothing to erase first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    static const bool accessible = (QAccessible::installFactory(accessibleImageCheckBox), true);
    Q_UNUSED(accessible);
}

void ImageCheckBox::setChecked(bool value) {
    const bool old = m_checked;
    if (value != old) {
        // The checked member of a group without allowAllUnchecked cannot be unchecked here.
        const bool refused = m_groupIndex != 0 && old && !(m_groupIndex > 0 && m_allowAllUnchecked);
        if (!refused) {
            m_checked = value;
            update();
            announceCheckedChange();
            if (m_groupIndex > 0 && value)
                uncheckOthersInGroup();
        }
    }
    // Also when the change was refused: every attempt to change the value is reported.
    if (m_emitClicked && value != old)
        emit clicked();
}

void ImageCheckBox::setAutoSize(bool value) {
    if (m_autoSize == value)
        return;
    m_autoSize = value;
    if (m_autoSize)
        fitToContent();
}

void ImageCheckBox::setCaptionSide(CaptionSide value) {
    if (m_captionSide == value)
        return;
    m_captionSide = value;
    update();
}

void ImageCheckBox::setCheckedPicture(const QImage& value) {
    m_checkedPicture = value;
    if (m_autoSize)
        fitToContent();
    update();
}

void ImageCheckBox::setUncheckedPicture(const QImage& value) {
    m_uncheckedPicture = value;
    if (m_autoSize)
        fitToContent();
    update();
}

void ImageCheckBox::setBoxStyle(int value) {
    // Without a strip there is nothing to choose from; the style then stays within 1.
    m_boxStyle = std::clamp(value, 1, std::max(1, checkBoxStyleCount()));
    update();
}

void ImageCheckBox::setCaption(const QString& value) {
    if (m_caption == value)
        return;
    m_caption = value;
    if (m_autoSize)
        fitToContent();
    update();
    QAccessibleEvent changed(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&changed);
}

void ImageCheckBox::announceCheckedChange() {
    QAccessible::State state;
    state.checked = true;
    QAccessibleStateChangeEvent changed(this, state);
    QAccessible::updateAccessibility(&changed);
}

void ImageCheckBox::setBackgroundColor(DesignColor value) {
    if (m_backgroundColor == value && !m_usesParentBackground)
        return;
    m_backgroundColor = value;
    m_usesParentBackground = false;
    update();
}

void ImageCheckBox::setUsesParentBackground(bool value) {
    if (m_usesParentBackground == value)
        return;
    m_usesParentBackground = value;
    update();
}

void ImageCheckBox::click() {
    {
        m_emitClicked = false;
        struct Restore {
            bool& flag;
            ~Restore() { flag = true; }
        } restore{m_emitClicked};
        setChecked(!m_checked);
    }
    emit clicked();
    setFocus(Qt::OtherFocusReason);
}

QSize ImageCheckBox::pictureSize() const {
    const QImage& strip = checkBoxStrip();
    const QSize builtIn = strip.isNull() ? QSize(0, 0) : QSize(strip.height(), strip.height());
    const QSize checked = m_checkedPicture.isNull() ? builtIn : m_checkedPicture.size();
    const QSize unchecked = m_uncheckedPicture.isNull() ? builtIn : m_uncheckedPicture.size();
    return checked.expandedTo(unchecked);
}

QSize ImageCheckBox::contentSize() const {
    const QSize glyph = pictureSize();
    const QFontMetrics fm = fontMetrics();
    const int textWidth = fm.horizontalAdvance(m_caption);
    const int textHeight = fm.size(Qt::TextSingleLine, QStringLiteral("Wg")).height();
    return QSize(textWidth + glyph.width() + 4, std::max(glyph.height(), textHeight + 2));
}

void ImageCheckBox::fitToContent() {
    resize(contentSize());
}

QSize ImageCheckBox::sizeHint() const {
    return contentSize();
}

QColor ImageCheckBox::resolvedBackground() const {
    if (!m_usesParentBackground)
        return toQColor(m_backgroundColor, palette());
    if (const QWidget* parent = parentWidget())
        return parent->palette().color(parent->backgroundRole());
    return palette().color(backgroundRole());
}

void ImageCheckBox::drawPicture(QPainter& painter, const QRect& rect, const QImage& bitmap,
                                int index, const QColor& background) const {
    QImage picture;
    if (&bitmap == &checkBoxStrip()) {
        const int side = bitmap.height();
        picture = bitmap.copy(side * ((m_boxStyle - 1) * 4 + index), 0, side, side);
    } else {
        picture = bitmap.convertToFormat(QImage::Format_ARGB32);
    }
    if (picture.isNull() || rect.isEmpty())
        return;
    const int left = (rect.width() - picture.width()) / 2;
    const int top = (rect.height() - picture.height()) / 2;
    // The picture's bottom-left pixel gives its transparent colour.
    const QRgb transparent = picture.pixel(0, picture.height() - 1) & 0x00FFFFFF;

    QImage work(rect.size(), QImage::Format_RGB32);
    work.fill(background);
    for (int y = 0; y < picture.height(); ++y) {
        const int wy = top + y;
        if (wy < 0 || wy >= work.height())
            continue;
        const auto* src = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
        auto* dst = reinterpret_cast<QRgb*>(work.scanLine(wy));
        for (int x = 0; x < picture.width(); ++x) {
            const int wx = left + x;
            if (wx < 0 || wx >= work.width())
                continue;
            const QRgb pixel = src[x];
            if ((pixel & 0x00FFFFFF) == transparent || qAlpha(pixel) == 0)
                continue;
            dst[wx] = pixel | 0xFF000000;
        }
    }
    painter.drawImage(rect.topLeft(), work);
}

void ImageCheckBox::paintEvent(QPaintEvent*) {
    const int width = this->width();
    const int height = this->height();
    if (width <= 0 || height <= 0)
        return;
    QImage& buffer = paintBuffer(width, height);
    const QColor background = resolvedBackground();
    const bool enabled = isEnabled();
    {
        QPainter painter(&buffer);
        const QSize glyph = pictureSize();
        const int w = glyph.width();
        const int h = glyph.height();
        const int glyphLeft = m_captionSide == CaptionSide::Right ? 0 : width - w;
        const QRect glyphRect(glyphLeft, (height - h) / 2, w, h);

        painter.fillRect(QRect(0, 0, width, height), background);

        const QImage& strip = checkBoxStrip();
        if (m_checked) {
            if (!m_checkedPicture.isNull())
                drawPicture(painter, glyphRect, m_checkedPicture, 0, background);
            else if (!strip.isNull())
                drawPicture(painter, glyphRect, strip,
                            enabled ? StateChecked : StateCheckedDisabled, background);
        } else {
            if (!m_uncheckedPicture.isNull())
                drawPicture(painter, glyphRect, m_uncheckedPicture, 0, background);
            else if (!strip.isNull())
                drawPicture(painter, glyphRect, strip,
                            enabled ? StateUnchecked : StateUncheckedDisabled, background);
        }

        painter.setFont(font());
        const QFontMetrics fm = fontMetrics();
        const int th = fm.height();
        const int tw = fm.horizontalAdvance(m_caption);
        const int c = (height - th) / 2;
        int left, top, right, bottom; // right and bottom exclusive
        if (m_captionSide == CaptionSide::Right) {
            left = w + 2;
            top = std::max(c - 1, 0);
            right = std::min(w + tw + 6, width);
            bottom = std::min(c + th + 1, height);
        } else {
            left = 0;
            top = std::max(c - 2, 0);
            right = std::min(tw + 2, width - w - 2);
            bottom = std::min(c + th + 2, height);
        }

        const QRect textRect(QPoint(left + 1, top + 1), QPoint(right - 2, bottom - 2));
        if (!textRect.isEmpty() && !m_caption.isEmpty()) {
            painter.setClipRect(textRect);
            const auto draw = [&](const QColor& color, int dx, int dy) {
                painter.setPen(color);
                painter.drawText(QPoint(textRect.left() + dx, textRect.top() + dy + fm.ascent()),
                                 m_caption);
            };
            if (enabled) {
                draw(palette().color(QPalette::Active, QPalette::WindowText), 0, 0);
            } else {
                draw(QColor(0xFF, 0xFF, 0xFF), 1, 1);
                draw(QColor(0x80, 0x80, 0x80), 0, 0);
            }
            painter.setClipping(false);
        }
        painter.end();

        if (hasFocus() && !m_caption.isEmpty())
            drawFocusRect(buffer, QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)));
    }
    QPainter screen(this);
    screen.drawImage(QPoint(0, 0), buffer, QRect(0, 0, width, height));
}

void ImageCheckBox::uncheckOthersInGroup() {
    QWidget* parent = parentWidget();
    if (!parent)
        return;
    GroupCheckedEvent notice(m_groupIndex, this);
    const QObjectList children = parent->children();
    for (QObject* child : children) {
        if (child->isWidgetType())
            QCoreApplication::sendEvent(child, &notice);
    }
}

void ImageCheckBox::handleGroupChecked(const GroupCheckedEvent& message) {
    if (message.groupIndex() == m_groupIndex && message.checkedBox() != this && m_checked) {
        m_checked = false;
        update();
        announceCheckedChange();
    }
}

bool ImageCheckBox::event(QEvent* event) {
    if (event->type() == GroupCheckedEvent::eventType()) {
        handleGroupChecked(static_cast<const GroupCheckedEvent&>(*event));
        return true;
    }
    return QWidget::event(event);
}

void ImageCheckBox::changeEvent(QEvent* event) {
    switch (event->type()) {
    case QEvent::FontChange:
        if (m_autoSize)
            fitToContent();
        update();
        break;
    case QEvent::EnabledChange:
    case QEvent::PaletteChange:
        update();
        break;
    default:
        break;
    }
    QWidget::changeEvent(event);
}

void ImageCheckBox::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        m_clicked = true;
    event->accept();
}

void ImageCheckBox::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_clicked)
        return;
    m_clicked = false;
    if (rect().contains(event->position().toPoint()))
        runCommand([this] { click(); });
}

void ImageCheckBox::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second press of a double click is a click of its own.
    if (event->button() == Qt::LeftButton)
        runCommand([this] { click(); });
    event->accept();
}

void ImageCheckBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void ImageCheckBox::keyReleaseEvent(QKeyEvent* event) {
    // Space acts on its release; the releases of auto-repeat are not real releases.
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
        event->accept();
        runCommand([this] { click(); });
        return;
    }
    QWidget::keyReleaseEvent(event);
}

void ImageCheckBox::focusInEvent(QFocusEvent* event) {
    update();
    QWidget::focusInEvent(event);
}

void ImageCheckBox::focusOutEvent(QFocusEvent* event) {
    update();
    QWidget::focusOutEvent(event);
}
