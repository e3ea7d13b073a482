#include "search/SearchController.h"

#include "net/HttpClient.h"
#include "net/ThumbnailDownloader.h"
#include "net/UrlEncoder.h"
#include "platform/AppDir.h"
#include "search/SearchView.h"

#include <QDir>

SearchController::SearchController(ISearchView& view, HttpClient& http, UrlEncoder& urlEncoder,
                                   QString serviceHost)
    : m_view(view)
    , m_http(http)
    , m_urlEncoder(urlEncoder)
    , m_serviceHost(std::move(serviceHost))
    , m_thumbnails(std::make_unique<ThumbnailDownloader>()) {
    m_http.bodyToFile = false;
    m_http.dataFromFile = false;
    m_http.reportLevel = 2;
    setProxies(ProxyRules::fromEnvironment());
    m_thumbnails->setCacheDirectory(QDir(cacheDir()).filePath(QStringLiteral("thumbnails")));
    ThumbnailDownloader* downloader = m_thumbnails.get();
    QObject::connect(downloader, &ThumbnailDownloader::finished, downloader,
                     [this](int id, const QByteArray& data) {
                         const auto slot = m_thumbnailSlots.constFind(id);
                         if (slot == m_thumbnailSlots.constEnd())
                             return;
                         const int index = *slot;
                         m_thumbnailSlots.erase(slot);
                         thumbnailFetched(index, data);
                     });
}

SearchController::~SearchController() = default;

void SearchController::setProxies(const ProxyRules& proxies) {
    m_http.proxyRules = proxies;
    m_thumbnails->setProxies(proxies);
}

void SearchController::setTrustedCertificates(const QByteArray& pem) {
    m_http.trustedCertificates = pem;
    m_thumbnails->setTrustedCertificates(pem);
}

void SearchController::setThumbnailCacheDirectory(const QString& path) {
    m_thumbnails->setCacheDirectory(path);
}

QString SearchController::thumbnailCacheDirectory() const {
    return m_thumbnails->cacheDirectory();
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
    if (m_closed)
        return;
    // The pictures of the page on show stop coming; a new search need not wait for them.
    endPictures();
    ++m_loadSerial;
    m_stopRequested = false;
    m_phase = Phase::Answer;
    m_view.setSearchControlsEnabled(false);
    m_view.setPagingButtonsEnabled(false, false);
    m_view.setStopEnabled(true);
    continueLoad(requestUrl(page));
}

QByteArray requestBytes(const QString& url) {
    return requestLineBytes(url.toUtf8());
}
