#include "controls/GradientBox.h"

#include <QEvent>
#include <QPainter>

GradientBox::GradientBox(QWidget* parent)
    : QWidget(parent) {
    resize(200, 100);
}

void GradientBox::setStartColor(DesignColor value) {
    if (m_startColor == value)
        return;
    m_startColor = value;
    update();
}

void GradientBox::setEndColor(DesignColor value) {
    if (m_endColor == value)
        return;
    m_endColor = value;
    update();
}

void GradientBox::setOutlineColor(DesignColor value) {
    if (m_outlineColor == value)
        return;
    m_outlineColor = value;
    if (m_drawsOutline)
        update();
}

void GradientBox::setDrawsOutline(bool value) {
    if (m_drawsOutline == value)
        return;
    m_drawsOutline = value;
    update();
}

void GradientBox::setDirection(Direction value) {
    if (m_direction == value)
        return;
    m_direction = value;
    update();
}

void GradientBox::setCaptionEffectEnabled(bool value) {
    if (m_captionEffectEnabled == value)
        return;
    m_captionEffectEnabled = value;
    update();
}

void GradientBox::setCaptionDepth(std::uint8_t value) {
    if (m_captionDepth == value)
        return;
    m_captionDepth = value;
    if (m_captionEffectEnabled)
        update();
}

void GradientBox::setCaptionEffect(CaptionEffect value) {
    if (m_captionEffect == value)
        return;
    m_captionEffect = value;
    update();
}

void GradientBox::setCaptionShadowColor(DesignColor value) {
    if (m_captionShadowColor == value)
        return;
    m_captionShadowColor = value;
    if (m_captionEffectEnabled)
        update();
}

void GradientBox::setCaptionLeft(int value) {
    if (m_captionLeft == value)
        return;
    m_captionLeft = value;
    update();
}

void GradientBox::setCaptionTop(int value) {
    if (m_captionTop == value)
        return;
    m_captionTop = value;
    update();
}

void GradientBox::setCaption(const QString& value) {
    if (m_caption == value)
        return;
    m_caption = value;
    update();
}

void GradientBox::rgbChannels(DesignColor color, int& r, int& g, int& b) const {
    const QRgb rgb = colorToRgb(color, palette());
    r = qRed(rgb);
    g = qGreen(rgb);
    b = qBlue(rgb);
}

void GradientBox::computeRamp(DesignColor start, DesignColor end, Direction direction) {
    DesignColor first = 0;
    DesignColor last = 0;
    switch (direction) {
    case Direction::TopToBottom:
    case Direction::LeftToRight:
        first = start;
        last = end;
        break;
    case Direction::BottomToTop:
    case Direction::RightToLeft:
        first = end;
        last = start;
        break;
    case Direction::None:
        return;
    }
    int firstRgb[3];
    int lastRgb[3];
    rgbChannels(first, firstRgb[0], firstRgb[1], firstRgb[2]);
    rgbChannels(last, lastRgb[0], lastRgb[1], lastRgb[2]);

    // Extended precision and a running subtraction: an entry whose exact value is a whole
    // number may land just below it and truncate one unit down, as the stored ramps do.
    long double step[3];
    long double value[3];
    for (int c = 0; c < 3; ++c) {
        step[c] = static_cast<long double>(firstRgb[c] - lastRgb[c]) / 255.0L;
        value[c] = firstRgb[c];
    }
    m_ramp[0] = first;
    for (int i = 1; i <= 254; ++i) {
        int channel[3];
        for (int c = 0; c < 3; ++c) {
            value[c] -= step[c];
            channel[c] = static_cast<int>(value[c]); // truncation toward zero
        }
        m_ramp[i] = designColor(channel[0], channel[1], channel[2]);
    }
    m_ramp[255] = last;
}

void GradientBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPalette& pal = palette();
    computeRamp(m_startColor, m_endColor, m_direction);

    // Bands overlap: band j starts where band j-1 started one step earlier, so on a box smaller
    // than 256 pixels each row shows the last band drawn on it.
    if (m_direction == Direction::TopToBottom || m_direction == Direction::BottomToTop) {
        const long double step = static_cast<long double>(height()) / 255.0L;
        const int band = static_cast<int>(step + 1);
        int top = 0;
        for (int j = 0; j <= 255; ++j) {
            painter.fillRect(QRect(0, top, width(), band), toQColor(m_ramp[j], pal));
            top = static_cast<int>(j * step);
        }
    } else if (m_direction == Direction::LeftToRight || m_direction == Direction::RightToLeft) {
        const long double step = static_cast<long double>(width()) / 255.0L;
        const int band = static_cast<int>(step + 1);
        int left = 0;
        for (int i = 0; i <= 255; ++i) {
            painter.fillRect(QRect(left, 0, band, height()), toQColor(m_ramp[i], pal));
            left = static_cast<int>(i * step);
        }
    }

    painter.setFont(font());
    if (m_drawsOutline) {
        painter.setPen(QPen(toQColor(m_outlineColor, pal), 1));
        painter.setBrush(Qt::NoBrush);
        // A 1-pixel pen around a rectangle one pixel smaller covers the outermost pixels.
        painter.drawRect(QRect(0, 0, width() - 1, height() - 1));
    }
    drawCaption(painter,
                QRect(QPoint(m_captionLeft, m_captionTop), QPoint(width() - 1, height() - 1)));
    emit painted();
}

void GradientBox::drawCaption(QPainter& painter, const QRect& rect) {
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap | Qt::TextExpandTabs;
    const auto draw = [&](DesignColor color, int dx, int dy) {
        painter.setPen(toQColor(color, palette()));
        painter.drawText(rect.translated(dx, dy), flags, m_caption);
    };
    const DesignColor fontColor =
        toDesignColor(palette().color(QPalette::Active, QPalette::WindowText));
    const int d = m_captionDepth;

    if (!isEnabled()) {
        draw(WhiteColor, 1, 1);
        draw(GrayColor, 0, 0);
        return;
    }
    if (m_captionEffectEnabled) {
        switch (m_captionEffect) {
        case CaptionEffect::LoweredShadow:
            draw(m_captionShadowColor, d, d);
            break;
        case CaptionEffect::RaisedShadow:
            draw(m_captionShadowColor, -d, -d);
            break;
        case CaptionEffect::Lowered3D:
            for (int k = 1; k <= d; ++k)
                draw(m_captionShadowColor, k, k);
            break;
        case CaptionEffect::Raised3D:
            for (int k = 1; k <= d; ++k)
                draw(m_captionShadowColor, -k, -k);
            break;
        }
    }
    draw(fontColor, 0, 0);
}

void GradientBox::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange || event->type() == QEvent::EnabledChange)
        update();
    QWidget::changeEvent(event);
}
