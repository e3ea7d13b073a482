#pragma once

#include <QString>

class QLabel;
class QWidget;
class IBrowserPane;
class ImageCheckBox;
class GradientBox;
class ClickableImage;

// The five parts of one result slot, as the main window's slot lists hold them.
struct TResultSlot {
    QWidget* Panel = nullptr;
    GradientBox* GradBox = nullptr;
    ClickableImage* Image = nullptr;
    QLabel* Label = nullptr;
    ImageCheckBox* CheckBox = nullptr;
};

// The main window as the search client sees it. The main window implements it; tests fake it.
class ISearchView {
public:
    static constexpr int SlotCount = 20;

    virtual ~ISearchView() = default;

    // The keyword box (HistoryComboBox1).
    virtual QString KeywordText() const = 0;
    virtual void SetKeywordText(const QString& text) = 0;
    // addToHistory() of the keyword box: records its current text in the history.
    virtual void AddKeywordToHistory() = 0;

    // The search controls S1, SpeedButton0_1, S2 and SpeedButton0_4, all four at once.
    virtual void SetSearchControlsEnabled(bool enabled) = 0;
    // Whether S1 is enabled; the Enter key starts a search only then.
    virtual bool SearchCommandEnabled() const = 0;
    // The paging buttons of both bars: first and previous (SpeedButton2_1, 2_2, 3_1, 3_2), next
    // and last (SpeedButton2_3, 2_4, 3_3, 3_4).
    virtual void SetPagingButtonsEnabled(bool firstAndPrevious, bool nextAndLast) = 0;

    // The result column: scroll position to the top and every slot hidden.
    virtual void ResetResultColumn() = 0;
    // The scroll range of the result column in pixels (0: it cannot be scrolled).
    virtual void SetResultScrollRange(int pixels) = 0;
    // The height of one slot (the first slot panel's height).
    virtual int SlotHeight() const = 0;
    // Slot index + 1, from the five slot lists (index 0 to SlotCount - 1).
    virtual TResultSlot Slot(int index) const = 0;

    // The window caption as designed ("ORVENA - Sorvel Browser"), kept in the window's hint.
    virtual QString BaseCaption() const = 0;
    virtual void setCaption(const QString& caption) = 0;
    // Label2_1 and Label3_1 together.
    virtual void SetPageLabels(const QString& text) = 0;
    // A panel of StatusBar0 (0 to 3).
    virtual void SetStatusText(int panel, const QString& text) = 0;

    // The browser pane WebBrowser1.
    virtual IBrowserPane& BrowserPane() = 0;
    // Enables the web commands W1 and W2.
    virtual void EnableWebCommands() = 0;
};
