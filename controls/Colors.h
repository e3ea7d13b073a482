#pragma once

#include <QColor>
#include <QRgb>
#include <QtGlobal>

class QPalette;

// A colour value as the layouts store it: 0x00BBGGRR (red in the lowest byte), or
// SystemColorBase + n for the platform's system colour n (0 to 24, the Windows numbering).
using DesignColor = quint32;

inline constexpr DesignColor SystemColorBase = 0x80000000u;
inline constexpr int SystemColorCount = 25;

inline constexpr DesignColor BlackColor = 0x000000;
inline constexpr DesignColor WhiteColor = 0xFFFFFF;
inline constexpr DesignColor GrayColor = 0x808080;
inline constexpr DesignColor GreenColor = 0x008000;
inline constexpr DesignColor LimeColor = 0x00FF00;
inline constexpr DesignColor YellowColor = 0x00FFFF;
inline constexpr DesignColor ButtonFaceColor = SystemColorBase + 15;

// Builds 0x00BBGGRR from its channels.
constexpr DesignColor designColor(int r, int g, int b) {
    return DesignColor(r & 0xFF) | DesignColor(g & 0xFF) << 8 | DesignColor(b & 0xFF) << 16;
}

// True for SystemColorBase + 0 ... SystemColorBase + 24.
constexpr bool isSystemColor(DesignColor color) {
    return color >= SystemColorBase && color < SystemColorBase + SystemColorCount;
}

// The current RGB of system colour n (0 to 24): from the palette where Qt has a role for it,
// a fixed classic value otherwise.
QRgb systemColorRgb(int n, const QPalette& palette);

// Resolves a colour for drawing: a system colour through systemColorRgb(), any other value by
// its three low bytes (the top byte is ignored).
QRgb colorToRgb(DesignColor color, const QPalette& palette);
QColor toQColor(DesignColor color, const QPalette& palette);

// The reverse of toQColor for an opaque colour.
DesignColor toDesignColor(const QColor& color);

// The palette of the surfaces that the layouts paint in fixed light colours (the white to light
// grey gradients, the white result column): the light desktop they were drawn for, black text
// on the button face (240, 240, 240), white fields. Set on such a surface it keeps everything
// drawn there, text and frames, as designed under any theme, while the parts of the window
// that take their ground from the theme take their text from it as well.
QPalette designPalette();
