#pragma once

#include "controls/Colors.h"

#include <QEvent>
#include <QImage>
#include <QString>
#include <QWidget>

#include <cstdint>

class QPainter;

// The notice a check box sends to every child of its parent when it becomes checked, so that
// the other members of its group clear their mark.
class GroupCheckedEvent final : public QEvent {
public:
    GroupCheckedEvent(int groupIndex, QWidget* sender);
    static QEvent::Type eventType();

    int groupIndex() const { return m_groupIndex; }
    QWidget* checkedBox() const { return m_sender; }

private:
    int m_groupIndex;
    QWidget* m_sender;
};

// A check box that draws itself: its box is one of the built-in picture styles (the shared
// strip) or two pictures of the owner's, with the caption on the right or the left of it.
// Boxes that share a parent and a nonzero groupIndex act like radio buttons. Every pixel is
// painted through the shared paintBuffer. The background is the parent's background colour
// unless setBackgroundColor() gave one; the caption is drawn in the palette's WindowText.
class ImageCheckBox final : public QWidget {
    Q_OBJECT
public:
    // The side of the box the caption stands on.
    enum class CaptionSide : std::uint8_t { Left, Right };

    explicit ImageCheckBox(QWidget* parent = nullptr);

    bool isChecked() const { return m_checked; }
    void setChecked(bool value);
    bool autoSize() const { return m_autoSize; }
    void setAutoSize(bool value);
    CaptionSide captionSide() const { return m_captionSide; }
    void setCaptionSide(CaptionSide value);
    int groupIndex() const { return m_groupIndex; }
    void setGroupIndex(int value) { m_groupIndex = value; }
    bool allowAllUnchecked() const { return m_allowAllUnchecked; }
    void setAllowAllUnchecked(bool value) { m_allowAllUnchecked = value; }
    const QImage& checkedPicture() const { return m_checkedPicture; }
    void setCheckedPicture(const QImage& value);
    const QImage& uncheckedPicture() const { return m_uncheckedPicture; }
    void setUncheckedPicture(const QImage& value);
    int boxStyle() const { return m_boxStyle; }
    void setBoxStyle(int value);
    QString caption() const { return m_caption; }
    void setCaption(const QString& value);

    // The background: setBackgroundColor() stores a colour and clears usesParentBackground();
    // while the box uses the parent's background (the default), that colour is used.
    DesignColor backgroundColor() const { return m_backgroundColor; }
    void setBackgroundColor(DesignColor value);
    bool usesParentBackground() const { return m_usesParentBackground; }
    void setUsesParentBackground(bool value);

    // The click operation: toggles the check mark, emits clicked() once and takes the keyboard
    // focus.
    void click();
    // Sets the size from the pictures and the caption.
    void fitToContent();

    QSize sizeHint() const override;

signals:
    // Emitted on every click (mouse, double click, space) and on every change of the check mark
    // asked for through setChecked(), also when a group refuses it.
    void clicked();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QSize pictureSize() const;
    QSize contentSize() const;
    QColor resolvedBackground() const;
    void drawPicture(QPainter& painter, const QRect& rect, const QImage& bitmap, int index,
                     const QColor& background) const;
    void uncheckOthersInGroup();
    // Tells assistive technology that the mark changed.
    void announceCheckedChange();
    void handleGroupChecked(const GroupCheckedEvent& message);

    bool m_checked = false;
    bool m_autoSize = true;
    CaptionSide m_captionSide = CaptionSide::Right;
    int m_groupIndex = 0;
    bool m_allowAllUnchecked = true;
    QImage m_checkedPicture;
    QImage m_uncheckedPicture;
    int m_boxStyle = 1;
    QString m_caption;
    DesignColor m_backgroundColor = ButtonFaceColor;
    bool m_usesParentBackground = true;
    bool m_emitClicked = true;
    bool m_clicked = false; // a left press inside, waiting for its release
};
