#include "search/SearchController.h"

#include "controls/ImageCheckBox.h"
#include "controls/ClickableImage.h"
#include "net/HttpClient.h"
#include "platform/Convert.h"
#include "platform/Jpeg.h"
#include "search/SearchView.h"

#include <QFile>
#include <QLabel>
#include <QUrl>

void TSearchClient::ShowCaption() {
    m_view.setCaption(m_view.BaseCaption() + QStringLiteral(" -「") + m_view.KeywordText() +
                      QStringLiteral("」の動画検索結果 ") +
                      QString::number(PagingState.TotalResults) +
                      (TotalCapped ? QStringLiteral("件以上") : QStringLiteral("件")));
}

void TSearchClient::ShowEmptyPage() {
    m_view.SetSearchControlsEnabled(true);
    m_view.SetPageLabels(QStringLiteral("ページ 0/0"));
}

void TSearchClient::ShowPageCount() {
    const int perPage = SearchSettings.ResultsPerPage;
    PagingState.PageCount = (PagingState.TotalResults + perPage - 1) / perPage;
    m_view.SetPageLabels(
        QStringLiteral("ページ %1/%2").arg(PagingState.CurrentPage).arg(PagingState.PageCount));
}

void TSearchClient::ShowResults() {
    // There are twenty slots: rows beyond them are not shown.
    const int rows =
        static_cast<int>(std::min<qsizetype>(ResultTable.size(), ISearchView::SlotCount));
    for (int n = 0; n < rows && !m_stopped; ++n) {
        m_view.SetStatusText(0, QStringLiteral("ページ%1更新中 %2/%3")
                                    .arg(PagingState.CurrentPage)
                                    .arg(n + 1)
                                    .arg(rows));
        FillSlot(n, ResultTable[n]);
    }
    m_view.SetSearchControlsEnabled(true);
    m_view.SetPagingButtonsEnabled(PagingState.CurrentPage > 1,
                                   PagingState.PageCount > PagingState.CurrentPage);
    m_view.SetStatusText(0, QString());
    const int slotsInRange =
        PagingState.CurrentPage > PagingState.PageCount ? rows : SearchSettings.ResultsPerPage;
    m_view.SetResultScrollRange(slotsInRange * m_view.SlotHeight());
    const QString keyword = m_view.KeywordText();
    m_view.AddKeywordToHistory();
    m_view.SetKeywordText(keyword);
}

bool IsMarkableSite(const QString& copyright) {
    static const QString sites[] = {QStringLiteral("Youtube"), QStringLiteral("metacafe"),
                                    QStringLiteral("Yahoo! Video"), QStringLiteral("ニコニコ動画")};
    return std::find(std::begin(sites), std::end(sites), copyright) != std::end(sites);
}

QString SlotLabelText(const TResultRow& row) {
    const std::optional<int> seconds = tryParseInt(row.Duration);
    if (!seconds)
        return QStringLiteral("情報なし");
    const QString duration = *seconds >= 1
                                 ? QStringLiteral("%1分%2秒").arg(*seconds / 60).arg(*seconds % 60)
                                 : QStringLiteral("?分?秒");
    return QStringLiteral("[") + row.Copyright + QStringLiteral("]\n\n") + duration +
           QStringLiteral("\n\n");
}

void TSearchClient::FetchThumbnail(const QString& url) {
    const QUrl parsed(url);
    const QString host = parsed.host().toLower() + u':' + QString::number(parsed.port(80));
    // A host that ran out of time is not asked again during the load: its picture fails to load.
    if (m_slowHosts.contains(host))
        return;
    m_http.timeout = ThumbnailTimeOut;
    m_http.deadline = ThumbnailDeadline;
    m_http.bodyToFile = true;
    m_http.body = QFile::encodeName(ThumbnailFile);
    m_http.dataFromFile = false;
    m_http.reportLevel = 2;
    try {
        m_http.get(RequestBytes(url));
    } catch (...) {
        // The picture then fails to load and "no_image.jpg" is shown; no message.
        if (m_http.timedOut && !parsed.host().isEmpty())
            m_slowHosts.insert(host);
    }
}

void TSearchClient::FillSlot(int index, const TResultRow& row) {
    const TResultSlot slot = m_view.Slot(index);
    slot.CheckBox->setEnabled(IsMarkableSite(row.Copyright));
    slot.CheckBox->setChecked(false);
    slot.CheckBox->setCaption(row.Title);
    slot.Label->setText(SlotLabelText(row));

    FetchThumbnail(row.Url);
    // Decoded at the size the slot shows, whatever size the picture declares.
    const QSize shown = slot.Image->size() * slot.Image->devicePixelRatio();
    try {
        slot.Image->setPicture(loadJpegFile(ThumbnailFile, shown));
    } catch (const Exception&) {
        try {
            slot.Image->setPicture(loadJpegFile(NoImageFile, shown));
        } catch (const Exception&) {
            // Without its stand-in picture the slot shows none rather than the last one.
            slot.Image->clear();
        }
    }
    slot.Image->setToolTip(row.RefererUrl);
    slot.Panel->show();
    QFile::remove(ThumbnailFile);
}

void TSearchClient::SpeedButton2_1Click() {
    if (PagingState.CurrentPage > 1) {
        PagingState.CurrentPage = 1;
        LoadResultPage(PagingState.CurrentPage);
    }
}

void TSearchClient::SpeedButton2_2Click() {
    if (PagingState.CurrentPage > 1) {
        --PagingState.CurrentPage;
        LoadResultPage(PagingState.CurrentPage);
    }
}

void TSearchClient::SpeedButton2_3Click() {
    if (PagingState.CurrentPage < PagingState.PageCount) {
        ++PagingState.CurrentPage;
        LoadResultPage(PagingState.CurrentPage);
    }
}

void TSearchClient::SpeedButton2_4Click() {
    if (PagingState.CurrentPage < PagingState.PageCount) {
        PagingState.CurrentPage = PagingState.PageCount;
        LoadResultPage(PagingState.CurrentPage);
    }
}
