#pragma once

#include "controls/Colors.h"

#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>

// A background box: fills its rectangle with a two-colour linear gradient, optionally draws a
// one-pixel outline and draws its caption on top (plain, shadowed or raised). It has no
// background of its own: where it paints nothing, the parent shows through. The caption is
// drawn in the font's colour, which is the palette's WindowText.
class GradientBox final : public QWidget {
    Q_OBJECT
public:
    // Where the gradient runs from the start colour to the end colour; None paints no gradient.
    enum class Direction : std::uint8_t {
        TopToBottom,
        BottomToTop,
        LeftToRight,
        RightToLeft,
        None
    };
    // How the caption stands out, drawn in the shadow colour: a shadow below right or above left,
    // or a depth of several such copies.
    enum class CaptionEffect : std::uint8_t { LoweredShadow, RaisedShadow, Lowered3D, Raised3D };

    explicit GradientBox(QWidget* parent = nullptr);

    DesignColor startColor() const { return m_startColor; }
    void setStartColor(DesignColor value);
    DesignColor endColor() const { return m_endColor; }
    void setEndColor(DesignColor value);
    DesignColor outlineColor() const { return m_outlineColor; }
    void setOutlineColor(DesignColor value);
    bool drawsOutline() const { return m_drawsOutline; }
    void setDrawsOutline(bool value);
    Direction direction() const { return m_direction; }
    void setDirection(Direction value);
    bool captionEffectEnabled() const { return m_captionEffectEnabled; }
    void setCaptionEffectEnabled(bool value);
    std::uint8_t captionDepth() const { return m_captionDepth; }
    void setCaptionDepth(std::uint8_t value);
    CaptionEffect captionEffect() const { return m_captionEffect; }
    void setCaptionEffect(CaptionEffect value);
    DesignColor captionShadowColor() const { return m_captionShadowColor; }
    void setCaptionShadowColor(DesignColor value);
    int captionLeft() const { return m_captionLeft; }
    void setCaptionLeft(int value);
    int captionTop() const { return m_captionTop; }
    void setCaptionTop(int value);
    QString caption() const { return m_caption; }
    void setCaption(const QString& value);

    // The ramp of the last paint: entry 0 and entry 255 are the first and last colour exactly as
    // given (a system colour stays one), entries 1 to 254 are RGB values.
    const std::array<DesignColor, 256>& ramp() const { return m_ramp; }
    // Fills the ramp for a direction; leaves it untouched for None.
    void computeRamp(DesignColor start, DesignColor end, Direction direction);
    // Splits a colour into its channels, resolving a system colour through the palette.
    void rgbChannels(DesignColor color, int& r, int& g, int& b) const;

signals:
    // Emitted at the end of every paint.
    void painted();

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void drawCaption(QPainter& painter, const QRect& rect);

    DesignColor m_startColor = GreenColor;
    DesignColor m_endColor = LimeColor;
    DesignColor m_outlineColor = BlackColor;
    bool m_drawsOutline = false;
    Direction m_direction = Direction::TopToBottom;
    bool m_captionEffectEnabled = false;
    std::uint8_t m_captionDepth = 1;
    CaptionEffect m_captionEffect = CaptionEffect::Raised3D;
    DesignColor m_captionShadowColor = YellowColor;
    int m_captionLeft = 10;
    int m_captionTop = 10;
    QString m_caption;
    std::array<DesignColor, 256> m_ramp{};
};
