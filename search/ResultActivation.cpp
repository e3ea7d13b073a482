#include "search/SearchController.h"

#include "controls/BrowserPane.h"
#include "controls/ImageCheckBox.h"
#include "platform/DesktopServices.h"
#include "search/SearchView.h"

void TSearchClient::ImageClick(int slotNumber) {
    const int row = slotNumber - 1;
    if (row < 0 || row >= ResultTable.size() || row >= ISearchView::SlotCount)
        return;
    const TResultRow& result = ResultTable[row];
    IBrowserPane& pane = m_view.BrowserPane();
    if (isWebAddress(result.RefererUrl))
        pane.navigate(result.RefererUrl);
    pane.setResultTitle(result.Title);
    ImageCheckBox* checkBox = m_view.Slot(row).CheckBox;
    if (checkBox->isEnabled())
        checkBox->setChecked(true);
}

void TSearchClient::WebBrowser1NavigateComplete2() {
    const QString location = m_view.BrowserPane().locationUrl();
    if (location.contains(TopPageUrl(m_serviceHost)))
        return;
    m_view.EnableWebCommands();
    m_view.SetStatusText(3, location);
}
