#pragma once

#include <QDialog>

#include <memory>

struct SearchSettings;
class QRadioButton;

namespace Ui {
class SearchSettingsDialog;
}

// The search settings dialog. Created hidden at start-up and kept until exit: its controls are
// the lasting form of the search settings (the settings file stores them), and applyTo() copies
// them into SearchSettings.
class SearchSettingsDialog final : public QDialog {
    Q_OBJECT
public:
    explicit SearchSettingsDialog(QWidget* parent = nullptr);
    ~SearchSettingsDialog() override;
    Q_DISABLE_COPY_MOVE(SearchSettingsDialog)

    // The controls as the settings file stores them. An index without a row leaves its box
    // without a selection.
    int resultCountIndex() const;
    void setResultCountIndex(int index);
    int adultChoiceIndex() const;
    void setAdultChoiceIndex(int index);
    // Selecting one of the exclusive pair of site choices clears the other; clearing one leaves
    // the other as it is, so that neither may be selected. The domain row follows the one-site
    // choice.
    bool allSitesSelected() const;
    void setAllSitesSelected(bool selected);
    bool oneSiteSelected() const;
    void setOneSiteSelected(bool selected);
    QString domainText() const;
    // Sets the domain box's text as the program does: no change is reported.
    void setDomainText(const QString& text);

    // Copies the controls into the settings: the result count (an index without a row leaves a
    // count of the list as it is and makes any other one ISearchView::SlotCount), the adult choice
    // as its index in decimal, and the site of the selected choice.
    void applyTo(SearchSettings& settings) const;

private:
    // Enables the domain row exactly while the one-site choice is selected.
    void updateDomainRow();
    // A text holding "<" (a header row, or typed) is replaced by the row after the selected
    // one (row 0 when none is selected). The selection made here reports no change.
    void skipHeaderRow();
    static void setSelected(QRadioButton* button, bool selected);

    std::unique_ptr<Ui::SearchSettingsDialog> m_ui;
    // The row the user selected last; -1 after typing.
    int m_selectedDomainRow = -1;
};
