#include "search/SearchClient.h"

#include "search/SearchView.h"

void TSearchClient::ShowCaption() {
    m_view.SetCaption(m_view.BaseCaption() + QStringLiteral(" -「") + m_view.KeywordText() +
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
    for (int n = 0; n < rows; ++n) {
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

void TSearchClient::FillSlot(int, const TResultRow&) {}
