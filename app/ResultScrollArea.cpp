#include "app/ResultScrollArea.h"

#include <QResizeEvent>
#include <QScrollBar>

#include <algorithm>

TScrollBox::TScrollBox(QWidget* parent)
    : QScrollArea(parent)
    , m_content(new QWidget) {
    setWidgetResizable(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    verticalScrollBar()->setTracking(true);
    setWidget(m_content);
    FitContent();
}

void TScrollBox::SetRange(int pixels) {
    pixels = std::max(pixels, 0);
    if (pixels == m_range)
        return;
    m_range = pixels;
    FitContent();
}

void TScrollBox::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    FitContent();
}

void TScrollBox::FitContent() {
    const QSize wanted(viewport()->width(), std::max(viewport()->height(), m_range));
    if (m_content->size() != wanted) {
        m_content->resize(wanted);
        if (OnContentResize)
            OnContentResize();
    }
}
