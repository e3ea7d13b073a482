#include "app/SearchSettingsDialog.h"

#include "app/DomainList.h"
#include "platform/Fonts.h"
#include "search/SearchTypes.h"

#include <QLineEdit>
#include <QSignalBlocker>

TSettingForm1::TSettingForm1(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setupUi(this);
    setFont(designFont(12));
    setFixedSize(size());
    ComboBox4->addItems(DomainRows());
    ComboBox4->setCurrentIndex(-1);
    ComboBox4->lineEdit()->setMaxLength(31);
    // The domain is typed in ASCII: no input method for it.
    ComboBox4->lineEdit()->setAttribute(Qt::WA_InputMethodEnabled, false);

    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    for (QRadioButton* button : {RadioButton1, RadioButton3}) {
        connect(button, &QRadioButton::toggled, this, [this](bool selected) {
            if (selected)
                RadioButton1Click();
        });
    }
    connect(ComboBox4->lineEdit(), &QLineEdit::textEdited, this, [this] {
        m_selectedDomainRow = -1;
        ComboBox4Change();
    });
    // A row picked by the user (from the list, by arrow key or wheel) reports a change even
    // when it is the row already selected; the program's own selections report none.
    connect(ComboBox4, &QComboBox::activated, this, [this](int index) {
        m_selectedDomainRow = index;
        ComboBox4Change();
    });
}

void TSettingForm1::RadioButton1Click() {
    const bool oneSite = RadioButton3->isChecked();
    Label4->setEnabled(oneSite);
    ComboBox4->setEnabled(oneSite);
}

void TSettingForm1::ComboBox4Change() {
    if (!ComboBox4->currentText().contains(u'<'))
        return;
    const int next = m_selectedDomainRow + 1;
    const QSignalBlocker blocker(ComboBox4);
    ComboBox4->setCurrentIndex(next < ComboBox4->count() ? next : -1);
    m_selectedDomainRow = ComboBox4->currentIndex();
}

void TSettingForm1::SetSelected(QRadioButton* button, bool selected) {
    if (selected) {
        button->setChecked(true);
        return;
    }
    // An exclusive button refuses to be cleared while it is the selected one.
    button->setAutoExclusive(false);
    button->setChecked(false);
    button->setAutoExclusive(true);
}

void TSettingForm1::SetDomainText(const QString& text) {
    const QSignalBlocker blocker(ComboBox4);
    ComboBox4->setEditText(text);
}

void TSettingForm1::ApplyTo(SearchSettings& settings) const {
    static constexpr int counts[] = {5, 10, 20};
    const int countIndex = ComboBox0->currentIndex();
    if (countIndex >= 0 && countIndex < 3)
        settings.resultsPerPage = counts[countIndex];
    settings.adultOk = QString::number(ComboBox1->currentIndex());
    if (RadioButton1->isChecked())
        settings.site.clear();
    else if (RadioButton3->isChecked())
        settings.site = ComboBox4->currentText();
}
