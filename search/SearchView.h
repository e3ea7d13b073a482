#pragma once

#include <QString>

class QLabel;
class QWidget;
class IBrowserPane;
class ImageCheckBox;
class GradientBox;
class ClickableImage;

// The five parts of one result slot.
struct ResultSlot {
    QWidget* panel = nullptr;
    GradientBox* strip = nullptr;
    ClickableImage* thumbnail = nullptr;
    QLabel* infoLabel = nullptr;
    ImageCheckBox* checkBox = nullptr;
};

// The main window as the search controller sees it. The main window implements it; tests fake it.
class ISearchView {
public:
    static constexpr int SlotCount = 20;

    virtual ~ISearchView() = default;

    // The keyword box.
    virtual QString keywordText() const = 0;
    virtual void setKeywordText(const QString& text) = 0;
    // addToHistory() of the keyword box: records its current text in the history.
    virtual void addKeywordToHistory() = 0;

    // The search controls (the search and search settings commands, in the menu and on the tool
    // bar), all four at once.
    virtual void setSearchControlsEnabled(bool enabled) = 0;
    // Whether the search command is enabled; the Enter key starts a search only then.
    virtual bool isSearchEnabled() const = 0;
    // The paging buttons of both navigation bars: first and previous page, next and last page.
    virtual void setPagingButtonsEnabled(bool firstAndPrevious, bool nextAndLast) = 0;
    // The stop command (in the menu and on the tool bar): enabled while a load runs.
    virtual void setStopEnabled(bool enabled) = 0;

    // The result column: scroll position to the top and every slot hidden.
    virtual void resetResultColumn() = 0;
    // The scroll range of the result column in pixels (0: it cannot be scrolled).
    virtual void setResultScrollRange(int pixels) = 0;
    // The height of one slot (the first slot panel's height).
    virtual int slotHeight() const = 0;
    // The slot shown at index (0 to SlotCount - 1).
    virtual ResultSlot resultSlot(int index) const = 0;

    // The window caption as designed ("ORVENA - Sorvel Browser"), kept for the whole run.
    virtual QString baseCaption() const = 0;
    virtual void setCaption(const QString& caption) = 0;
    // The page labels of both navigation bars together.
    virtual void setPageLabels(const QString& text) = 0;
    // A panel of the status bar (0 to 3).
    virtual void setStatusText(int panel, const QString& text) = 0;

    // The browser pane.
    virtual IBrowserPane& browserPane() = 0;
    // Enables the web commands: open the page in the default browser, mail its link.
    virtual void enableWebCommands() = 0;
};
