#pragma once

#include <QComboBox>
#include <QString>
#include <QStringList>

#include <functional>

// When the list is loaded and saved by itself: loaded by Loaded(), saved by the destructor.
enum class THistoryMode : quint8 {
    hsAuto,     // loads and saves
    hsManual,   // neither
    hsAutoSave, // saves only
    hsAutoLoad, // loads only
};

// The keyword box: an editable combo box whose item list is a search history, newest first,
// kept from run to run in a section of a profile file (SaveFileName) or, when SaveKeyName is set,
// in the per-user stand-in for the registry. Its owner calls Loaded() once the box is configured
// and calls AddText() for each keyword searched; the box saves its list when it is destroyed.
class THistoryComboBox final : public QComboBox {
    Q_OBJECT
public:
    explicit THistoryComboBox(QWidget* parent = nullptr);
    ~THistoryComboBox() override;
    Q_DISABLE_COPY_MOVE(THistoryComboBox)

    THistoryMode SaveMode() const { return m_saveMode; }
    void SetSaveMode(THistoryMode mode);
    const QString& SaveKeyName() const { return m_saveKeyName; }
    void SetSaveKeyName(const QString& keyName);
    const QString& SaveFileName() const { return m_saveFileName; }
    void SetSaveFileName(const QString& fileName);
    const QString& SaveSectionName() const { return m_saveSectionName; }
    void SetSaveSectionName(const QString& sectionName);

    // The most characters the text field takes; 0 for no limit.
    int MaxLength() const { return m_maxLength; }
    void SetMaxLength(int length);

    // SaveSectionName, or the box's objectName when that is empty.
    QString GetSectionString() const;

    // Puts the text at the top of the list: true when it was new. An entry that matches it
    // without regard to letter case moves to the top as stored (false); an empty text is not
    // recorded (false). The text field keeps its text.
    bool AddText(const QString& text);
    bool AddText();

    // Rewrites the section GetSectionString() of the file: "HistoryCount" and "History0"...,
    // top entry first. The name is resolved by ResolveHistoryFileName. Raises
    // ProfileWriteError; a failed save leaves the file as it was.
    void SaveToFile(const QString& name);
    // False when SaveFileName is empty; otherwise saves to it.
    bool SaveToFile();
    // Appends the entries stored in the file to the list, "History0" first, as many as
    // "HistoryCount" says. A missing file, section or count, or a count below 1, loads nothing.
    // A damaged count never fails and never makes blank rows: one that is no integer loads every
    // stored entry, and entries missing below the count are left out.
    void LoadFromFile(const QString& name);
    bool LoadFromFile();

    // The same under a key path of the registry stand-in (HistoryRegistryFileName()). Leading
    // and trailing "\" of the key are ignored; an empty key does nothing.
    void SaveToRegistry(const QString& key);
    bool SaveToRegistry();
    void LoadFromRegistry(const QString& key);
    bool LoadFromRegistry();

    // Called once by the owner after it has configured the box: the automatic load of hsAuto
    // and hsAutoLoad, from SaveKeyName when set, otherwise from SaveFileName when set.
    void Loaded();

    // Empties the list and keeps the text field's text (QComboBox::clear() would empty both).
    void ClearItems();

    // Called for every character key typed into the text field, Enter as QChar(13), before the
    // box handles it. Setting the key to QChar(0) consumes it; setting another printable
    // character types that one instead. Enter never adds or selects an entry.
    std::function<void(QChar& key)> OnKeyPress;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QStringList Entries() const;
    void AppendEntries(const QStringList& entries);
    void SaveEntries(const QString& path, const QString& section) const;
    void AutoSave();

    THistoryMode m_saveMode = THistoryMode::hsAuto;
    QString m_saveKeyName;
    QString m_saveFileName;
    QString m_saveSectionName;
    int m_maxLength = 0;
    bool m_loadedCalled = false;
    // Whether the list holds what the automatic load was to read. Until then (Loaded() not yet
    // called, or left by an exception) the automatic save of hsAuto would overwrite the stored
    // history with a list that never held it, so it is skipped.
    bool m_loadDone = false;
};

// The file a history name stands for: ".ini" appended when the name has no extension (no "."
// after its last "\", "/" or ":"), and a name without a directory part taken from the program's
// directory. A name with a directory part is used as it is.
QString ResolveHistoryFileName(const QString& name);

// The profile file that stands in for the current user's registry: one section per key path and
// section ("Software\Maker\HistoryComboBox1"), in the user's configuration directory.
QString HistoryRegistryFileName();
