#include "controls/ClickableImage.h"

#include <QMouseEvent>
#include <QPainter>

ClickableImage::ClickableImage(QWidget* parent)
    : QWidget(parent) {
    resize(120, 90);
}

void ClickableImage::setPicture(const QImage& picture) {
    m_picture = picture;
    update();
}

void ClickableImage::clear() {
    if (m_picture.isNull())
        return;
    m_picture = QImage();
    update();
}

void ClickableImage::paintEvent(QPaintEvent*) {
    if (m_picture.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), m_picture);
}

void ClickableImage::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        m_pressed = true;
    event->accept();
}

void ClickableImage::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_pressed)
        return;
    m_pressed = false;
    if (rect().contains(event->position().toPoint()))
        emit clicked();
}
