#pragma once

#include "ui_SearchSettingsDialog.h"

#include <QDialog>

struct SearchSettings;
class QRadioButton;

// The search settings dialog. Created hidden at start-up and kept until exit: its controls are
// the lasting form of the search settings (the settings file stores them), and the apply step
// copies them into SearchSettings.
class TSettingForm1 final : public QDialog, public Ui::TSettingForm1 {
    Q_OBJECT
public:
    explicit TSettingForm1(QWidget* parent = nullptr);

    // Enables the domain row exactly while the one-site choice is selected.
    void RadioButton1Click();
    // A text holding "<" (a header row, or typed) is replaced by the row after the selected
    // one (row 0 when none is selected). The selection made here reports no change.
    void ComboBox4Change();

    // Selecting one of the exclusive pair clears the other; clearing one leaves the other as
    // it is, so that neither may be selected.
    static void SetSelected(QRadioButton* button, bool selected);
    // Sets the domain box's text as the program does: no change is reported.
    void SetDomainText(const QString& text);

    // Copies the controls into the settings: the result count (an index without a row leaves
    // it), the adult choice as its index in decimal, and the site of the selected choice.
    void ApplyTo(SearchSettings& settings) const;

private:
    // The row the user selected last; -1 after typing.
    int m_selectedDomainRow = -1;
};
