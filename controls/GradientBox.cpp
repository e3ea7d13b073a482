#include "controls/GradientBox.h"

#include <QEvent>
#include <QPainter>

TGradBox::TGradBox(QWidget* parent)
    : QWidget(parent) {
    resize(200, 100);
}

void TGradBox::SetTopColor(TColor value) {
    if (m_topColor == value)
        return;
    m_topColor = value;
    update();
}

void TGradBox::SetLastColor(TColor value) {
    if (m_lastColor == value)
        return;
    m_lastColor = value;
    update();
}

void TGradBox::SetOutLineColor(TColor value) {
    if (m_outLineColor == value)
        return;
    m_outLineColor = value;
    if (m_drawOutLine)
        update();
}

void TGradBox::SetDrawOutLine(bool value) {
    if (m_drawOutLine == value)
        return;
    m_drawOutLine = value;
    update();
}

void TGradBox::SetGradStyle(TGradStyle value) {
    if (m_gradStyle == value)
        return;
    m_gradStyle = value;
    update();
}

void TGradBox::SetFont3D(bool value) {
    if (m_font3D == value)
        return;
    m_font3D = value;
    update();
}

void TGradBox::SetFontDepth(std::uint8_t value) {
    if (m_fontDepth == value)
        return;
    m_fontDepth = value;
    if (m_font3D)
        update();
}

void TGradBox::SetStyle3D(TFontStyle3D value) {
    if (m_style3D == value)
        return;
    m_style3D = value;
    update();
}

void TGradBox::SetBackFont(TColor value) {
    if (m_backFont == value)
        return;
    m_backFont = value;
    if (m_font3D)
        update();
}

void TGradBox::SetCaptionLeft(int value) {
    if (m_captionLeft == value)
        return;
    m_captionLeft = value;
    update();
}

void TGradBox::SetCaptionTop(int value) {
    if (m_captionTop == value)
        return;
    m_captionTop = value;
    update();
}

void TGradBox::SetCaption(const QString& value) {
    if (m_caption == value)
        return;
    m_caption = value;
    update();
}

void TGradBox::GetRGB(TColor color, int& r, int& g, int& b) const {
    const QRgb rgb = ColorToRgb(color, palette());
    r = qRed(rgb);
    g = qGreen(rgb);
    b = qBlue(rgb);
}

void TGradBox::SetColarray(TColor topColor, TColor lastColor, TGradStyle gradStyle) {
    TColor first = 0;
    TColor last = 0;
    switch (gradStyle) {
    case TGradStyle::gsTopBottom:
    case TGradStyle::gsLeftRight:
        first = topColor;
        last = lastColor;
        break;
    case TGradStyle::gsBottomTop:
    case TGradStyle::gsRightLeft:
        first = lastColor;
        last = topColor;
        break;
    case TGradStyle::gsNone:
        return;
    }
    int firstRgb[3];
    int lastRgb[3];
    GetRGB(first, firstRgb[0], firstRgb[1], firstRgb[2]);
    GetRGB(last, lastRgb[0], lastRgb[1], lastRgb[2]);

    // Extended precision and a running subtraction: an entry whose exact value is a whole
    // number may land just below it and truncate one unit down, as the stored ramps do.
    long double step[3];
    long double value[3];
    for (int c = 0; c < 3; ++c) {
        step[c] = static_cast<long double>(firstRgb[c] - lastRgb[c]) / 255.0L;
        value[c] = firstRgb[c];
    }
    m_colarray[0] = first;
    for (int i = 1; i <= 254; ++i) {
        int channel[3];
        for (int c = 0; c < 3; ++c) {
            value[c] -= step[c];
            channel[c] = static_cast<int>(value[c]); // truncation toward zero
        }
        m_colarray[i] = RGBColor(channel[0], channel[1], channel[2]);
    }
    m_colarray[255] = last;
}

void TGradBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPalette& pal = palette();
    SetColarray(m_topColor, m_lastColor, m_gradStyle);

    // Bands overlap: band j starts where band j-1 started one step earlier, so on a box smaller
    // than 256 pixels each row shows the last band drawn on it.
    if (m_gradStyle == TGradStyle::gsTopBottom || m_gradStyle == TGradStyle::gsBottomTop) {
        const long double step = static_cast<long double>(height()) / 255.0L;
        const int band = static_cast<int>(step + 1);
        int top = 0;
        for (int j = 0; j <= 255; ++j) {
            painter.fillRect(QRect(0, top, width(), band), ToQColor(m_colarray[j], pal));
            top = static_cast<int>(j * step);
        }
    } else if (m_gradStyle == TGradStyle::gsLeftRight || m_gradStyle == TGradStyle::gsRightLeft) {
        const long double step = static_cast<long double>(width()) / 255.0L;
        const int band = static_cast<int>(step + 1);
        int left = 0;
        for (int i = 0; i <= 255; ++i) {
            painter.fillRect(QRect(left, 0, band, height()), ToQColor(m_colarray[i], pal));
            left = static_cast<int>(i * step);
        }
    }

    painter.setFont(font());
    if (m_drawOutLine) {
        painter.setPen(QPen(ToQColor(m_outLineColor, pal), 1));
        painter.setBrush(Qt::NoBrush);
        // A 1-pixel pen around a rectangle one pixel smaller covers the outermost pixels.
        painter.drawRect(QRect(0, 0, width() - 1, height() - 1));
    }
    DrawCaptionText(painter,
                    QRect(QPoint(m_captionLeft, m_captionTop), QPoint(width() - 1, height() - 1)));
    if (OnPaint)
        OnPaint();
}

void TGradBox::DrawCaptionText(QPainter& painter, const QRect& rect) {
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap | Qt::TextExpandTabs;
    const auto draw = [&](TColor color, int dx, int dy) {
        painter.setPen(ToQColor(color, palette()));
        painter.drawText(rect.translated(dx, dy), flags, m_caption);
    };
    const TColor fontColor = FromQColor(palette().color(QPalette::Active, QPalette::WindowText));
    const int d = m_fontDepth;

    if (!isEnabled()) {
        draw(clWhite, 1, 1);
        draw(clGray, 0, 0);
        return;
    }
    if (m_font3D) {
        switch (m_style3D) {
        case TFontStyle3D::fsLowShadow:
            draw(m_backFont, d, d);
            break;
        case TFontStyle3D::fsRaiseShadow:
            draw(m_backFont, -d, -d);
            break;
        case TFontStyle3D::fsLow3D:
            for (int k = 1; k <= d; ++k)
                draw(m_backFont, k, k);
            break;
        case TFontStyle3D::fsRaise3D:
            for (int k = 1; k <= d; ++k)
                draw(m_backFont, -k, -k);
            break;
        }
    }
    draw(fontColor, 0, 0);
}

void TGradBox::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange || event->type() == QEvent::EnabledChange)
        update();
    QWidget::changeEvent(event);
}
