#include "TestUtil.h"

#include "controls/HistoryComboBox.h"
#include "platform/AppDir.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

QStringList items(const QComboBox& box) {
    QStringList items;
    for (int i = 0; i < box.count(); ++i)
        items << box.itemText(i);
    return items;
}

class HistoryComboBoxTest : public ::testing::Test {
protected:
    QString path() const { return m_dir.filePath(QStringLiteral("log_search.ini")); }

    void put(const QByteArray& bytes) {
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }

    QByteArray get() const { return readFileBytes(path()); }

    // The box as the main window configures it, owned by a window like the main window's.
    HistoryComboBox* makeBox(HistoryComboBox::SaveMode mode = HistoryComboBox::SaveMode::Auto) {
        m_owner = std::make_unique<QWidget>();
        auto* box = new HistoryComboBox(m_owner.get());
        box->setObjectName(QStringLiteral("HistoryComboBox1"));
        box->setSaveFileName(path());
        box->setSaveMode(mode);
        box->setMaxLength(45);
        return box;
    }

    void destroyOwner() { m_owner.reset(); }

    QTemporaryDir m_dir;
    std::unique_ptr<QWidget> m_owner;
};

} // namespace

TEST_F(HistoryComboBoxTest, AddToHistoryRecordsNewestFirstAndKeepsTheStoredCase) {
    HistoryComboBox* box = makeBox(HistoryComboBox::SaveMode::Manual);
    box->setEditText(QStringLiteral("typed"));

    EXPECT_FALSE(box->addToHistory(QString()));
    EXPECT_EQ(box->count(), 0);
    EXPECT_TRUE(box->addToHistory(QStringLiteral("dog")));
    EXPECT_TRUE(box->addToHistory(QStringLiteral("  ")));
    EXPECT_TRUE(box->addToHistory(QStringLiteral("cat")));
    EXPECT_EQ(items(*box), (QStringList{"cat", "  ", "dog"}));

    EXPECT_FALSE(box->addToHistory(QStringLiteral("DOG")));
    EXPECT_EQ(items(*box), (QStringList{"dog", "cat", "  "}));
    EXPECT_FALSE(box->addToHistory(QStringLiteral("dog")));
    EXPECT_EQ(items(*box), (QStringList{"dog", "cat", "  "}));
    // The whole text must match.
    EXPECT_TRUE(box->addToHistory(QStringLiteral("Do")));
    // Letter case is ignored for full-width letters as well.
    EXPECT_TRUE(box->addToHistory(QStringLiteral(u"ＡＢＣ")));
    EXPECT_FALSE(box->addToHistory(QStringLiteral(u"ａｂｃ")));
    EXPECT_EQ(items(*box), (QStringList{QStringLiteral(u"ＡＢＣ"), "Do", "dog", "cat", "  "}));

    EXPECT_EQ(box->currentText(), QStringLiteral("typed"));
}

TEST_F(HistoryComboBoxTest, AddingTheTextFieldKeepsTheTextField) {
    HistoryComboBox* box = makeBox(HistoryComboBox::SaveMode::Manual);
    for (const char* keyword : {"one", "two", "three"})
        box->addToHistory(QString::fromLatin1(keyword));
    // The user picks an entry further down, then searches it in other letters.
    box->setCurrentIndex(2);
    ASSERT_EQ(box->currentText(), QStringLiteral("one"));
    box->setEditText(QStringLiteral("ONE"));
    box->lineEdit()->setCursorPosition(1);

    EXPECT_FALSE(box->addToHistory());
    EXPECT_EQ(items(*box), (QStringList{"one", "three", "two"}));
    EXPECT_EQ(box->currentText(), QStringLiteral("ONE"));
    EXPECT_EQ(box->lineEdit()->cursorPosition(), 1);

    box->setEditText(QStringLiteral("four"));
    EXPECT_TRUE(box->addToHistory());
    EXPECT_EQ(box->itemText(0), QStringLiteral("four"));
    EXPECT_EQ(box->currentText(), QStringLiteral("four"));
}

TEST_F(HistoryComboBoxTest, SavesTopEntryFirstAndReloadsInOrder) {
    put("; kept\r\n[SET]\r\nID=0001-0002-0003-0004\r\n");
    HistoryComboBox* box = makeBox();
    box->restoreHistory();
    box->addToHistory(QStringLiteral("dog"));
    box->addToHistory(QStringLiteral(u"猫の動画"));
    EXPECT_TRUE(box->saveToFile());
    EXPECT_EQ(get(), QByteArray("; kept\r\n[SET]\r\nID=0001-0002-0003-0004\r\n"
                                "[HistoryComboBox1]\r\nHistoryCount=2\r\n"
                                "History0=\x94\x4C\x82\xCC\x93\xAE\x89\xE6\r\nHistory1=dog\r\n"));

    HistoryComboBox* again = makeBox();
    again->restoreHistory();
    EXPECT_EQ(items(*again), (QStringList{QStringLiteral(u"猫の動画"), "dog"}));
    EXPECT_TRUE(again->currentText().isEmpty());
}

TEST_F(HistoryComboBoxTest, AShorterListLeavesNoStaleKeys) {
    put("[historycombobox1]\r\nHistoryCount=3\r\nHistory0=a\r\nHistory1=b\r\nHistory2=c\r\n"
        "[SET]\r\nM_LEFT=10\r\n");
    HistoryComboBox* box = makeBox();
    box->restoreHistory();
    ASSERT_EQ(items(*box), (QStringList{"a", "b", "c"}));
    box->setEditText(QStringLiteral("kept"));
    box->clearHistory();
    EXPECT_EQ(box->count(), 0);
    EXPECT_EQ(box->currentText(), QStringLiteral("kept"));
    box->addToHistory(QStringLiteral("d"));
    destroyOwner();
    EXPECT_EQ(get(), QByteArray("[SET]\r\nM_LEFT=10\r\n"
                                "[HistoryComboBox1]\r\nHistoryCount=1\r\nHistory0=d\r\n"));
}

TEST_F(HistoryComboBoxTest, ClearedHistoryIsSavedAsACountOfZero) {
    put("[HistoryComboBox1]\r\nHistoryCount=1\r\nHistory0=a\r\n");
    HistoryComboBox* box = makeBox();
    box->restoreHistory();
    box->clearHistory();
    destroyOwner();
    EXPECT_EQ(get(), QByteArray("[HistoryComboBox1]\r\nHistoryCount=0\r\n"));
    HistoryComboBox* again = makeBox();
    again->restoreHistory();
    EXPECT_EQ(again->count(), 0);
}

TEST_F(HistoryComboBoxTest, LoadsWhatTheCountSays) {
    const struct {
        const char* name;
        QByteArray file;
        QStringList expected;
    } cases[] = {
        {"no file", "<missing>", {}},
        {"no section", "[SET]\r\nID=1\r\n", {}},
        {"negative count", "[HistoryComboBox1]\r\nHistoryCount=-3\r\nHistory0=a\r\n", {}},
        {"count larger than the entries",
         "[HistoryComboBox1]\r\nHistoryCount=2\r\nHistory0=a\r\n",
         {"a"}},
        {"entries beyond the count",
         "[HistoryComboBox1]\r\nHistoryCount=1\r\nHistory0=a\r\nHistory1=b\r\n",
         {"a"}},
        {"duplicates and blanks kept as stored",
         "[HistoryComboBox1]\r\nHistoryCount= 3 \r\nHistory0=a\r\nHISTORY1=A\r\nHistory2=\" b "
         "\"\r\n",
         {"a", "A", " b "}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(path());
        if (c.file != "<missing>")
            put(c.file);
        HistoryComboBox* box = makeBox(HistoryComboBox::SaveMode::Manual);
        box->addToHistory(QStringLiteral("before"));
        box->loadFromFile(path());
        EXPECT_EQ(items(*box), QStringList{QStringLiteral("before")} + c.expected);
    }
}

// A damaged count neither stops the load nor makes rows of its own: the entries that are stored
// load in the order of their index, and the list written back holds exactly those.
TEST_F(HistoryComboBoxTest, ADamagedCountLoadsTheStoredEntriesAndSavesOnlyThose) {
    const struct {
        const char* name;
        QByteArray section;
        QStringList loaded;
    } cases[] = {
        {"no integer", "HistoryCount=abc\r\nHistory1=b\r\nHistory0=a\r\n", {"a", "b"}},
        {"far beyond the entries",
         "HistoryCount=999999999\r\nHistory0=a\r\nHistory1=b\r\n",
         {"a", "b"}},
        {"a gap below the count", "HistoryCount=3\r\nHistory0=a\r\nHistory2=c\r\n", {"a", "c"}},
        {"names that are no entry keys",
         "HistoryCount=12a\r\nHistory01=x\r\nHistory+2=y\r\nHistoryX=z\r\nhistory3=d\r\n",
         {"d"}},
        {"no entries", "HistoryCount=abc\r\n", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        put("[HistoryComboBox1]\r\n" + c.section);
        HistoryComboBox* box = makeBox();
        box->restoreHistory();
        EXPECT_EQ(items(*box), c.loaded);
        destroyOwner();
        QByteArray expected =
            "[HistoryComboBox1]\r\nHistoryCount=" + QByteArray::number(c.loaded.size()) + "\r\n";
        for (int i = 0; i < c.loaded.size(); ++i)
            expected += "History" + QByteArray::number(i) + "=" + c.loaded[i].toLatin1() + "\r\n";
        EXPECT_EQ(get(), expected);
    }
}

TEST_F(HistoryComboBoxTest, SaveModesDecideLoadingAndSaving) {
    const QByteArray stored = "[HistoryComboBox1]\r\nHistoryCount=1\r\nHistory0=old\r\n";
    const struct {
        HistoryComboBox::SaveMode mode;
        QStringList loaded;
        QByteArray saved;
    } cases[] = {
        {HistoryComboBox::SaveMode::Auto,
         {"old"},
         "[HistoryComboBox1]\r\nHistoryCount=2\r\nHistory0=new\r\nHistory1=old\r\n"},
        {HistoryComboBox::SaveMode::Manual, {}, stored},
        {HistoryComboBox::SaveMode::SaveOnly,
         {},
         "[HistoryComboBox1]\r\nHistoryCount=1\r\nHistory0=new\r\n"},
        {HistoryComboBox::SaveMode::LoadOnly, {"old"}, stored},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.mode));
        put(stored);
        HistoryComboBox* box = makeBox(c.mode);
        box->restoreHistory();
        EXPECT_EQ(items(*box), c.loaded);
        box->addToHistory(QStringLiteral("new"));
        destroyOwner();
        EXPECT_EQ(get(), c.saved);
    }
}

TEST_F(HistoryComboBoxTest, WithoutNamesNothingIsLoadedOrSaved) {
    HistoryComboBox* box = makeBox();
    box->setSaveFileName(QString());
    box->restoreHistory();
    EXPECT_FALSE(box->saveToFile());
    EXPECT_FALSE(box->loadFromFile());
    EXPECT_FALSE(box->saveToRegistry());
    EXPECT_FALSE(box->loadFromRegistry());
    box->addToHistory(QStringLiteral("x"));
    destroyOwner();
    EXPECT_TRUE(QDir(m_dir.path()).isEmpty());
}

TEST_F(HistoryComboBoxTest, TheSectionIsNamedAfterTheBoxUnlessGiven) {
    HistoryComboBox* box = makeBox(HistoryComboBox::SaveMode::Manual);
    EXPECT_EQ(box->sectionName(), QStringLiteral("HistoryComboBox1"));
    box->setSaveSectionName(QStringLiteral("Keywords"));
    EXPECT_EQ(box->sectionName(), QStringLiteral("Keywords"));
    box->addToHistory(QStringLiteral("a"));
    box->saveToFile(path());
    EXPECT_EQ(get(), QByteArray("[Keywords]\r\nHistoryCount=1\r\nHistory0=a\r\n"));
}

TEST(ResolveHistoryFileNameTest, AppendsIniAndPlacesBareNamesBesideTheProgram) {
    const QString program = programDir();
    const struct {
        const char* name;
        QString expected;
    } cases[] = {
        {"log_search", QDir(program).filePath(QStringLiteral("log_search.ini"))},
        {"log_search.ini", QDir(program).filePath(QStringLiteral("log_search.ini"))},
        {"history.dat", QDir(program).filePath(QStringLiteral("history.dat"))},
        {"/var/tmp/h.dat", "/var/tmp/h.dat"},
        {"/var/tmp.d/h", "/var/tmp.d/h.ini"},
        {"sub/h", "sub/h.ini"},
        {"C:\\dir.x\\h", "C:\\dir.x\\h.ini"},
        {"C:h.ini", "C:h.ini"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(resolveHistoryFileName(QString::fromLatin1(c.name)), c.expected);
    }
}

TEST_F(HistoryComboBoxTest, NamesWithoutExtensionGetIni) {
    HistoryComboBox* box = makeBox(HistoryComboBox::SaveMode::Manual);
    box->addToHistory(QStringLiteral("a"));
    box->saveToFile(m_dir.filePath(QStringLiteral("log_search")));
    EXPECT_EQ(get(), QByteArray("[HistoryComboBox1]\r\nHistoryCount=1\r\nHistory0=a\r\n"));
}

TEST_F(HistoryComboBoxTest, AFailedSaveAtDestructionIsShownAndKeepsTheFile) {
    const QByteArray stored = "[HistoryComboBox1]\r\nHistoryCount=1\r\nHistory0=old\r\n";
    put(stored);
    ASSERT_TRUE(QFile::setPermissions(path(), QFileDevice::ReadOwner));
    RecordedMessages messages;
    HistoryComboBox* box = makeBox();
    box->restoreHistory();
    box->addToHistory(QStringLiteral("new"));
    destroyOwner();
    EXPECT_EQ(messages.errors, QStringList{path() + QStringLiteral(" に書き込めません.")});
    EXPECT_EQ(get(), stored);
}

TEST_F(HistoryComboBoxTest, RegistryVariantKeepsOneSectionPerKeyPath) {
    QStandardPaths::setTestModeEnabled(true);
    const QString registry = historyRegistryFileName();
    QFile::remove(registry);

    HistoryComboBox* box = makeBox();
    box->setSaveRegistryKey(QStringLiteral("Software\\Sorvel\\"));
    box->restoreHistory();
    box->addToHistory(QStringLiteral("dog"));
    box->addToHistory(QStringLiteral("cat"));
    destroyOwner();
    // The file name is ignored while a key is set.
    EXPECT_FALSE(QFile::exists(path()));
    EXPECT_EQ(readFileBytes(registry),
              QByteArray("[Software\\Sorvel\\HistoryComboBox1]\r\nHistoryCount=2\r\n"
                         "History0=cat\r\nHistory1=dog\r\n"));

    HistoryComboBox* again = makeBox(HistoryComboBox::SaveMode::Manual);
    again->loadFromRegistry(QStringLiteral("\\software\\sorvel"));
    EXPECT_EQ(items(*again), (QStringList{"cat", "dog"}));
    again->loadFromRegistry(QStringLiteral("Software\\Other"));
    again->saveToRegistry(QStringLiteral("\\\\"));
    EXPECT_EQ(again->count(), 2);
    QFile::remove(registry);
    QStandardPaths::setTestModeEnabled(false);
}

TEST_F(HistoryComboBoxTest, KeyTypedReceiverSeesKeysAndEnterAndCanConsumeThem) {
    HistoryComboBox* box = makeBox(HistoryComboBox::SaveMode::Manual);
    m_owner->show();
    box->setFocus();
    box->addToHistory(QStringLiteral("Dog"));
    box->setEditText(QString());
    QString seen;
    const QMetaObject::Connection receiver =
        QObject::connect(box, &HistoryComboBox::keyTyped, [&](QChar& key) {
            seen += key;
            if (key == u'x')
                key = QChar(0);
            else if (key == u'q')
                key = u'Q';
        });
    QTest::keyClicks(box, QStringLiteral("dxoqg"));
    EXPECT_EQ(box->currentText(), QStringLiteral("doQg"));
    QTest::keyClick(box, Qt::Key_Return);
    QTest::keyClick(box, Qt::Key_Enter);
    EXPECT_EQ(seen, QStringLiteral("dxoqg\r\r"));
    // Enter neither inserts the text nor selects a matching entry.
    box->addToHistory(QStringLiteral("Cat"));
    box->setCurrentIndex(0);
    box->setEditText(QStringLiteral("dog"));
    QTest::keyClick(box, Qt::Key_Return);
    QObject::disconnect(receiver);
    QTest::keyClick(box, Qt::Key_Return);
    box->setEditText(QStringLiteral("new"));
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(items(*box), (QStringList{"Cat", "Dog"}));
    EXPECT_EQ(box->currentText(), QStringLiteral("new"));
    box->setEditText(QStringLiteral("dog"));
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(box->currentText(), QStringLiteral("dog"));
}

TEST_F(HistoryComboBoxTest, TheTextFieldTakesAtMostMaxLengthCharacters) {
    HistoryComboBox* box = makeBox(HistoryComboBox::SaveMode::Manual);
    m_owner->show();
    box->setFocus();
    QTest::keyClicks(box, QString(50, u'a'));
    EXPECT_EQ(box->currentText().size(), 45);
    box->setMaxLength(0);
    QTest::keyClicks(box, QString(10, u'b'));
    EXPECT_EQ(box->currentText().size(), 55);
}
