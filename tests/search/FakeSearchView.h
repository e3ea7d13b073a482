#pragma once

#include "controls/BrowserPane.h"
#include "controls/ClickableImage.h"
#include "controls/GradientBox.h"
#include "controls/ImageCheckBox.h"
#include "search/SearchView.h"

#include <QLabel>
#include <QStringList>
#include <QWidget>

// A view that records what the search controller does to it, for tests that need no window.
class FakeBrowserPane final : public IBrowserPane {
public:
    void navigate(const QString& url) override { navigations << url; }
    QString locationUrl() const override { return location; }
    QString resultTitle() const override { return title; }
    void setResultTitle(const QString& text) override { title = text; }
    // The search controller moves through no history.
    void goBack() override {}
    void goForward() override {}
    void reloadPage() override {}
    bool canGoBack() const override { return false; }
    bool canGoForward() const override { return false; }
    void exitPageFullScreen() override {}

    QStringList navigations;
    QString location;
    QString title;
};

// Twenty resultSlots of real controls on a hidden container, without the main window.
class FakeSearchView : public ISearchView {
public:
    FakeSearchView() {
        for (int i = 0; i < SlotCount; ++i) {
            ResultSlot& slot = resultSlots[i];
            slot.panel = new QWidget(&container);
            slot.strip = new GradientBox(slot.panel);
            slot.thumbnail = new ClickableImage(slot.panel);
            slot.infoLabel = new QLabel(QStringLiteral("-"), slot.panel);
            slot.checkBox = new ImageCheckBox(slot.panel);
            slot.panel->hide();
        }
    }

    int shownSlots() const {
        int shown = 0;
        for (const ResultSlot& slot : resultSlots)
            shown += slot.panel->isVisibleTo(&container) ? 1 : 0;
        return shown;
    }

    QString keywordText() const override { return keyword; }
    void setKeywordText(const QString& text) override { keyword = text; }
    void addKeywordToHistory() override { history.prepend(keyword); }
    void setSearchControlsEnabled(bool enabled) override { searchEnabled = enabled; }
    bool isSearchEnabled() const override { return searchEnabled; }
    void setPagingButtonsEnabled(bool firstAndPrevious, bool nextAndLast) override {
        previousEnabled = firstAndPrevious;
        nextEnabled = nextAndLast;
    }
    void setStopEnabled(bool enabled) override { stopEnabled = enabled; }
    void resetResultColumn() override {
        ++columnResets;
        for (const ResultSlot& slot : resultSlots)
            slot.panel->hide();
    }
    void setResultScrollRange(int pixels) override { scrollRange = pixels; }
    int slotHeight() const override { return 120; }
    ResultSlot resultSlot(int index) const override { return resultSlots[index]; }
    QString baseCaption() const override { return QStringLiteral("ORVENA - Sorvel Browser"); }
    void setCaption(const QString& text) override { caption = text; }
    void setPageLabels(const QString& text) override { pageLabels = text; }
    void setStatusText(int panel, const QString& text) override { status[panel] = text; }
    IBrowserPane& browserPane() override { return browser; }
    void enableWebCommands() override { webCommandsEnabled = true; }

    QWidget container;
    ResultSlot resultSlots[SlotCount];
    QString keyword;
    QStringList history;
    bool searchEnabled = true;
    bool previousEnabled = false;
    bool nextEnabled = false;
    bool stopEnabled = false;
    int columnResets = 0;
    int scrollRange = 0;
    QString caption;
    QString pageLabels = QStringLiteral("ページ 0/0");
    QString status[4];
    FakeBrowserPane browser;
    bool webCommandsEnabled = false;
};
