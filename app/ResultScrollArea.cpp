#include "app/ResultScrollArea.h"

#include <QResizeEvent>
#include <QScrollBar>

#include <algorithm>

ResultScrollArea::ResultScrollArea(QWidget* parent)
    : QScrollArea(parent)
    , m_content(new QWidget) {
    setWidgetResizable(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    verticalScrollBar()->setTracking(true);
    setWidget(m_content);
    fitContent();
}

void ResultScrollArea::setRange(int pixels) {
    pixels = std::max(pixels, 0);
    if (pixels == m_range)
        return;
    m_range = pixels;
    fitContent();
}

void ResultScrollArea::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    fitContent();
}

void ResultScrollArea::fitContent() {
    const QSize wanted(viewport()->width(), std::max(viewport()->height(), m_range));
    if (m_content->size() != wanted) {
        m_content->resize(wanted);
        emit contentResized();
    }
}
