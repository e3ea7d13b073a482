#include "platform/Fonts.h"

#include <QStringList>

void installFontSubstitutions() {
    // insertSubstitutions() keeps names already listed, so a second call changes nothing.
    QFont::insertSubstitutions(DesignFontFamily,
                               {QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP")});
}

QFont designFont(int pixelSize, bool bold) {
    QFont font(DesignFontFamily);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}
