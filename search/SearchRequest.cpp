#include "search/SearchController.h"

#include "net/HttpClient.h"
#include "net/UrlEncoder.h"
#include "platform/AppDir.h"
#include "search/SearchView.h"

SearchController::SearchController(ISearchView& view, HttpClient& http, UrlEncoder& urlEncoder,
                                   QString serviceHost)
    : m_view(view)
    , m_http(http)
    , m_urlEncoder(urlEncoder)
    , m_serviceHost(std::move(serviceHost))
    , m_downloads(std::make_unique<QTemporaryDir>()) {
    thumbnailFile = m_downloads->isValid() ? m_downloads->filePath(QStringLiteral("temp_image.jpg"))
                                           : programFilePath(QStringLiteral("temp_image.jpg"));
    noImageFile = programFilePath(QStringLiteral("no_image.jpg"));
}

QByteArray SearchController::searchKeyword() const {
    return m_urlEncoder.input;
}

QString normalizeKeyword(const QString& text) {
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

QString buildRequestUrl(const QString& serviceHost, const QByteArray& encodedKeyword,
                        const PagingState& paging, const SearchSettings& settings, int page) {
    const int perPage = settings.resultsPerPage;
    const int start = (page - 1) * perPage + 1;
    int count = perPage;
    if (paging.currentPage == paging.pageCount && perPage != 0) {
        const int remainder = paging.totalResults % perPage;
        count = remainder == 0 ? perPage : remainder;
    }
    return searchServiceUrl(serviceHost) + QStringLiteral("&query=") +
           QString::fromLatin1(encodedKeyword) + QStringLiteral("&results=") +
           QString::number(count) + QStringLiteral("&start=") + QString::number(start) +
           QStringLiteral("&adult_ok=") + settings.adultOk + QStringLiteral("&site=") +
           settings.site + QStringLiteral("&uniqueid=") + settings.uniqueId +
           QStringLiteral("&ver=") + settings.version;
}

QString SearchController::requestUrl(int page) {
    return buildRequestUrl(m_serviceHost, m_urlEncoder.encode(), paging, settings, page);
}

void SearchController::search() {
    const QString keyword = m_view.keywordText();
    if (keyword.isEmpty())
        return;
    m_urlEncoder.input = normalizeKeyword(keyword).toUtf8();
    paging.currentPage = 1;
    paging.pageCount = 0;
    loadResultPage(1);
}

void SearchController::filterKeywordKey(QChar& key) {
    if (m_view.isSearchEnabled() && key == QChar(13)) {
        key = QChar(0);
        search();
    }
}

void SearchController::loadResultPage(int page) {
    if (m_stopped)
        return;
    m_slowHosts.clear();
    m_view.setSearchControlsEnabled(false);
    m_view.setPagingButtonsEnabled(false, false);
    continueLoad(requestUrl(page));
}

void SearchController::stopLoading() {
    m_stopped = true;
    m_http.abort();
}

QByteArray requestBytes(const QString& url) {
    return requestLineBytes(url.toUtf8());
}
