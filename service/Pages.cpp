#include "service/Pages.h"

#include "service/ServicePaths.h"
#include "service/Text.h"

#include <cstdio>

namespace {

const char* const Style = R"(
body { margin: 0; background: #f4f6f9; color: #222; line-height: 1.7;
       font-family: "IPAPGothic", "Noto Sans CJK JP", "Hiragino Kaku Gothic ProN", sans-serif; }
header { background: linear-gradient(90deg, #1f4e8c, #3a7bd5); color: #fff; padding: 14px 24px; }
header a { color: #fff; text-decoration: none; }
header .brand { font-size: 20px; font-weight: bold; letter-spacing: 1px; }
header .tag { font-size: 12px; opacity: 0.85; margin-left: 12px; }
main { max-width: 880px; margin: 20px auto; padding: 0 16px; }
section { background: #fff; border-radius: 8px; box-shadow: 0 1px 3px rgba(0,0,0,0.12);
          padding: 16px 20px; margin-bottom: 18px; }
h1 { font-size: 22px; margin: 4px 0 12px; }
h2 { font-size: 17px; border-left: 4px solid #3a7bd5; padding-left: 8px; margin: 0 0 10px; }
table { border-collapse: collapse; width: 100%; }
th, td { text-align: left; padding: 6px 8px; border-bottom: 1px solid #e3e7ee; font-size: 14px; }
th { color: #555; font-weight: normal; width: 9em; }
.grid { display: flex; flex-wrap: wrap; gap: 12px; }
.card { width: 196px; text-decoration: none; color: #222; font-size: 13px; }
.card img { width: 196px; height: 147px; border-radius: 6px; display: block; }
.card span { display: block; margin-top: 4px; }
.muted { color: #777; font-size: 13px; }
.badge { display: inline-block; background: #c0392b; color: #fff; border-radius: 4px;
         padding: 0 6px; font-size: 12px; margin-left: 6px; }
.keywords span { display: inline-block; background: #eef3fb; border: 1px solid #cfdcf0;
                 border-radius: 14px; padding: 1px 12px; margin: 3px; font-size: 14px; }
.player img { width: 100%; max-width: 480px; height: auto; border-radius: 8px; display: block; }
footer { text-align: center; color: #888; font-size: 12px; padding: 16px 0 28px; }
)";

std::string Document(const std::string& title, const std::string& body, const std::string& base) {
    std::string html = "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n"
                       "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                       "<title>";
    html += EscapeHtml(title);
    html += "</title>\n<style>";
    html += Style;
    html += "</style>\n</head>\n<body>\n<header><a class=\"brand\" href=\"";
    html += EscapeHtml(base + TopPagePath);
    html += "\">Sorvel Browser</a><span class=\"tag\">動画検索ブラウザ</span></header>\n<main>\n";
    html += body;
    html += "</main>\n<footer>&copy; ORVENA &nbsp;|&nbsp; <a href=\"";
    html += EscapeHtml(base + "/");
    html += "\">ORVENAのWEBサイト</a> &nbsp;|&nbsp; <a href=\"";
    html += EscapeHtml(base + TopPagePath);
    html += "\">Sorvel Browser トップページ</a></footer>\n</body>\n</html>\n";
    return html;
}

std::string ClockDuration(int seconds) {
    char text[32];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%d:%02d:%02d", seconds / 3600, seconds / 60 % 60,
                      seconds % 60);
    else
        std::snprintf(text, sizeof text, "%d:%02d", seconds / 60, seconds % 60);
    return text;
}

std::string FileSize(long long bytes) {
    char text[32];
    if (bytes >= 1000LL * 1000 * 1000)
        std::snprintf(text, sizeof text, "%.2f GB", static_cast<double>(bytes) / 1e9);
    else if (bytes >= 1000LL * 1000)
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    else
        std::snprintf(text, sizeof text, "%.0f KB", static_cast<double>(bytes) / 1e3);
    return text;
}

std::string Card(const CatalogEntry& e, const std::string& base) {
    return "<a class=\"card\" href=\"" + EscapeHtml(base + WatchPath(e.id)) + "\"><img src=\"" +
           EscapeHtml(base + LargeThumbnailPath(e.id)) + "\" alt=\"\"><span>" +
           EscapeHtml(e.title) + "</span><span class=\"muted\">" + EscapeHtml(e.source) + " ・ " +
           ClockDuration(e.duration) + "</span></a>";
}

} // namespace

std::string JapaneseDuration(int seconds) {
    std::string text;
    if (seconds >= 3600)
        text = std::to_string(seconds / 3600) + "時間";
    return text + std::to_string(seconds / 60 % 60) + "分" + std::to_string(seconds % 60) + "秒";
}

std::string TopPage(const std::vector<CatalogSite>& sites, const std::vector<CatalogEntry>& newest,
                    const std::string& base) {
    std::string body =
        "<section><h1>Sorvel Browser へようこそ</h1>"
        "<p>ウィンドウ上部のキーワード欄に見たい動画のキーワードを入れて、"
        "［検索］ボタンか Enter キーを押してください。"
        "検索結果のサムネイルをクリックすると、動画のページがこの欄に表示されます。</p>"
        "<p class=\"muted\">キーワードを空白で区切ると、すべての語を含む動画を探します。"
        "表示件数・アダルトの有無・検索する動画サイトは［検索設定］で変えられます。</p>"
        "<div class=\"keywords\">"
        "<span>猫</span><span>ギター</span><span>レシピ</span><span>京都</span>"
        "<span>実況</span><span>cat</span><span>guitar lesson</span></div></section>\n";

    body += "<section><h2>新着動画</h2><div class=\"grid\">";
    for (const CatalogEntry& entry : newest)
        body += Card(entry, base);
    body += "</div></section>\n";

    body += "<section><h2>検索できる動画サイト</h2><table><tr><th>サイト</th><th>ドメイン</th>"
            "<th>収録本数</th></tr>";
    for (const CatalogSite& site : sites) {
        body += "<tr><td>" + EscapeHtml(site.source) +
                (site.adult == site.count ? "<span class=\"badge\">成人向け</span>" : "") +
                "</td><td>" + EscapeHtml(site.host) + "</td><td>" + std::to_string(site.count) +
                "本</td></tr>";
    }
    body += "</table><p class=\"muted\">収録動画 合計 " + std::to_string(EntryCount(sites)) +
            " 本</p></section>\n";
    return Document("Sorvel Browser - 動画検索", body, base);
}

bool InfoPage(long long entryCount, const std::string& softwareName, std::string& html,
              const std::string& base) {
    const std::string lower = AsciiLower(softwareName);
    if (lower != "sorvel" && lower != "sorvel.exe") {
        html = Document("ソフトウェア情報 - ORVENA",
                        "<section><h1>ソフトウェア情報</h1><p>「" + EscapeHtml(softwareName) +
                            "」というソフトウェアの情報は見つかりませんでした。</p>"
                            "<p><a href=\"" +
                            EscapeHtml(base + "/info.php?pf=w&sn=sorvel") +
                            "\">Sorvel Browser のソフトウェア情報</a></p></section>\n",
                        base);
        return false;
    }
    html = Document(
        "ソフトウェア情報 - Sorvel Browser",
        "<section><h1>Sorvel Browser <span class=\"muted\">バージョン 3.2</span></h1>"
        "<p>キーワードひとつで、いくつもの動画サイトの動画をまとめて探せる動画検索ブラウザです。"
        "検索結果はサムネイル・タイトル・動画サイト名・再生時間の一覧で表示され、"
        "クリックした動画のページはそのままウィンドウ内のブラウザで見られます。</p>"
        "<table>"
        "<tr><th>ソフトウェア名</th><td>Sorvel Browser（" +
            EscapeHtml(softwareName) +
            "）</td></tr>"
            "<tr><th>バージョン</th><td>3.2</td></tr>"
            "<tr><th>作者</th><td>ORVENA</td></tr>"
            "<tr><th>動作環境</th><td>Linux（Debian 12）、Qt 6 / Qt WebEngine</td></tr>"
            "<tr><th>種別</th><td>フリーソフト</td></tr>"
            "<tr><th>検索サービス</th><td>収録動画 " +
            std::to_string(entryCount) +
            " 本</td></tr>"
            "</table></section>\n"
            "<section><h2>主な機能</h2><ul>"
            "<li>キーワードの検索履歴（次回の起動後も残ります）</li>"
            "<li>1ページの表示件数（5件・10件・20件）の切り替え</li>"
            "<li>アダルト動画を含める・含めないの設定</li>"
            "<li>動画サイトを指定した検索</li>"
            "<li>見た動画にはチェックが付きます（対応サイトのみ）</li>"
            "<li>表示中のページを既定のブラウザで開く・メールで送る</li>"
            "</ul></section>\n",
        base);
    return true;
}

std::string MakerPage(const std::string& base) {
    return Document(
        "ORVENA",
        "<section><h1>ORVENA</h1><p>ORVENA は、毎日のパソコン生活を少し便利にする"
        "小さなソフトウェアを作っています。</p></section>\n"
        "<section><h2>ソフトウェア</h2><table>"
        "<tr><th><a href=\"" +
            EscapeHtml(base + "/info.php?pf=w&sn=sorvel") +
            "\">Sorvel Browser</a></th>"
            "<td>いくつもの動画サイトをまとめて探せる動画検索ブラウザ（バージョン 3.2）。"
            "<a href=\"" +
            EscapeHtml(base + TopPagePath) +
            "\">動画検索トップページ</a></td></tr>"
            "</table></section>\n",
        base);
}

std::string WatchPage(const CatalogEntry& e, const std::string& base) {
    std::string body =
        "<section><h1>" + EscapeHtml(e.title) +
        (e.adult ? "<span class=\"badge\">成人向け</span>" : "") +
        "</h1><div class=\"player\"><img src=\"" + EscapeHtml(base + LargeThumbnailPath(e.id)) +
        "\" width=\"" + std::to_string(LargeThumbnailWidth) + "\" height=\"" +
        std::to_string(LargeThumbnailHeight) + "\" alt=\"" + EscapeHtml(e.title) +
        "\"></div></section>\n<section><h2>動画の情報</h2><table>"
        "<tr><th>提供元</th><td>" +
        EscapeHtml(e.source) + "（" + EscapeHtml(e.host) + "）</td></tr><tr><th>再生時間</th><td>" +
        JapaneseDuration(e.duration) + "（" + ClockDuration(e.duration) +
        "）</td></tr><tr><th>ファイルサイズ</th><td>" + FileSize(e.size) + "</td></tr>";
    if (!e.description.empty())
        body += "<tr><th>説明</th><td>" + EscapeHtml(e.description) + "</td></tr>";
    body += "</table></section>\n";
    return Document(e.title + " - " + e.source, body, base);
}

std::string NotFoundPage(const std::string& path, const std::string& base) {
    return Document("ページが見つかりません",
                    "<section><h1>ページが見つかりません</h1><p>お探しのページ（" +
                        EscapeHtml(path) +
                        "）は見つかりませんでした。アドレスをお確かめください。</p>"
                        "<p><a href=\"" +
                        EscapeHtml(base + TopPagePath) + "\">トップページへ</a></p></section>\n",
                    base);
}

std::string ErrorPage(int status, const std::string& base) {
    return Document(
        "エラー",
        "<section><h1>エラー " + std::to_string(status) +
            "</h1><p>ページを表示できませんでした。しばらくしてからもう一度お試しください。"
            "</p></section>\n",
        base);
}
