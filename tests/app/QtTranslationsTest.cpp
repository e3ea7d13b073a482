#include "app/QtTranslations.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

#include <memory>

namespace {

QString cancelButtonText() {
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    return box.button(QMessageBox::Cancel)->text();
}

// The first entry of a text field's context menu (undo).
QString firstEditMenuEntry() {
    QLineEdit edit;
    const std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    return menu->actions().constFirst()->text();
}

QString paneMenuEntry(const char* source) {
    return QCoreApplication::translate("RenderViewContextMenuQt", source);
}

} // namespace

TEST(QtTranslationsTest, QtsOwnTextsFollowTheUsersLanguage) {
    {
        const QtTranslations japanese{QLocale(QLocale::Japanese, QLocale::Japan)};
        EXPECT_EQ(cancelButtonText(), QStringLiteral("キャンセル"));
        EXPECT_TRUE(firstEditMenuEntry().startsWith(QStringLiteral("元に戻す")))
            << firstEditMenuEntry().toStdString();
        EXPECT_EQ(paneMenuEntry("Back"), QStringLiteral("戻る"));
        EXPECT_EQ(paneMenuEntry("View page source"), QStringLiteral("ページのソースを表示"));
    }
    {
        // Qt's own catalogue of the pane where there is one.
        const QtTranslations german{QLocale(QLocale::German, QLocale::Germany)};
        EXPECT_EQ(cancelButtonText(), QStringLiteral("Abbrechen"));
        EXPECT_EQ(paneMenuEntry("Back"), QStringLiteral("Zurück"));
    }
    // Gone with the object.
    EXPECT_EQ(cancelButtonText(), QStringLiteral("Cancel"));
    EXPECT_EQ(paneMenuEntry("Back"), QStringLiteral("Back"));
}
