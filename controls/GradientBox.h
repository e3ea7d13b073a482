#pragma once

#include "controls/Colors.h"

#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>

enum class TGradStyle : std::uint8_t { gsTopBottom, gsBottomTop, gsLeftRight, gsRightLeft, gsNone };

enum class TFontStyle3D : std::uint8_t { fsLowShadow, fsRaiseShadow, fsLow3D, fsRaise3D };

// A background box: fills its rectangle with a two-colour linear gradient, optionally draws a
// one-pixel outline and draws its caption on top (plain, shadowed or raised). It has no
// background of its own: where it paints nothing, the parent shows through. The caption is
// drawn in the font's colour, which is the palette's WindowText.
class TGradBox final : public QWidget {
    Q_OBJECT
public:
    explicit TGradBox(QWidget* parent = nullptr);

    TColor TopColor() const { return m_topColor; }
    void SetTopColor(TColor value);
    TColor LastColor() const { return m_lastColor; }
    void SetLastColor(TColor value);
    TColor OutLineColor() const { return m_outLineColor; }
    void SetOutLineColor(TColor value);
    bool DrawOutLine() const { return m_drawOutLine; }
    void SetDrawOutLine(bool value);
    TGradStyle GradStyle() const { return m_gradStyle; }
    void SetGradStyle(TGradStyle value);
    bool Font3D() const { return m_font3D; }
    void SetFont3D(bool value);
    std::uint8_t FontDepth() const { return m_fontDepth; }
    void SetFontDepth(std::uint8_t value);
    TFontStyle3D Style3D() const { return m_style3D; }
    void SetStyle3D(TFontStyle3D value);
    TColor BackFont() const { return m_backFont; }
    void SetBackFont(TColor value);
    int CaptionLeft() const { return m_captionLeft; }
    void SetCaptionLeft(int value);
    int CaptionTop() const { return m_captionTop; }
    void SetCaptionTop(int value);
    QString Caption() const { return m_caption; }
    void SetCaption(const QString& value);

    // Called at the end of every paint, when assigned.
    std::function<void()> OnPaint;

    // The ramp of the last paint: entry 0 and entry 255 are the first and last colour exactly as
    // given (a system colour stays one), entries 1 to 254 are RGB values.
    const std::array<TColor, 256>& Colarray() const { return m_colarray; }
    // Fills Colarray for a style; leaves it untouched for gsNone.
    void SetColarray(TColor topColor, TColor lastColor, TGradStyle gradStyle);
    // Splits a colour into its channels, resolving a system colour through the palette.
    void GetRGB(TColor color, int& r, int& g, int& b) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void DrawCaptionText(QPainter& painter, const QRect& rect);

    TColor m_topColor = clGreen;
    TColor m_lastColor = clLime;
    TColor m_outLineColor = clBlack;
    bool m_drawOutLine = false;
    TGradStyle m_gradStyle = TGradStyle::gsTopBottom;
    bool m_font3D = false;
    std::uint8_t m_fontDepth = 1;
    TFontStyle3D m_style3D = TFontStyle3D::fsRaise3D;
    TColor m_backFont = clYellow;
    int m_captionLeft = 10;
    int m_captionTop = 10;
    QString m_caption;
    std::array<TColor, 256> m_colarray{};
};
