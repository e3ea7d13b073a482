#pragma once

#include "controls/BrowserPane.h"
#include "controls/ImageCheckBox.h"
#include "controls/GradientBox.h"
#include "controls/ClickableImage.h"
#include "search/SearchView.h"

#include <QLabel>
#include <QStringList>
#include <QWidget>

// A view that records what the search client does to it, for tests that need no window.
class FakeBrowserPane final : public IBrowserPane {
public:
    void navigate(const QString& url) override { navigations << url; }
    QString locationUrl() const override { return location; }
    QString resultTitle() const override { return hint; }
    void setResultTitle(const QString& text) override { hint = text; }

    QStringList navigations;
    QString location;
    QString hint;
};

// Twenty resultSlots of real controls on a hidden container, without the main window.
class FakeSearchView : public ISearchView {
public:
    FakeSearchView() {
        for (int i = 0; i < SlotCount; ++i) {
            TResultSlot& slot = resultSlots[i];
            slot.Panel = new QWidget(&container);
            slot.GradBox = new GradientBox(slot.Panel);
            slot.Image = new ClickableImage(slot.Panel);
            slot.Label = new QLabel(QStringLiteral("-"), slot.Panel);
            slot.CheckBox = new ImageCheckBox(slot.Panel);
            slot.Panel->hide();
        }
    }

    int ShownSlots() const {
        int shown = 0;
        for (const TResultSlot& slot : resultSlots)
            shown += slot.Panel->isVisibleTo(&container) ? 1 : 0;
        return shown;
    }

    QString KeywordText() const override { return keyword; }
    void SetKeywordText(const QString& text) override { keyword = text; }
    void AddKeywordToHistory() override { history.prepend(keyword); }
    void SetSearchControlsEnabled(bool enabled) override { searchEnabled = enabled; }
    bool SearchCommandEnabled() const override { return searchEnabled; }
    void SetPagingButtonsEnabled(bool firstAndPrevious, bool nextAndLast) override {
        previousEnabled = firstAndPrevious;
        nextEnabled = nextAndLast;
    }
    void ResetResultColumn() override {
        ++columnResets;
        for (const TResultSlot& slot : resultSlots)
            slot.Panel->hide();
    }
    void SetResultScrollRange(int pixels) override { scrollRange = pixels; }
    int SlotHeight() const override { return 120; }
    TResultSlot Slot(int index) const override { return resultSlots[index]; }
    QString BaseCaption() const override { return QStringLiteral("ORVENA - Sorvel Browser"); }
    void setCaption(const QString& text) override { caption = text; }
    void SetPageLabels(const QString& text) override { pageLabels = text; }
    void SetStatusText(int panel, const QString& text) override { status[panel] = text; }
    IBrowserPane& BrowserPane() override { return browser; }
    void EnableWebCommands() override { webCommandsEnabled = true; }

    QWidget container;
    TResultSlot resultSlots[SlotCount];
    QString keyword;
    QStringList history;
    bool searchEnabled = true;
    bool previousEnabled = false;
    bool nextEnabled = false;
    int columnResets = 0;
    int scrollRange = 0;
    QString caption;
    QString pageLabels = QStringLiteral("ページ 0/0");
    QString status[4];
    FakeBrowserPane browser;
    bool webCommandsEnabled = false;
};
