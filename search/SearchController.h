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

// The video search client: the Search command, the page load LoadResultPage with its three
// phases (request, answer, presentation), the paging commands and result activation. It works
// against the view interface and the main window's HTTP client and URL encoder, which it does
// not own.
class TSearchClient {
public:
    TSearchClient(ISearchView& view, HttpClient& http, UrlEncoder& url, QString serviceHost = ServiceHost);
    virtual ~TSearchClient() = default;
    Q_DISABLE_COPY_MOVE(TSearchClient)

    TSearchSettings SearchSettings;
    TPagingState PagingState;

    // The normalised keyword of the last Search, in UTF-8 (the URL encoder's input).
    QByteArray SearchKeyword() const;

    // The answer of the last load that got one, normalised, and the same split into lines.
    QByteArray AnswerText;
    QStringList AnswerLines() const;
    // Whether the last total was cut to 900.
    bool TotalCapped = false;
    // The rows of the last answer that had results.
    TResultTable ResultTable;

    // The Search command (SpeedButton0_1, S1).
    void SpeedButton0_1Click();
    // The keyword box's key filter: Enter starts a search while S1 is enabled and is consumed
    // (key set to 0); every other key passes unchanged.
    void HistoryComboBox1KeyPress(QChar& key);
    // One page load. page equals PagingState.CurrentPage.
    void LoadResultPage(int page);

    // The paging commands, each bound to the button of its role in both bars: first, previous,
    // next and last page. Each runs a load only while its condition holds.
    void SpeedButton2_1Click();
    void SpeedButton2_2Click();
    void SpeedButton2_3Click();
    void SpeedButton2_4Click();

    // Activation of result slot 1 to 20 (Image1_1Click ... Image1_20Click): the result's page in
    // the browser pane, its title as the viewed title, its check box ticked when enabled.
    void ImageClick(int slotNumber);
    // A completed navigation of the browser pane.
    void WebBrowser1NavigateComplete2();

    // Ends page loading for good, as the window closes: the running transfer is aborted without
    // a message, the running load fetches no further thumbnail, and no load starts any more.
    void StopLoading();

    // Where thumbnails are downloaded to, and the picture shown in place of one that cannot be
    // shown.
    QString ThumbnailFile;
    QString NoImageFile;
    // Limits of one thumbnail download in milliseconds: the longest wait for the next bytes, and
    // the longest download in all. A host that runs into one of them is not asked for the rest
    // of the load's thumbnails, so that no host holds a page.
    int ThumbnailTimeOut = 3000;
    int ThumbnailDeadline = 5000;

    // The request URL for a page, from the current keyword, paging state and settings.
    QString RequestUrl(int page);

protected:
    // Sends the request and returns the answer body; raises when the transfer cannot be made.
    virtual QByteArray FetchAnswer(const QString& url);
    // Downloads one picture into ThumbnailFile; every failure is swallowed (the picture then
    // fails to load).
    virtual void FetchThumbnail(const QString& url);

    ISearchView& m_view;
    HttpClient& m_http;
    UrlEncoder& m_url;
    QString m_serviceHost;

private:
    // The download folder of ThumbnailFile: private to this process, removed at exit.
    std::unique_ptr<QTemporaryDir> m_downloads;
    // "host:port" of the thumbnail hosts that timed out during the running load.
    QSet<QString> m_slowHosts;
    // Set by StopLoading().
    bool m_stopped = false;

    // The second and third phases of a load, after the request was built.
    void ContinueLoad(const QString& url);
    // Normalises the answer into AnswerText and reads TotalResults and TotalCapped; raises the
    // conversion error when the total cannot be read.
    void ReadAnswer(const QByteArray& body);
    void ShowCaption();
    void ShowEmptyPage();
    void ShowPageCount();
    void ShowResults();
    void FillSlot(int index, const TResultRow& row);
};

// The bytes of a URL as they go on the wire: UTF-8, with the bytes that may not stand in a
// request line (controls, space, non-ASCII) percent-encoded; everything else as it is.
QByteArray RequestBytes(const QString& url);

// The information label of a slot: "[site]" and the duration in minutes and seconds, or
// "情報なし" when the duration is no integer.
QString SlotLabelText(const TResultRow& row);

// Whether a result's check box is enabled: the four sites whose pages mark a video as viewed.
bool IsMarkableSite(const QString& copyright);

// The ten replacements of a keyword before it is sent: "\" "/" ":" "*" "?" '"' "<" ">" "|" and
// the space become their full-width forms.
QString NormalizeKeyword(const QString& text);

// The request URL: the search service address followed by the query keys in their fixed order.
QString BuildRequestUrl(const QString& serviceHost, const QByteArray& encodedKeyword,
                        const TPagingState& paging, const TSearchSettings& settings, int page);
