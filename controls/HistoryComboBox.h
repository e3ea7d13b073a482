#pragma once

#include <QComboBox>
#include <QString>
#include <QStringList>

// The keyword box: an editable combo box whose item list is a search history, newest first,
// kept from run to run in a section of a profile file (saveFileName) or, when saveRegistryKey is
// set, in the per-user stand-in for the registry. Its owner calls restoreHistory() once the box is
// configured and calls addToHistory() for each keyword searched; the box saves its list when it is
// destroyed.
class HistoryComboBox final : public QComboBox {
    Q_OBJECT
public:
    // When the list is loaded and saved by itself: loaded by restoreHistory(), saved by the
    // destructor.
    enum class SaveMode : quint8 {
        Auto,     // loads and saves
        Manual,   // neither
        SaveOnly, // saves only
        LoadOnly, // loads only
    };

    explicit HistoryComboBox(QWidget* parent = nullptr);
    ~HistoryComboBox() override;
    Q_DISABLE_COPY_MOVE(HistoryComboBox)

    SaveMode saveMode() const { return m_saveMode; }
    void setSaveMode(SaveMode mode);
    const QString& saveRegistryKey() const { return m_saveRegistryKey; }
    void setSaveRegistryKey(const QString& keyName);
    const QString& saveFileName() const { return m_saveFileName; }
    void setSaveFileName(const QString& fileName);
    const QString& saveSectionName() const { return m_saveSectionName; }
    void setSaveSectionName(const QString& sectionName);

    // The most characters the text field takes; 0 for no limit.
    int maxLength() const { return m_maxLength; }
    void setMaxLength(int length);

    // saveSectionName, or the box's objectName when that is empty.
    QString sectionName() const;

    // Puts the text at the top of the list: true when it was new. An entry that matches it
    // without regard to letter case moves to the top as stored (false); an empty text is not
    // recorded (false). The text field keeps its text.
    bool addToHistory(const QString& text);
    bool addToHistory();

    // Rewrites the section sectionName() of the file: "HistoryCount" and "History0"...,
    // top entry first. The name is resolved by resolveHistoryFileName. Raises
    // ProfileWriteError; a failed save leaves the file as it was.
    void saveToFile(const QString& name);
    // False when saveFileName is empty; otherwise saves to it.
    bool saveToFile();
    // Appends the entries stored in the file to the list, "History0" first, as many as
    // "HistoryCount" says. A missing file, section or count, or a count below 1, loads nothing.
    // A damaged count never fails and never makes blank rows: one that is no integer loads every
    // stored entry, and entries missing below the count are left out.
    void loadFromFile(const QString& name);
    bool loadFromFile();

    // The same under a key path of the registry stand-in (historyRegistryFileName()). Leading
    // and trailing "\" of the key are ignored; an empty key does nothing.
    void saveToRegistry(const QString& key);
    bool saveToRegistry();
    void loadFromRegistry(const QString& key);
    bool loadFromRegistry();

    // Called once by the owner after it has configured the box: the automatic load of Auto
    // and LoadOnly, from saveRegistryKey when set, otherwise from saveFileName when set.
    void restoreHistory();

    // Empties the list and keeps the text field's text (QComboBox::clear() would empty both).
    void clearHistory();

signals:
    // Emitted for every character key typed into the text field, Enter as QChar(13), before the
    // box handles it. A receiver (connected directly) that sets the key to QChar(0) consumes it;
    // one that sets another printable character types that one instead. Enter never adds or
    // selects an entry.
    void keyTyped(QChar& key);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QStringList historyEntries() const;
    void appendEntries(const QStringList& entries);
    void saveEntries(const QString& path, const QString& section) const;
    void saveAutomatically();

    SaveMode m_saveMode = SaveMode::Auto;
    QString m_saveRegistryKey;
    QString m_saveFileName;
    QString m_saveSectionName;
    int m_maxLength = 0;
    bool m_restoreCalled = false;
    // Whether the list holds what the automatic load was to read. Until then (restoreHistory() not
    // yet called, or left by an exception) the automatic save of Auto would overwrite the stored
    // history with a list that never held it, so it is skipped.
    bool m_loadDone = false;
};

// The file a history name stands for: ".ini" appended when the name has no extension (no "."
// after its last "\", "/" or ":"), and a name without a directory part taken from the program's
// directory. A name with a directory part is used as it is.
QString resolveHistoryFileName(const QString& name);

// The profile file that stands in for the current user's registry: one section per key path and
// section ("Software\Maker\HistoryComboBox1"), in the user's configuration directory.
QString historyRegistryFileName();
