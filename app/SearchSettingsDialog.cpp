#include "app/SearchSettingsDialog.h"

#include "ui_SearchSettingsDialog.h"

#include "app/DomainList.h"
#include "platform/Fonts.h"
#include "search/SearchTypes.h"
#include "search/SearchView.h"

#include <QLineEdit>
#include <QSignalBlocker>

#include <algorithm>
#include <iterator>

namespace {

void setIndexIfRow(QComboBox* box, int index) {
    box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
}

} // namespace

SearchSettingsDialog::SearchSettingsDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , m_ui(std::make_unique<Ui::SearchSettingsDialog>()) {
    m_ui->setupUi(this);
    setFont(designFont(12));
    setFixedSize(size());
    QComboBox* domainBox = m_ui->domainBox;
    domainBox->addItems(domainRows());
    domainBox->setCurrentIndex(-1);
    domainBox->lineEdit()->setMaxLength(31);
    // The domain is typed in ASCII: no input method for it.
    domainBox->lineEdit()->setAttribute(Qt::WA_InputMethodEnabled, false);

    connect(m_ui->okButton, &QPushButton::clicked, this, &QDialog::accept);
    for (QRadioButton* button : {m_ui->allSitesButton, m_ui->oneSiteButton}) {
        connect(button, &QRadioButton::toggled, this, [this](bool selected) {
            if (selected)
                updateDomainRow();
        });
    }
    connect(domainBox->lineEdit(), &QLineEdit::textEdited, this, [this] {
        m_selectedDomainRow = -1;
        skipHeaderRow();
    });
    // A row picked by the user (from the list, by arrow key or wheel) reports a change even
    // when it is the row already selected; the program's own selections report none.
    connect(domainBox, &QComboBox::activated, this, [this](int index) {
        m_selectedDomainRow = index;
        skipHeaderRow();
    });
}

SearchSettingsDialog::~SearchSettingsDialog() = default;

int SearchSettingsDialog::resultCountIndex() const {
    return m_ui->resultCountBox->currentIndex();
}

void SearchSettingsDialog::setResultCountIndex(int index) {
    setIndexIfRow(m_ui->resultCountBox, index);
}

int SearchSettingsDialog::adultChoiceIndex() const {
    return m_ui->adultBox->currentIndex();
}

void SearchSettingsDialog::setAdultChoiceIndex(int index) {
    setIndexIfRow(m_ui->adultBox, index);
}

bool SearchSettingsDialog::allSitesSelected() const {
    return m_ui->allSitesButton->isChecked();
}

bool SearchSettingsDialog::oneSiteSelected() const {
    return m_ui->oneSiteButton->isChecked();
}

void SearchSettingsDialog::setAllSitesSelected(bool selected) {
    setSelected(m_ui->allSitesButton, selected);
    updateDomainRow();
}

void SearchSettingsDialog::setOneSiteSelected(bool selected) {
    setSelected(m_ui->oneSiteButton, selected);
    updateDomainRow();
}

QString SearchSettingsDialog::domainText() const {
    return m_ui->domainBox->currentText();
}

void SearchSettingsDialog::updateDomainRow() {
    const bool oneSite = m_ui->oneSiteButton->isChecked();
    m_ui->domainLabel->setEnabled(oneSite);
    m_ui->domainBox->setEnabled(oneSite);
}

void SearchSettingsDialog::skipHeaderRow() {
    QComboBox* domainBox = m_ui->domainBox;
    if (!domainBox->currentText().contains(u'<'))
        return;
    const int next = m_selectedDomainRow + 1;
    const QSignalBlocker blocker(domainBox);
    domainBox->setCurrentIndex(next < domainBox->count() ? next : -1);
    m_selectedDomainRow = domainBox->currentIndex();
}

void SearchSettingsDialog::setSelected(QRadioButton* button, bool selected) {
    if (selected) {
        button->setChecked(true);
        return;
    }
    // An exclusive button refuses to be cleared while it is the selected one.
    button->setAutoExclusive(false);
    button->setChecked(false);
    button->setAutoExclusive(true);
}

void SearchSettingsDialog::setDomainText(const QString& text) {
    const QSignalBlocker blocker(m_ui->domainBox);
    m_ui->domainBox->setEditText(text);
}

void SearchSettingsDialog::applyTo(SearchSettings& settings) const {
    static constexpr int counts[] = {5, 10, 20};
    const int countIndex = m_ui->resultCountBox->currentIndex();
    // The box without a selection (a first start, a stored index outside the list) keeps a count
    // of the list; any other is no usable count, and the column then shows as many as it has
    // slots.
    if (countIndex >= 0 && countIndex < int(std::size(counts)))
        settings.resultsPerPage = counts[countIndex];
    else if (std::ranges::find(counts, settings.resultsPerPage) == std::end(counts))
        settings.resultsPerPage = ISearchView::SlotCount;
    settings.adultOk = QString::number(m_ui->adultBox->currentIndex());
    if (m_ui->allSitesButton->isChecked())
        settings.site.clear();
    else if (m_ui->oneSiteButton->isChecked())
        settings.site = m_ui->domainBox->currentText();
}
