#include "platform/Fonts.h"

#include <QStringList>

void InstallFontSubstitutions() {
    // insertSubstitutions() keeps names already listed, so a second call changes nothing.
    QFont::insertSubstitutions(DesignFontFamily,
                               {QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP")});
}

QFont DesignFont(int pixelSize, bool bold) {
    QFont font(DesignFontFamily);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}
