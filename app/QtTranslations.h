#pragma once

#include <QtGlobal>

#include <memory>
#include <vector>

class QLocale;
class QTranslator;

// Qt's own texts (standard buttons, the edit fields' context menus, the browser pane's menus) in
// the user's language, while the object lives: Qt's catalogues "qtbase" and "qtwebengine" for
// the locale's languages, from Qt's translations folder. For Japanese, the program's own texts
// of the browser pane's context menu stand in where Qt has no catalogue for the pane.
class QtTranslations final {
public:
    explicit QtTranslations(const QLocale& locale);
    ~QtTranslations();
    Q_DISABLE_COPY_MOVE(QtTranslations)

private:
    std::vector<std::unique_ptr<QTranslator>> m_installed;
};
