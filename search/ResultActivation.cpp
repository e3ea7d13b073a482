#include "search/SearchController.h"

#include "controls/BrowserPane.h"
#include "controls/ImageCheckBox.h"
#include "platform/DesktopServices.h"
#include "search/SearchView.h"

void SearchController::openResult(int slotNumber) {
    const int row = slotNumber - 1;
    if (row < 0 || row >= results.size() || row >= ISearchView::SlotCount)
        return;
    const SearchResult& result = results[row];
    IBrowserPane& pane = m_view.browserPane();
    if (isWebAddress(result.pageUrl))
        pane.navigate(result.pageUrl);
    pane.setResultTitle(result.title);
    ImageCheckBox* checkBox = m_view.resultSlot(row).checkBox;
    if (checkBox->isEnabled())
        checkBox->setChecked(true);
}

void SearchController::handleNavigationFinished() {
    const QString location = m_view.browserPane().locationUrl();
    if (location.contains(topPageUrl(m_serviceHost)))
        return;
    m_view.enableWebCommands();
    m_view.setStatusText(3, location);
}
