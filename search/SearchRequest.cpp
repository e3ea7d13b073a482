#include "search/SearchController.h"

#include "net/HttpClient.h"
#include "net/UrlEncoder.h"
#include "platform/AppDir.h"
#include "search/SearchView.h"

TSearchClient::TSearchClient(ISearchView& view, HttpClient& http, UrlEncoder& url, QString serviceHost)
    : m_view(view)
    , m_http(http)
    , m_url(url)
    , m_serviceHost(std::move(serviceHost))
    , m_downloads(std::make_unique<QTemporaryDir>()) {
    ThumbnailFile = m_downloads->isValid() ? m_downloads->filePath(QStringLiteral("temp_image.jpg"))
                                           : programFilePath(QStringLiteral("temp_image.jpg"));
    NoImageFile = programFilePath(QStringLiteral("no_image.jpg"));
}

QByteArray TSearchClient::SearchKeyword() const {
    return m_url.input;
}

QString NormalizeKeyword(const QString& text) {
    // One pass per character, in this order; no replacement yields a character of a later pass.
    static constexpr struct {
        char16_t from;
        char16_t to;
    } passes[] = {
        {u'\\', u'\uFFE5'}, {u'/', u'\uFF0F'}, {u':', u'\uFF1A'}, {u'*', u'\uFF0A'},
        {u'?', u'\uFF1F'},  {u'"', u'\u201D'}, {u'<', u'\uFF1C'}, {u'>', u'\uFF1E'},
        {u'|', u'\uFF5C'},  {u' ', u'\u3000'},
    };
    QString result = text;
    for (const auto& pass : passes)
        result.replace(QChar(pass.from), QChar(pass.to));
    return result;
}

QString BuildRequestUrl(const QString& serviceHost, const QByteArray& encodedKeyword,
                        const TPagingState& paging, const TSearchSettings& settings, int page) {
    const int perPage = settings.ResultsPerPage;
    const int start = (page - 1) * perPage + 1;
    int count = perPage;
    if (paging.CurrentPage == paging.PageCount && perPage != 0) {
        const int remainder = paging.TotalResults % perPage;
        count = remainder == 0 ? perPage : remainder;
    }
    return SearchServiceUrl(serviceHost) + QStringLiteral("&query=") +
           QString::fromLatin1(encodedKeyword) + QStringLiteral("&results=") +
           QString::number(count) + QStringLiteral("&start=") + QString::number(start) +
           QStringLiteral("&adult_ok=") + settings.AdultOk + QStringLiteral("&site=") +
           settings.Site + QStringLiteral("&uniqueid=") + settings.UniqueId +
           QStringLiteral("&ver=") + settings.Ver;
}

QString TSearchClient::RequestUrl(int page) {
    return BuildRequestUrl(m_serviceHost, m_url.encode(), PagingState, SearchSettings, page);
}

void TSearchClient::SpeedButton0_1Click() {
    const QString keyword = m_view.KeywordText();
    if (keyword.isEmpty())
        return;
    m_url.input = NormalizeKeyword(keyword).toUtf8();
    PagingState.CurrentPage = 1;
    PagingState.PageCount = 0;
    LoadResultPage(1);
}

void TSearchClient::HistoryComboBox1KeyPress(QChar& key) {
    if (m_view.SearchCommandEnabled() && key == QChar(13)) {
        key = QChar(0);
        SpeedButton0_1Click();
    }
}

void TSearchClient::LoadResultPage(int page) {
    if (m_stopped)
        return;
    m_slowHosts.clear();
    m_view.SetSearchControlsEnabled(false);
    m_view.SetPagingButtonsEnabled(false, false);
    ContinueLoad(RequestUrl(page));
}

void TSearchClient::StopLoading() {
    m_stopped = true;
    m_http.abort();
}

QByteArray RequestBytes(const QString& url) {
    return requestLineBytes(url.toUtf8());
}
