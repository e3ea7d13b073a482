#include "search/SearchController.h"

#include "controls/ClickableImage.h"
#include "controls/ImageCheckBox.h"
#include "net/HttpClient.h"
#include "platform/Convert.h"
#include "platform/Jpeg.h"
#include "search/SearchView.h"

#include <QFile>
#include <QLabel>
#include <QUrl>

void SearchController::showCaption() {
    m_view.setCaption(m_view.baseCaption() + QStringLiteral(" -「") + m_view.keywordText() +
                      QStringLiteral("」の動画検索結果 ") + QString::number(paging.totalResults) +
                      (totalCapped ? QStringLiteral("件以上") : QStringLiteral("件")));
}

void SearchController::showEmptyPage() {
    m_view.setSearchControlsEnabled(true);
    m_view.setPageLabels(QStringLiteral("ページ 0/0"));
}

void SearchController::showPageCount() {
    const int perPage = settings.resultsPerPage;
    paging.pageCount = (paging.totalResults + perPage - 1) / perPage;
    m_view.setPageLabels(
        QStringLiteral("ページ %1/%2").arg(paging.currentPage).arg(paging.pageCount));
}

void SearchController::showResults() {
    // There are twenty slots: rows beyond them are not shown.
    const int rows = static_cast<int>(std::min<qsizetype>(results.size(), ISearchView::SlotCount));
    for (int n = 0; n < rows && !m_stopped; ++n) {
        m_view.setStatusText(
            0, QStringLiteral("ページ%1更新中 %2/%3").arg(paging.currentPage).arg(n + 1).arg(rows));
        fillSlot(n, results[n]);
    }
    m_view.setSearchControlsEnabled(true);
    m_view.setPagingButtonsEnabled(paging.currentPage > 1, paging.pageCount > paging.currentPage);
    m_view.setStatusText(0, QString());
    const int slotsInRange = paging.currentPage > paging.pageCount ? rows : settings.resultsPerPage;
    m_view.setResultScrollRange(slotsInRange * m_view.slotHeight());
    const QString keyword = m_view.keywordText();
    m_view.addKeywordToHistory();
    m_view.setKeywordText(keyword);
}

bool isMarkableSite(const QString& copyright) {
    static const QString sites[] = {QStringLiteral("Youtube"), QStringLiteral("metacafe"),
                                    QStringLiteral("Yahoo! Video"), QStringLiteral("ニコニコ動画")};
    return std::find(std::begin(sites), std::end(sites), copyright) != std::end(sites);
}

namespace {

// The duration in minutes and seconds; none when it is no integer.
std::optional<QString> durationText(const SearchResult& row) {
    const std::optional<int> seconds = tryParseInt(row.duration);
    if (!seconds)
        return std::nullopt;
    return *seconds >= 1 ? QStringLiteral("%1分%2秒").arg(*seconds / 60).arg(*seconds % 60)
                         : QStringLiteral("?分?秒");
}

} // namespace

QString slotLabelText(const SearchResult& row) {
    const std::optional<QString> duration = durationText(row);
    if (!duration)
        return QStringLiteral("情報なし");
    return QStringLiteral("[") + row.source + QStringLiteral("]\n\n") + *duration +
           QStringLiteral("\n\n");
}

QString slotSpokenText(const SearchResult& row) {
    QStringList parts{row.title};
    if (!row.source.isEmpty())
        parts << row.source;
    parts << durationText(row).value_or(QStringLiteral("情報なし"));
    return parts.join(QStringLiteral("、"));
}

void SearchController::fetchThumbnail(const QString& url) {
    const QUrl parsed(url);
    const QString host = parsed.host().toLower() + u':' + QString::number(parsed.port(80));
    // A host that ran out of time is not asked again during the load: its picture fails to load.
    if (m_slowHosts.contains(host))
        return;
    m_http.timeout = thumbnailTimeout;
    m_http.deadline = thumbnailDeadline;
    m_http.bodyToFile = true;
    m_http.body = QFile::encodeName(thumbnailFile);
    m_http.dataFromFile = false;
    m_http.reportLevel = 2;
    try {
        m_http.get(requestBytes(url));
    } catch (...) {
        // The picture then fails to load and "no_image.jpg" is shown; no message.
        if (m_http.timedOut && !parsed.host().isEmpty())
            m_slowHosts.insert(host);
    }
}

void SearchController::fillSlot(int index, const SearchResult& row) {
    const ResultSlot slot = m_view.resultSlot(index);
    slot.checkBox->setEnabled(isMarkableSite(row.source));
    slot.checkBox->setChecked(false);
    slot.checkBox->setCaption(row.title);
    slot.infoLabel->setText(slotLabelText(row));
    slot.panel->setAccessibleName(slotSpokenText(row));

    fetchThumbnail(row.thumbnailUrl);
    // Decoded at the size the slot shows, whatever size the picture declares.
    const QSize shown = slot.thumbnail->size() * slot.thumbnail->devicePixelRatio();
    try {
        slot.thumbnail->setPicture(loadJpegFile(thumbnailFile, shown));
    } catch (const Exception&) {
        try {
            slot.thumbnail->setPicture(loadJpegFile(noImageFile, shown));
        } catch (const Exception&) {
            // Without its stand-in picture the slot shows none rather than the last one.
            slot.thumbnail->clear();
        }
    }
    slot.thumbnail->setToolTip(row.pageUrl);
    slot.panel->show();
    QFile::remove(thumbnailFile);
}

void SearchController::showFirstPage() {
    if (paging.currentPage > 1) {
        paging.currentPage = 1;
        loadResultPage(paging.currentPage);
    }
}

void SearchController::showPreviousPage() {
    if (paging.currentPage > 1) {
        --paging.currentPage;
        loadResultPage(paging.currentPage);
    }
}

void SearchController::showNextPage() {
    if (paging.currentPage < paging.pageCount) {
        ++paging.currentPage;
        loadResultPage(paging.currentPage);
    }
}

void SearchController::showLastPage() {
    if (paging.currentPage < paging.pageCount) {
        paging.currentPage = paging.pageCount;
        loadResultPage(paging.currentPage);
    }
}
