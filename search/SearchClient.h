#pragma once

#include "search/SearchTypes.h"
#include "search/ServiceHost.h"

#include <QByteArray>
#include <QChar>
#include <QStringList>

class ISearchView;
class TNMHTTP;
class TNMURL;

// The video search client: the Search command, the page load LoadResultPage with its three
// phases (request, answer, presentation), the paging commands and result activation. It works
// against the view interface and the main window's HTTP client and URL encoder, which it does
// not own.
class TSearchClient {
public:
    TSearchClient(ISearchView& view, TNMHTTP& http, TNMURL& url, QString serviceHost = ServiceHost);
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

    // The request URL for a page, from the current keyword, paging state and settings.
    QString RequestUrl(int page);

protected:
    // Sends the request and returns the answer body; raises when the transfer cannot be made.
    virtual QByteArray FetchAnswer(const QString& url);

    ISearchView& m_view;
    TNMHTTP& m_http;
    TNMURL& m_url;
    QString m_serviceHost;

private:
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

// The ten replacements of a keyword before it is sent: "\" "/" ":" "*" "?" '"' "<" ">" "|" and
// the space become their full-width forms.
QString NormalizeKeyword(const QString& text);

// The request URL: the search service address followed by the query keys in their fixed order.
QString BuildRequestUrl(const QString& serviceHost, const QByteArray& encodedKeyword,
                        const TPagingState& paging, const TSearchSettings& settings, int page);
