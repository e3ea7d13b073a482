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

QString EntryKey(int index) {
    return QStringLiteral("History") + QString::number(index);
}

// The entries that a section holds, in the order of their index: "History" + i for each i below
// the limit whose key is there. A count that says more than the section holds (a damaged file)
// thus loads what is stored, never a blank row for a missing key.
QStringList StoredEntries(const ProfileReader& reader, const QString& section, int limit) {
    const QString prefix = EntryKey(0).chopped(1).toCaseFolded();
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
        entries.append(reader.readString(section, EntryKey(index), QString()));
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
QString RegistrySection(const QString& key, const QString& section) {
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

THistoryComboBox::THistoryComboBox(QWidget* parent)
    : QComboBox(parent) {
    setEditable(true);
    // Entries come only through AddText and the loads: Qt's own Return handling would insert
    // the text or select a matching entry, and inline completion would change what is searched.
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);
}

THistoryComboBox::~THistoryComboBox() {
    runCommand([this] { AutoSave(); });
}

void THistoryComboBox::SetSaveMode(THistoryMode mode) {
    m_saveMode = mode;
}

void THistoryComboBox::SetSaveKeyName(const QString& keyName) {
    m_saveKeyName = keyName;
}

void THistoryComboBox::SetSaveFileName(const QString& fileName) {
    m_saveFileName = fileName;
}

void THistoryComboBox::SetSaveSectionName(const QString& sectionName) {
    m_saveSectionName = sectionName;
}

void THistoryComboBox::SetMaxLength(int length) {
    if (length == m_maxLength)
        return;
    m_maxLength = length;
    lineEdit()->setMaxLength(length > 0 ? length : 32767);
}

QString THistoryComboBox::GetSectionString() const {
    return m_saveSectionName.isEmpty() ? objectName() : m_saveSectionName;
}

bool THistoryComboBox::AddText(const QString& text) {
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

bool THistoryComboBox::AddText() {
    return AddText(currentText());
}

QStringList THistoryComboBox::Entries() const {
    QStringList entries;
    entries.reserve(count());
    for (int i = 0; i < count(); ++i)
        entries.append(itemText(i));
    return entries;
}

void THistoryComboBox::AppendEntries(const QStringList& entries) {
    const EditTextKeeper keeper(this);
    insertItems(count(), entries);
}

void THistoryComboBox::SaveEntries(const QString& path, const QString& section) const {
    const QStringList entries = Entries();
    QList<QPair<QString, QString>> keys;
    keys.reserve(entries.size() + 1);
    keys.append({CountKey, QString::number(entries.size())});
    for (int i = 0; i < entries.size(); ++i)
        keys.append({EntryKey(i), entries[i]});
    replaceProfileSection(path, section, keys);
}

void THistoryComboBox::SaveToFile(const QString& name) {
    SaveEntries(ResolveHistoryFileName(name), GetSectionString());
}

bool THistoryComboBox::SaveToFile() {
    if (m_saveFileName.isEmpty())
        return false;
    SaveToFile(m_saveFileName);
    return true;
}

void THistoryComboBox::LoadFromFile(const QString& name) {
    const ProfileReader reader(ResolveHistoryFileName(name));
    const QString section = GetSectionString();
    // A count that is no integer tells nothing of the entries: every stored one is loaded.
    const std::optional<int> count =
        tryParseInt(reader.readString(section, CountKey, QStringLiteral("0")));
    AppendEntries(StoredEntries(reader, section, count.value_or(INT_MAX)));
}

bool THistoryComboBox::LoadFromFile() {
    if (m_saveFileName.isEmpty())
        return false;
    LoadFromFile(m_saveFileName);
    return true;
}

void THistoryComboBox::SaveToRegistry(const QString& key) {
    const QString section = RegistrySection(key, GetSectionString());
    if (section.isEmpty())
        return;
    const QString path = HistoryRegistryFileName();
    QDir().mkpath(QFileInfo(path).path());
    SaveEntries(path, section);
}

bool THistoryComboBox::SaveToRegistry() {
    if (m_saveKeyName.isEmpty())
        return false;
    SaveToRegistry(m_saveKeyName);
    return true;
}

void THistoryComboBox::LoadFromRegistry(const QString& key) {
    const QString section = RegistrySection(key, GetSectionString());
    if (section.isEmpty())
        return;
    // The count is a number value there: one that does not read as a number is 0.
    const ProfileReader reader(HistoryRegistryFileName());
    AppendEntries(StoredEntries(reader, section, reader.readInteger(section, CountKey, 0)));
}

bool THistoryComboBox::LoadFromRegistry() {
    if (m_saveKeyName.isEmpty())
        return false;
    LoadFromRegistry(m_saveKeyName);
    return true;
}

void THistoryComboBox::Loaded() {
    if (m_loadedCalled)
        return;
    m_loadedCalled = true;
    if (m_saveMode == THistoryMode::hsAuto || m_saveMode == THistoryMode::hsAutoLoad) {
        if (!m_saveKeyName.isEmpty())
            LoadFromRegistry();
        else if (!m_saveFileName.isEmpty())
            LoadFromFile();
    }
    m_loadDone = true;
}

void THistoryComboBox::AutoSave() {
    const bool saves = (m_saveMode == THistoryMode::hsAuto && m_loadDone) ||
                       m_saveMode == THistoryMode::hsAutoSave;
    if (!saves)
        return;
    if (!m_saveKeyName.isEmpty())
        SaveToRegistry();
    else if (!m_saveFileName.isEmpty())
        SaveToFile();
}

void THistoryComboBox::ClearItems() {
    const EditTextKeeper keeper(this);
    clear();
}

void THistoryComboBox::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!enter && event->text().size() != 1) {
        QComboBox::keyPressEvent(event);
        return;
    }
    const QChar typed = enter ? QChar(13) : event->text().front();
    QChar key = typed;
    if (OnKeyPress)
        OnKeyPress(key);
    if (key == typed && !enter) {
        QComboBox::keyPressEvent(event);
        return;
    }
    if (key != typed && !key.isNull() && key.isPrint())
        lineEdit()->insert(QString(key));
    event->accept();
}

QString ResolveHistoryFileName(const QString& name) {
    const qsizetype separator =
        std::max({name.lastIndexOf(u'\\'), name.lastIndexOf(u'/'), name.lastIndexOf(u':')});
    QString path = name;
    if (name.indexOf(u'.', separator + 1) < 0)
        path += QStringLiteral(".ini");
    return separator < 0 ? programFilePath(path) : path;
}

QString HistoryRegistryFileName() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation))
        .filePath(QStringLiteral("registry.ini"));
}
