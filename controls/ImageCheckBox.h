#pragma once

#include "controls/Colors.h"

#include <QEvent>
#include <QImage>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>

class QPainter;

enum class TdxfCBAlignment : std::uint8_t { taLeftJustify, taRightJustify };

// The notice a check box sends to every child of its parent when it becomes checked, so that
// the other members of its group clear their mark.
class TButtonPressedEvent final : public QEvent {
public:
    TButtonPressedEvent(int groupIndex, QWidget* sender);
    static QEvent::Type EventType();

    int GroupIndex() const { return m_groupIndex; }
    QWidget* Sender() const { return m_sender; }

private:
    int m_groupIndex;
    QWidget* m_sender;
};

// A check box that draws itself: its box is one of the built-in picture styles (the shared
// strip) or two pictures of the owner's, with the caption on the right or the left of it.
// Boxes that share a parent and a nonzero GroupIndex act like radio buttons. Every pixel is
// painted through the shared PaintBuffer. The background is the parent's background colour
// unless SetColor() gave one; the caption is drawn in the palette's WindowText.
class TdxfCheckBox final : public QWidget {
    Q_OBJECT
public:
    explicit TdxfCheckBox(QWidget* parent = nullptr);

    bool Checked() const { return m_checked; }
    void SetChecked(bool value);
    bool AutoSize() const { return m_autoSize; }
    void SetAutoSize(bool value);
    TdxfCBAlignment Alignment() const { return m_alignment; }
    void SetAlignment(TdxfCBAlignment value);
    int GroupIndex() const { return m_groupIndex; }
    void SetGroupIndex(int value) { m_groupIndex = value; }
    bool AllowAllUp() const { return m_allowAllUp; }
    void SetAllowAllUp(bool value) { m_allowAllUp = value; }
    const QImage& GlyphChecked() const { return m_glyphChecked; }
    void SetGlyphChecked(const QImage& value);
    const QImage& GlyphUnChecked() const { return m_glyphUnChecked; }
    void SetGlyphUnChecked(const QImage& value);
    int Style() const { return m_style; }
    void SetStyle(int value);
    QString Caption() const { return m_caption; }
    void SetCaption(const QString& value);

    // The background: SetColor() stores a colour and clears ParentColor; with ParentColor (the
    // default) the parent's background colour is used.
    TColor Color() const { return m_color; }
    void SetColor(TColor value);
    bool ParentColor() const { return m_parentColor; }
    void SetParentColor(bool value);

    // Called on every click (mouse, double click, space) and on every change of Checked made
    // through SetChecked, when assigned.
    std::function<void()> OnClick;

    // The click operation: toggles Checked, calls OnClick once and takes the keyboard focus.
    void Click();
    // Sets the size from the pictures and the caption.
    void CalcSize();

    QSize sizeHint() const override;

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
    QSize GlyphSize() const;
    QSize AutoSizeValue() const;
    QColor BackgroundColor() const;
    void DrawImage(QPainter& painter, const QRect& rect, const QImage& bitmap, int index,
                   const QColor& background) const;
    void UpdateExclusive();
    void CMButtonPressed(const TButtonPressedEvent& message);

    bool m_checked = false;
    bool m_autoSize = true;
    TdxfCBAlignment m_alignment = TdxfCBAlignment::taRightJustify;
    int m_groupIndex = 0;
    bool m_allowAllUp = true;
    QImage m_glyphChecked;
    QImage m_glyphUnChecked;
    int m_style = 1;
    QString m_caption;
    TColor m_color = clBtnFace;
    bool m_parentColor = true;
    bool m_clickNotify = true;
    bool m_clicked = false; // a left press inside, waiting for its release
};
