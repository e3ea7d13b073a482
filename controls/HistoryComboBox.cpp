#include "controls/HistoryComboBox.h"

#include "platform/AppDir.h"
#include "platform/Convert.h"
#include "platform/MessageService.h"
#include "platform/Profile.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStandardPaths>

#include <algorithm>
#include <climits>
#include <optional>

namespace {

const QString CountKey = QStringLiteral("HistoryCount");

QString entryKey(int index) {
    return QStringLiteral("History") + QString::number(index);
}

// The entries that a section holds, in the order of their index: "History" + i for each i below
// the limit whose key is there. A count that says more than the section holds (a damaged file)
// thus loads what is stored, never a blank row for a missing key.
QStringList storedEntries(const ProfileReader& reader, const QString& section, int limit) {
    const QString prefix = entryKey(0).chopped(1).toCaseFolded();
    QList<int> indexes;
    for (const QString& name : reader.keyNames(section)) {
        if (!name.startsWith(prefix))
            continue;
        // Only the form in which entries are written: decimal, no sign, no leading zero.
        const QString digits = name.sliced(prefix.size());
        if (digits.isEmpty() || digits.front() < u'0' || digits.front() > u'9' ||
            (digits.front() == u'0' && digits.size() > 1))
            continue;
        if (const std::optional<int> index = tryParseInt(digits); index && *index < limit)
            indexes.append(*index);
    }
    std::sort(indexes.begin(), indexes.end());
    QStringList entries;
    entries.reserve(indexes.size());
    for (const int index : std::as_const(indexes))
        entries.append(reader.readString(section, entryKey(index), QString()));
    return entries;
}

// Restores the text field (and its cursor) after list operations: QComboBox copies an item into
// the text field when the current item changes, as inserting into an empty list or removing
// the current item does.
class EditTextKeeper final {
public:
    explicit EditTextKeeper(QComboBox* box)
        : m_edit(box->lineEdit())
        , m_text(m_edit->text())
        , m_cursor(m_edit->cursorPosition()) {}
    ~EditTextKeeper() {
        if (m_edit->text() != m_text) {
            m_edit->setText(m_text);
            m_edit->setCursorPosition(m_cursor);
        }
    }
    Q_DISABLE_COPY_MOVE(EditTextKeeper)

private:
    QLineEdit* m_edit;
    QString m_text;
    int m_cursor;
};

// The section of the registry stand-in for a key path, or "" when the key names nothing.
QString registrySection(const QString& key, const QString& section) {
    qsizetype begin = 0;
    qsizetype end = key.size();
    while (begin < end && key[begin] == u'\\')
        ++begin;
    while (end > begin && key[end - 1] == u'\\')
        --end;
    if (begin == end)
        return {};
    return key.sliced(begin, end - begin) + u'\\' + section;
}

} // namespace

HistoryComboBox::HistoryComboBox(QWidget* parent)
    : QComboBox(parent) {
    setEditable(true);
    // Entries come only through addToHistory and the loads: Qt's own Return handling would insert
    // the text or select a matching entry, and inline completion would change what is searched.
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);
}

HistoryComboBox::~HistoryComboBox() {
    runCommand([this] { saveAutomatically(); });
}

void HistoryComboBox::setSaveMode(SaveMode mode) {
    m_saveMode = mode;
}

void HistoryComboBox::setSaveRegistryKey(const QString& keyName) {
    m_saveRegistryKey = keyName;
}

void HistoryComboBox::setSaveFileName(const QString& fileName) {
    m_saveFileName = fileName;
}

void HistoryComboBox::setSaveSectionName(const QString& sectionName) {
    m_saveSectionName = sectionName;
}

void HistoryComboBox::setMaxLength(int length) {
    if (length == m_maxLength)
        return;
    m_maxLength = length;
    lineEdit()->setMaxLength(length > 0 ? length : 32767);
}

QString HistoryComboBox::sectionName() const {
    return m_saveSectionName.isEmpty() ? objectName() : m_saveSectionName;
}

bool HistoryComboBox::addToHistory(const QString& text) {
    if (text.isEmpty())
        return false;
    const EditTextKeeper keeper(this);
    for (int i = 0; i < count(); ++i) {
        if (itemText(i).compare(text, Qt::CaseInsensitive) != 0)
            continue;
        if (i > 0) {
            const QString stored = itemText(i);
            removeItem(i);
            insertItem(0, stored);
        }
        return false;
    }
    insertItem(0, text);
    return true;
}

bool HistoryComboBox::addToHistory() {
    return addToHistory(currentText());
}

QStringList HistoryComboBox::historyEntries() const {
    QStringList entries;
    entries.reserve(count());
    for (int i = 0; i < count(); ++i)
        entries.append(itemText(i));
    return entries;
}

void HistoryComboBox::appendEntries(const QStringList& entries) {
    const EditTextKeeper keeper(this);
    insertItems(count(), entries);
}

void HistoryComboBox::saveEntries(const QString& path, const QString& section) const {
    const QStringList entries = historyEntries();
    QList<QPair<QString, QString>> keys;
    keys.reserve(entries.size() + 1);
    keys.append({CountKey, QString::number(entries.size())});
    for (int i = 0; i < entries.size(); ++i)
        keys.append({entryKey(i), entries[i]});
    replaceProfileSection(path, section, keys);
}

void HistoryComboBox::saveToFile(const QString& name) {
    saveEntries(resolveHistoryFileName(name), sectionName());
}

bool HistoryComboBox::saveToFile() {
    if (m_saveFileName.isEmpty())
        return false;
    saveToFile(m_saveFileName);
    return true;
}

void HistoryComboBox::loadFromFile(const QString& name) {
    const ProfileReader reader(resolveHistoryFileName(name));
    const QString section = sectionName();
    // A count that is no integer tells nothing of the entries: every stored one is loaded.
    const std::optional<int> count =
        tryParseInt(reader.readString(section, CountKey, QStringLiteral("0")));
    appendEntries(storedEntries(reader, section, count.value_or(INT_MAX)));
}

bool HistoryComboBox::loadFromFile() {
    if (m_saveFileName.isEmpty())
        return false;
    loadFromFile(m_saveFileName);
    return true;
}

void HistoryComboBox::saveToRegistry(const QString& key) {
    const QString section = registrySection(key, sectionName());
    if (section.isEmpty())
        return;
    const QString path = historyRegistryFileName();
    QDir().mkpath(QFileInfo(path).path());
    saveEntries(path, section);
}

bool HistoryComboBox::saveToRegistry() {
    if (m_saveRegistryKey.isEmpty())
        return false;
    saveToRegistry(m_saveRegistryKey);
    return true;
}

void HistoryComboBox::loadFromRegistry(const QString& key) {
    const QString section = registrySection(key, sectionName());
    if (section.isEmpty())
        return;
    // The count is a number value there: one that does not read as a number is 0.
    const ProfileReader reader(historyRegistryFileName());
    appendEntries(storedEntries(reader, section, reader.readInteger(section, CountKey, 0)));
}

bool HistoryComboBox::loadFromRegistry() {
    if (m_saveRegistryKey.isEmpty())
        return false;
    loadFromRegistry(m_saveRegistryKey);
    return true;
}

void HistoryComboBox::restoreHistory() {
    if (m_restoreCalled)
        return;
    m_restoreCalled = true;
    if (m_saveMode == SaveMode::Auto || m_saveMode == SaveMode::LoadOnly) {
        if (!m_saveRegistryKey.isEmpty())
            loadFromRegistry();
        else if (!m_saveFileName.isEmpty())
            loadFromFile();
    }
    m_loadDone = true;
}

void HistoryComboBox::saveAutomatically() {
    const bool saves =
        (m_saveMode == SaveMode::Auto && m_loadDone) || m_saveMode == SaveMode::SaveOnly;
    if (!saves)
        return;
    if (!m_saveRegistryKey.isEmpty())
        saveToRegistry();
    else if (!m_saveFileName.isEmpty())
        saveToFile();
}

void HistoryComboBox::clearHistory() {
    const EditTextKeeper keeper(this);
    clear();
}

void HistoryComboBox::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!enter && event->text().size() != 1) {
        QComboBox::keyPressEvent(event);
        return;
    }
    const QChar typed = enter ? QChar(13) : event->text().front();
    QChar key = typed;
    emit keyTyped(key);
    if (key == typed && !enter) {
        QComboBox::keyPressEvent(event);
        return;
    }
    if (key != typed && !key.isNull() && key.isPrint())
        lineEdit()->insert(QString(key));
    event->accept();
}

QString resolveHistoryFileName(const QString& name) {
    const qsizetype separator =
        std::max({name.lastIndexOf(u'\\'), name.lastIndexOf(u'/'), name.lastIndexOf(u':')});
    QString path = name;
    if (name.indexOf(u'.', separator + 1) < 0)
        path += QStringLiteral(".ini");
    return separator < 0 ? programFilePath(path) : path;
}

QString historyRegistryFileName() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation))
        .filePath(QStringLiteral("registry.ini"));
}
