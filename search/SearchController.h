#pragma once

#include "search/SearchTypes.h"
#include "search/ServiceHost.h"

#include <QByteArray>
#include <QChar>
#include <QSet>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class ISearchView;
class HttpClient;
class UrlEncoder;

// The video search: the search command, the page load loadResultPage() with its three
// phases (request, answer, presentation), the paging commands and result activation. It works
// against the view interface and the main window's HTTP client and URL encoder, which it does
// not own.
class SearchController {
public:
    SearchController(ISearchView& view, HttpClient& http, UrlEncoder& urlEncoder,
                     QString serviceHost = ServiceHost);
    virtual ~SearchController() = default;
    Q_DISABLE_COPY_MOVE(SearchController)

    SearchSettings settings;
    PagingState paging;

    // The normalised keyword of the last search(), in UTF-8 (the URL encoder's input).
    QByteArray searchKeyword() const;

    // The answer of the last load that got one, normalised, and the same split into lines.
    QByteArray answerText;
    QStringList answerLines() const;
    // Whether the last total was cut to 900.
    bool totalCapped = false;
    // The rows of the last answer that had results.
    SearchResults results;

    // The search command: a new search for the keyword box's text, from page 1.
    void search();
    // The keyword box's key filter: Enter starts a search while searching is enabled and is
    // consumed (key set to 0); every other key passes unchanged.
    void filterKeywordKey(QChar& key);
    // One page load. page equals paging.currentPage.
    void loadResultPage(int page);

    // The paging commands, each bound to the button of its role in both bars: first, previous,
    // next and last page. Each runs a load only while its condition holds.
    void showFirstPage();
    void showPreviousPage();
    void showNextPage();
    void showLastPage();

    // Opens the result in slot 1 to 20 (a click on its thumbnail): the result's page in the
    // browser pane, its title as the pane's result title, its check box ticked when enabled.
    void openResult(int slotNumber);
    // A completed navigation of the browser pane.
    void handleNavigationFinished();

    // Ends page loading for good, as the window closes: the running transfer is aborted without
    // a message, the running load fetches no further thumbnail, and no load starts any more.
    void stopLoading();

    // Where thumbnails are downloaded to, and the picture shown in place of one that cannot be
    // shown.
    QString thumbnailFile;
    QString noImageFile;
    // Limits of one thumbnail download in milliseconds: the longest wait for the next bytes, and
    // the longest download in all. A host that runs into one of them is not asked for the rest
    // of the load's thumbnails, so that no host holds a page.
    int thumbnailTimeout = 3000;
    int thumbnailDeadline = 5000;

    // The request URL for a page, from the current keyword, paging state and settings.
    QString requestUrl(int page);

protected:
    // Sends the request and returns the answer body; raises when the transfer cannot be made.
    virtual QByteArray fetchAnswer(const QString& url);
    // Downloads one picture into thumbnailFile; every failure is swallowed (the picture then
    // fails to load).
    virtual void fetchThumbnail(const QString& url);

    ISearchView& m_view;
    HttpClient& m_http;
    UrlEncoder& m_urlEncoder;
    QString m_serviceHost;

private:
    // The download folder of thumbnailFile: private to this process, removed at exit.
    std::unique_ptr<QTemporaryDir> m_downloads;
    // "host:port" of the thumbnail hosts that timed out during the running load.
    QSet<QString> m_slowHosts;
    // Set by stopLoading().
    bool m_stopped = false;

    // The second and third phases of a load, after the request was built.
    void continueLoad(const QString& url);
    // Normalises the answer into answerText and reads totalResults and totalCapped; raises the
    // conversion error when the total cannot be read.
    void readAnswer(const QByteArray& body);
    void showCaption();
    void showEmptyPage();
    void showPageCount();
    void showResults();
    void fillSlot(int index, const SearchResult& row);
};

// The bytes of a URL as they go on the wire: UTF-8, with the bytes that may not stand in a
// request line (controls, space, non-ASCII) percent-encoded; everything else as it is.
QByteArray requestBytes(const QString& url);

// The information label of a slot: "[site]" and the duration in minutes and seconds, or
// "情報なし" when the duration is no integer.
QString slotLabelText(const SearchResult& row);

// What a screen reader says for a slot: its title, site and duration, joined by "、"
// ("猫、Youtube、2分5秒"); "情報なし" in place of a duration that is no integer.
QString slotSpokenText(const SearchResult& row);

// Whether a result's check box is enabled: the four sites whose pages mark a video as viewed.
bool isMarkableSite(const QString& copyright);

// The ten replacements of a keyword before it is sent: "\" "/" ":" "*" "?" '"' "<" ">" "|" and
// the space become their full-width forms.
QString normalizeKeyword(const QString& text);

// The request URL: the search service address followed by the query keys in their fixed order.
QString buildRequestUrl(const QString& serviceHost, const QByteArray& encodedKeyword,
                        const PagingState& paging, const SearchSettings& settings, int page);
