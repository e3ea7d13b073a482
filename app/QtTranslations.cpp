#include "app/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstring>

namespace {

// The browser pane's context menu in Japanese, for a Qt without a Japanese "qtwebengine"
// catalogue: its entries, as the web engine names them.
constexpr char PaneMenuContext[] = "RenderViewContextMenuQt";
constexpr struct {
    const char* source;
    const char* japanese;
} PaneMenuJapanese[] = {
    {"Back", "戻る"},
    {"Forward", "進む"},
    {"Reload", "再読み込み"},
    {"Cut", "切り取り"},
    {"Copy", "コピー"},
    {"Paste", "貼り付け"},
    {"Paste and match style", "貼り付けて書式を合わせる"},
    {"Undo", "元に戻す"},
    {"Redo", "やり直す"},
    {"Select all", "すべて選択"},
    {"Open link in new tab", "リンクを新しいタブで開く"},
    {"Open link in new window", "リンクを新しいウィンドウで開く"},
    {"Copy link address", "リンクのアドレスをコピー"},
    {"Save link", "リンク先を保存"},
    {"Copy image", "画像をコピー"},
    {"Copy image address", "画像のアドレスをコピー"},
    {"Save image", "画像を保存"},
    {"Copy media address", "メディアのアドレスをコピー"},
    {"Save media", "メディアを保存"},
    {"Show controls", "コントロールを表示"},
    {"Loop", "ループ再生"},
    {"Exit full screen", "全画面表示を終了"},
    {"Save page", "ページを保存"},
    {"View page source", "ページのソースを表示"},
    {"Inspect", "検証"},
};

class PaneMenuTranslator final : public QTranslator {
public:
    using QTranslator::QTranslator;

    bool isEmpty() const override { return false; }

    QString translate(const char* context, const char* sourceText, const char* disambiguation,
                      int n) const override {
        Q_UNUSED(disambiguation)
        Q_UNUSED(n)
        if (!context || !sourceText || std::strcmp(context, PaneMenuContext) != 0)
            return QString();
        for (const auto& entry : PaneMenuJapanese) {
            if (std::strcmp(sourceText, entry.source) == 0)
                return QString::fromUtf8(entry.japanese);
        }
        return QString();
    }
};

} // namespace

QtTranslations::QtTranslations(const QLocale& locale) {
    // Asked last installed first: Qt's catalogues before the program's stand-in.
    if (locale.language() == QLocale::Japanese)
        m_installed.push_back(std::make_unique<PaneMenuTranslator>());
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const char* catalogue : {"qtbase", "qtwebengine"}) {
        auto translator = std::make_unique<QTranslator>();
        if (translator->load(locale, QLatin1String(catalogue), QStringLiteral("_"), folder))
            m_installed.push_back(std::move(translator));
    }
    for (const auto& translator : m_installed)
        QCoreApplication::installTranslator(translator.get());
}

QtTranslations::~QtTranslations() {
    for (const auto& translator : m_installed)
        QCoreApplication::removeTranslator(translator.get());
}
