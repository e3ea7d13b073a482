#include "platform/Fonts.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QStringList>

#include <gtest/gtest.h>

TEST(FontsTest, DesignFontIsSubstitutedByIpaPGothic) {
    installFontSubstitutions();
    installFontSubstitutions();
    const QStringList substitutes = QFont::substitutes(DesignFontFamily);
    ASSERT_EQ(substitutes.size(), 2);
    EXPECT_EQ(substitutes[0].compare(QStringLiteral("IPAPGothic"), Qt::CaseInsensitive), 0);
    EXPECT_EQ(substitutes[1].compare(QStringLiteral("Noto Sans CJK JP"), Qt::CaseInsensitive), 0);

    const QFont font = designFont(12, true);
    EXPECT_EQ(font.family(), DesignFontFamily);
    const QFontInfo info(font);
    EXPECT_EQ(info.family(), QStringLiteral("IPAPGothic"));
    EXPECT_EQ(info.pixelSize(), 12);
    EXPECT_TRUE(info.bold());
    EXPECT_LE(QFontMetrics(font).height() + 2, 18);
}
