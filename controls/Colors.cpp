#include "controls/Colors.h"

#include <QPalette>

#include <optional>

namespace {

struct SystemColorEntry {
    std::optional<QPalette::ColorRole> role;
    QPalette::ColorGroup group;
    QRgb fixed; // used when Qt has no role for the colour
};

// Indexed by the Windows numbering of the system colours.
const SystemColorEntry SystemColors[SystemColorCount] = {
    {std::nullopt, QPalette::Active, qRgb(200, 200, 200)}, // 0 scroll bar
    {std::nullopt, QPalette::Active, qRgb(0, 0, 0)},       // 1 desktop
    {std::nullopt, QPalette::Active, qRgb(153, 180, 209)}, // 2 active caption
    {std::nullopt, QPalette::Active, qRgb(191, 205, 219)}, // 3 inactive caption
    {QPalette::Window, QPalette::Active, 0},               // 4 menu
    {QPalette::Base, QPalette::Active, 0},                 // 5 window
    {std::nullopt, QPalette::Active, qRgb(100, 100, 100)}, // 6 window frame
    {QPalette::WindowText, QPalette::Active, 0},           // 7 menu text
    {QPalette::Text, QPalette::Active, 0},                 // 8 window text
    {std::nullopt, QPalette::Active, qRgb(0, 0, 0)},       // 9 caption text
    {std::nullopt, QPalette::Active, qRgb(180, 180, 180)}, // 10 active border
    {std::nullopt, QPalette::Active, qRgb(244, 247, 252)}, // 11 inactive border
    {std::nullopt, QPalette::Active, qRgb(171, 171, 171)}, // 12 app workspace
    {QPalette::Highlight, QPalette::Active, 0},            // 13 highlight
    {QPalette::HighlightedText, QPalette::Active, 0},      // 14 highlight text
    {QPalette::Button, QPalette::Active, 0},               // 15 button face
    {QPalette::Dark, QPalette::Active, 0},                 // 16 button shadow
    {QPalette::WindowText, QPalette::Disabled, 0},         // 17 grey text
    {QPalette::ButtonText, QPalette::Active, 0},           // 18 button text
    {std::nullopt, QPalette::Active, qRgb(67, 78, 84)},    // 19 inactive caption text
    {QPalette::Light, QPalette::Active, 0},                // 20 button highlight
    {QPalette::Shadow, QPalette::Active, 0},               // 21 3-D dark shadow
    {QPalette::Midlight, QPalette::Active, 0},             // 22 3-D light
    {QPalette::ToolTipText, QPalette::Active, 0},          // 23 info text
    {QPalette::ToolTipBase, QPalette::Active, 0},          // 24 info background
};

} // namespace

QRgb systemColorRgb(int n, const QPalette& palette) {
    if (n < 0 || n >= SystemColorCount)
        return qRgb(0, 0, 0);
    const SystemColorEntry& entry = SystemColors[n];
    if (!entry.role)
        return entry.fixed;
    return palette.color(entry.group, *entry.role).rgb();
}

QRgb colorToRgb(DesignColor color, const QPalette& palette) {
    if (isSystemColor(color))
        return systemColorRgb(int(color - SystemColorBase), palette);
    return qRgb(int(color & 0xFF), int(color >> 8 & 0xFF), int(color >> 16 & 0xFF));
}

QColor toQColor(DesignColor color, const QPalette& palette) {
    return QColor(colorToRgb(color, palette));
}

DesignColor toDesignColor(const QColor& color) {
    return designColor(color.red(), color.green(), color.blue());
}

QPalette designPalette() {
    // Black text on a light button face, white fields; the disabled text grey.
    return QPalette(QColor(240, 240, 240));
}
