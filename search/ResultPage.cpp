#include "search/SearchController.h"

#include "controls/ClickableImage.h"
#include "controls/ImageCheckBox.h"
#include "net/ThumbnailDownloader.h"
#include "platform/Convert.h"
#include "platform/Exception.h"
#include "platform/Jpeg.h"
#include "search/SearchView.h"

#include <QLabel>
#include <QUrl>

void SearchController::showCaption() {
    m_view.setCaption(m_view.baseCaption() + QStringLiteral(" -「") + m_view.keywordText() +
                      QStringLiteral("」の動画検索結果 ") + QString::number(paging.totalResults) +
                      (totalCapped ? QStringLiteral("件以上") : QStringLiteral("件")));
}

void SearchController::showEmptyPage() {
    m_phase = Phase::Idle;
    m_view.setStopEnabled(false);
    m_view.setSearchControlsEnabled(true);
    m_view.setPageLabels(QStringLiteral("ページ 0/0"));
}

void SearchController::showPageCount() {
    const int perPage = settings.resultsPerPage;
    paging.pageCount = (paging.totalResults + perPage - 1) / perPage;
    m_view.setPageLabels(
        QStringLiteral("ページ %1/%2").arg(paging.currentPage).arg(paging.pageCount));
}

// The page is laid out at once and the controls come back; the pictures follow as they come.
void SearchController::showResults() {
    // There are twenty slots: rows beyond them are not shown.
    const int rows = static_cast<int>(std::min<qsizetype>(results.size(), ISearchView::SlotCount));
    for (int n = 0; n < rows; ++n)
        fillSlot(n, results[n]);
    m_view.setSearchControlsEnabled(true);
    m_view.setPagingButtonsEnabled(paging.currentPage > 1, paging.pageCount > paging.currentPage);
    const int slotsInRange = paging.currentPage > paging.pageCount ? rows : settings.resultsPerPage;
    m_view.setResultScrollRange(slotsInRange * m_view.slotHeight());
    const QString keyword = m_view.keywordText();
    m_view.addKeywordToHistory();
    m_view.setKeywordText(keyword);
    startPictures(rows);
}

bool isMarkableSite(const QString& source) {
    static const QString sites[] = {QStringLiteral("Youtube"), QStringLiteral("metacafe"),
                                    QStringLiteral("Yahoo! Video"), QStringLiteral("ニコニコ動画")};
    return std::find(std::begin(sites), std::end(sites), source) != std::end(sites);
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

void SearchController::fillSlot(int index, const SearchResult& row) {
    const ResultSlot slot = m_view.resultSlot(index);
    slot.checkBox->setEnabled(isMarkableSite(row.source));
    slot.checkBox->setChecked(false);
    slot.checkBox->setCaption(row.title);
    slot.infoLabel->setText(slotLabelText(row));
    slot.panel->setAccessibleName(slotSpokenText(row));
    // No picture of an earlier page stands in the slot until its own comes.
    slot.thumbnail->clear();
    slot.thumbnail->setToolTip(row.pageUrl);
    slot.panel->show();
}

void SearchController::startPictures(int count) {
    m_phase = Phase::Pictures;
    m_pictureShown = QList<bool>(count, false);
    m_picturesShown = 0;
    m_standIn = QImage();
    showProgress();
    m_thumbnails->waitTimeout = thumbnailTimeout;
    m_thumbnails->deadline = thumbnailDeadline;
    const quint64 load = m_loadSerial;
    // A picture may come at once and end the load, or its arrival may start another.
    for (int n = 0; n < count && load == m_loadSerial && m_phase == Phase::Pictures; ++n)
        fetchThumbnail(n, results[n].thumbnailUrl);
    if (load == m_loadSerial && m_phase == Phase::Pictures && m_picturesShown == count)
        finishPictures();
}

void SearchController::fetchThumbnail(int index, const QString& url) {
    m_thumbnailSlots.insert(m_thumbnails->fetch(QUrl(url)), index);
}

void SearchController::cancelThumbnails() {
    m_thumbnails->cancelAll();
    m_thumbnailSlots.clear();
}

void SearchController::thumbnailFetched(int index, const QByteArray& data) {
    if (m_phase != Phase::Pictures || index < 0 || index >= m_pictureShown.size() ||
        m_pictureShown[index])
        return;
    showPicture(index, data);
    if (m_picturesShown == m_pictureShown.size())
        finishPictures();
    else
        showProgress();
}

void SearchController::showProgress() {
    m_view.setStatusText(0, QStringLiteral("ページ%1更新中 %2/%3")
                                .arg(paging.currentPage)
                                .arg(m_picturesShown)
                                .arg(m_pictureShown.size()));
}

// Decoded at the size the slot shows, whatever size the picture declares; what cannot be shown
// is replaced by the stand-in picture.
void SearchController::showPicture(int index, const QByteArray& data) {
    m_pictureShown[index] = true;
    ++m_picturesShown;
    ClickableImage* thumbnail = m_view.resultSlot(index).thumbnail;
    const QSize shown = thumbnail->size() * thumbnail->devicePixelRatio();
    try {
        thumbnail->setPicture(loadJpeg(data, shown));
    } catch (const Exception&) {
        try {
            if (m_standIn.isNull() || m_standInFitSize != shown) {
                m_standIn = loadJpegFile(noImageFile, shown);
                m_standInFitSize = shown;
            }
            thumbnail->setPicture(m_standIn);
        } catch (const Exception&) {
            // Without its stand-in picture the slot shows none rather than the last one.
            thumbnail->clear();
        }
    }
}

void SearchController::finishPictures() {
    m_phase = Phase::Idle;
    m_view.setStopEnabled(false);
    m_view.setStatusText(0, QString());
}

void SearchController::endPictures() {
    if (m_phase != Phase::Pictures)
        return;
    m_phase = Phase::Idle;
    cancelThumbnails();
    for (int index = 0; index < m_pictureShown.size(); ++index) {
        if (!m_pictureShown[index])
            showPicture(index, {});
    }
    m_view.setStopEnabled(false);
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
