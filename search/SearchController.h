#pragma once

#include "search/SearchTypes.h"
#include "search/ServiceHost.h"

#include "net/ProxyRules.h"

#include <QByteArray>
#include <QChar>
#include <QHash>
#include <QImage>
#include <QList>
#include <QSize>
#include <QStringList>

#include <exception>
#include <memory>

class ISearchView;
class HttpClient;
class ThumbnailDownloader;
class UrlEncoder;

// The video search: the search command, the page load loadResultPage() with its three
// phases (request, answer, presentation), the paging commands, result activation and the stop
// command. It works against the view interface and the main window's HTTP client and URL
// encoder, which it does not own.
//
// A load waits for the answer (the HTTP client keeps the window alive meanwhile), lays the page
// out, gives the controls back, and then fills each slot's picture as it arrives: the
// thumbnails come in parallel (ThumbnailDownloader) through a disk cache, while the user may
// already search again, page or open a result. The load runs until the last picture is in.
class SearchController {
public:
    SearchController(ISearchView& view, HttpClient& http, UrlEncoder& urlEncoder,
                     QString serviceHost = ServiceHost);
    virtual ~SearchController();
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
    // One page load. page equals paging.currentPage. A load still fetching pictures is ended
    // first.
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

    // The stop command: ends the running load at once. The transfer of the answer, or of the
    // pictures still coming, is dropped; the slots already shown stay (those whose picture had
    // not come show the stand-in picture), the controls come back and status panel 0 says the
    // load was stopped. Does nothing while no load runs.
    void stop();
    // Ends page loading for good, as the window closes: the running transfers are dropped
    // without a word, and no load starts any more.
    void stopLoading();
    // Whether a load runs: its answer or some of its pictures are still to come.
    bool isLoading() const { return m_phase != Phase::Idle; }

    // The picture shown in place of a thumbnail that cannot be shown (by default the one
    // compiled in).
    QString noImageFile = QStringLiteral(":/no_image.jpg");
    // Limits of the answer in milliseconds: the longest wait for the next bytes, and the
    // longest transfer in all. A minute each: a server that trickles its answer holds the page
    // no longer than a silent one.
    int answerTimeout = 60000;
    int answerDeadline = 60000;
    // Limits of one thumbnail download in milliseconds: the longest wait for the next bytes, and
    // the longest download in all. A host that runs into one of them is not asked for the rest
    // of the load's thumbnails, so that no host holds a page.
    int thumbnailTimeout = 3000;
    int thumbnailDeadline = 5000;

    // The network of the answer and the thumbnails. The proxies are those of the environment
    // (as curl reads them) unless set here; the certificate authorities are the system's unless
    // PEM certificates are given (tests give their own); the thumbnail cache lives in the
    // user's cache folder unless another is given (an empty path: none).
    void setProxies(const ProxyRules& proxies);
    void setTrustedCertificates(const QByteArray& pem);
    void setThumbnailCacheDirectory(const QString& path);
    QString thumbnailCacheDirectory() const;

    // The request URL for a page, from the current keyword, paging state and settings.
    QString requestUrl(int page);

protected:
    // Sends the request and returns the answer body; raises when the transfer cannot be made or
    // the service answers with an HTTP error status.
    virtual QByteArray fetchAnswer(const QString& url);
    // Starts the download of the picture for the slot at index; it is handed to
    // thumbnailFetched() when it has come or failed, during this call or later.
    virtual void fetchThumbnail(int index, const QString& url);
    // Drops the picture downloads still running.
    virtual void cancelThumbnails();
    // The picture of the slot at index of the running load: its bytes, empty when it failed.
    void thumbnailFetched(int index, const QByteArray& data);

    ISearchView& m_view;
    HttpClient& m_http;
    UrlEncoder& m_urlEncoder;
    QString m_serviceHost;

private:
    enum class Phase { Idle, Answer, Pictures };

    std::unique_ptr<ThumbnailDownloader> m_thumbnails;
    // The slot index of each running download of m_thumbnails.
    QHash<int, int> m_thumbnailSlots;
    Phase m_phase = Phase::Idle;
    // Counts the loads, so that a loop of the running one notices that another began.
    quint64 m_loadSerial = 0;
    // Whether each slot of the page on show has its picture, and how many have.
    QList<bool> m_pictureShown;
    int m_picturesShown = 0;
    // The stand-in picture as decoded for the slots' size, read once a load.
    QImage m_standIn;
    QSize m_standInFitSize;
    // Set by stop() while the answer is awaited.
    bool m_stopRequested = false;
    // Set by stopLoading().
    bool m_closed = false;

    // The second and third phases of a load, after the request was built.
    void continueLoad(const QString& url);
    // What a failed answer fetch tells the user.
    QString failureMessage(const std::exception& e) const;
    // The server of the answer: the one that answered last, else the service host.
    QString answerHost() const;
    // Normalises the answer into answerText and reads totalResults and totalCapped; raises the
    // conversion error when the total cannot be read.
    void readAnswer(const QByteArray& body);
    void showCaption();
    void showEmptyPage();
    void showPageCount();
    void showResults();
    void fillSlot(int index, const SearchResult& row);
    void startPictures(int count);
    void showPicture(int index, const QByteArray& data);
    void showProgress();
    // The last picture is in: the load is over.
    void finishPictures();
    // Ends the pictures still coming: their slots show the stand-in picture.
    void endPictures();
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
bool isMarkableSite(const QString& source);

// The ten replacements of a keyword before it is sent: "\" "/" ":" "*" "?" '"' "<" ">" "|" and
// the space become their full-width forms.
QString normalizeKeyword(const QString& text);

// The request URL: the search service address followed by the query keys in their fixed order.
QString buildRequestUrl(const QString& serviceHost, const QByteArray& encodedKeyword,
                        const PagingState& paging, const SearchSettings& settings, int page);
