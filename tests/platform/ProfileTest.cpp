#include "platform/Profile.h"
#include "platform/Exception.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace {

class ProfileTest : public ::testing::Test {
protected:
    QString path(const QString& name = QStringLiteral("test.ini")) const {
        return m_dir.filePath(name);
    }

    void put(const QByteArray& bytes, const QString& path) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    static QByteArray get(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    static void makeReadOnly(const QString& path) {
        ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup |
                                                    QFileDevice::ReadOther));
    }

    // The message of the write error raised by the call, or "" when none was raised.
    template <typename F> static QString writeErrorOf(F call) {
        try {
            call();
        } catch (const ProfileWriteError& e) {
            return e.message();
        }
        return {};
    }

    QTemporaryDir m_dir;
};

struct ReadCase {
    const char* name;
    QByteArray file;
    const char* section;
    const char* key;
    QString expected;
};

const ReadCase ReadCases[] = {
    {"case-insensitive names", "[SET]\r\nM_Left=12\r\n", "set", "m_LEFT", "12"},
    {"blanks around names and value", "  [ SET ]  \r\n \t M_LEFT \t= \t 12 \t\r\n", "SET", "M_LEFT",
     "12"},
    {"double quotes", "[S]\r\nK=\"  two words  \"\r\n", "S", "K", "  two words  "},
    {"single quotes", "[S]\r\nK= 'x' \r\n", "S", "K", "x"},
    {"one pair only", "[S]\r\nK=\"\"x\"\"\r\n", "S", "K", "\"x\""},
    {"unmatched quotes stay", "[S]\r\nK=\"x'\r\n", "S", "K", "\"x'"},
    {"a lone quote stays", "[S]\r\nK=\"\r\n", "S", "K", "\""},
    {"empty value", "[S]\r\nK=\r\n", "S", "K", ""},
    {"equals sign in the value", "[S]\r\nK=a=b\r\n", "S", "K", "a=b"},
    {"duplicate keys: the first wins", "[S]\r\nK=first\r\nk=second\r\n", "S", "K", "first"},
    {"duplicate sections: the first is read", "[S]\r\nA=1\r\n[s]\r\nA=2\r\nB=3\r\n", "S", "A", "1"},
    {"duplicate sections: the second is not", "[S]\r\nA=1\r\n[s]\r\nA=2\r\nB=3\r\n", "S", "B",
     "<default>"},
    {"a line without '=' is no key", "[S]\r\nK\r\nK=5\r\n", "S", "K", "5"},
    {"a line without '=' alone", "[S]\r\nK\r\n", "S", "K", "<default>"},
    {"comment line", "[S]\r\n;K=commented\r\n", "S", ";K", "<default>"},
    {"keys before the first section", "K=top\r\n[S]\r\nX=1\r\n", "S", "K", "<default>"},
    {"missing section", "[S]\r\nK=v\r\n", "T", "K", "<default>"},
    {"missing key", "[S]\r\nK=v\r\n", "S", "L", "<default>"},
    {"key of the next section", "[S]\r\nK=v\r\n[T]\r\nL=w\r\n", "S", "L", "<default>"},
    {"LF line ends", "[A]\nX=1\n[S]\nK=v\n", "S", "K", "v"},
    {"no line end at the end", "[S]\r\nK=v", "S", "K", "v"},
    {"Shift-JIS with '\\', '[' and ']' as second bytes",
     "[\x97\x9A\x97\xF0]\r\n\x83\x5C\x81\x5B=\x83\x5C\x81\x5B\x95\x5C\x81\x60\r\n",
     "\xE5\xB1\xA5\xE6\xAD\xB4", "\xE3\x82\xBD\xE3\x83\xBC", QStringLiteral(u"ソー表～")},
    {"UTF-8 with a byte order mark", "\xEF\xBB\xBF[S]\r\nK=\xE7\x8C\xAB\r\n", "S", "K",
     QStringLiteral(u"猫")},
};

} // namespace

TEST_F(ProfileTest, ReadsAsTheWindowsProfileFunctionsDo) {
    for (const ReadCase& c : ReadCases) {
        SCOPED_TRACE(c.name);
        put(c.file, path());
        EXPECT_EQ(readProfileString(path(), QString::fromUtf8(c.section), QString::fromUtf8(c.key),
                                    QStringLiteral("<default>")),
                  c.expected);
        ProfileReader reader(path());
        EXPECT_EQ(reader.readString(QString::fromUtf8(c.section), QString::fromUtf8(c.key),
                                    QStringLiteral("<default>")),
                  c.expected);
    }
}

TEST_F(ProfileTest, MissingOrUnreadableFileReadsAsTheDefault) {
    EXPECT_EQ(readProfileString(path(QStringLiteral("none.ini")), QStringLiteral("S"),
                                QStringLiteral("K"), QStringLiteral("d")),
              QStringLiteral("d"));
    EXPECT_EQ(readProfileString(m_dir.path(), QStringLiteral("S"), QStringLiteral("K"),
                                QStringLiteral("d")),
              QStringLiteral("d"));
    EXPECT_EQ(readProfileInteger(path(QStringLiteral("none.ini")), QStringLiteral("S"),
                                 QStringLiteral("K"), -4),
              -4);
}

TEST(ProfileIntegerTest, DecimalOrHexadecimalElseTheDefault) {
    const struct {
        const char* text;
        int expected;
    } cases[] = {
        {"42", 42},
        {"-5", -5},
        {"+5", 5},
        {"0", 0},
        {"0x1F", 31},
        {"0X1f", 31},
        {"0x0", 0},
        {"0x7FFFFFFF", 2147483647},
        {"0xFFFFFFFF", -1},
        {"0x", 7},
        {"0x100000000", 7},
        {"0xG1", 7},
        {"12abc", 7},
        {"abc", 7},
        {"", 7},
        {"2147483648", 7},
        {"-2147483648", -2147483647 - 1},
        {"1 2", 7},
        {"-0x10", 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(profileTextToInt(QString::fromLatin1(c.text), 7), c.expected);
    }
}

TEST_F(ProfileTest, ReadsIntegersThroughTheStringRules) {
    put("[SET]\r\nM_TOP= 0x10 \r\nM_LEFT=\"-3\"\r\nBAD=ten\r\n", path());
    EXPECT_EQ(readProfileInteger(path(), QStringLiteral("set"), QStringLiteral("m_top"), 0), 16);
    EXPECT_EQ(readProfileInteger(path(), QStringLiteral("SET"), QStringLiteral("M_LEFT"), 0), -3);
    EXPECT_EQ(readProfileInteger(path(), QStringLiteral("SET"), QStringLiteral("BAD"), 9), 9);
    EXPECT_EQ(readProfileInteger(path(), QStringLiteral("SET"), QStringLiteral("NONE"), 9), 9);
}

namespace {

struct WriteCase {
    const char* name;
    QByteArray before; // "<missing>": no file
    const char* section;
    const char* key;
    QString value;
    QByteArray after;
};

const WriteCase WriteCases[] = {
    {"creates the file", "<missing>", "S", "K", "v", "[S]\r\nK=v\r\n"},
    {"replaces in place, keeping every other byte",
     "; top comment\r\n[Other]\r\nA = 1 \r\n\r\n[S]\r\nK=old\r\n; note\r\nL=2\r\n\r\n[Last]\nZ=9\n",
     "s", "k", "new",
     "; top comment\r\n[Other]\r\nA = 1 \r\n\r\n[S]\r\nK=new\r\n; "
     "note\r\nL=2\r\n\r\n[Last]\nZ=9\n"},
    {"keeps what stands before '='", "[S]\r\n  K  =  \"old\"  \r\n", "S", "K", "new",
     "[S]\r\n  K  =new\r\n"},
    {"adds a key after the section's last line", "[S]\r\nA=1\r\n; c\r\n\r\n[T]\r\nB=2\r\n", "S",
     "C", "3", "[S]\r\nA=1\r\n; c\r\nC=3\r\n\r\n[T]\r\nB=2\r\n"},
    {"adds a key to an empty last section", "[T]\r\nB=2\r\n[S]", "S", "C", "3",
     "[T]\r\nB=2\r\n[S]\r\nC=3\r\n"},
    {"appends a section after an unended line", "[T]\r\nB=2", "S", "K", "v",
     "[T]\r\nB=2\r\n[S]\r\nK=v\r\n"},
    {"writes to the first of two sections", "[S]\r\nA=1\r\n[S]\r\nB=2\r\n", "S", "B", "3",
     "[S]\r\nA=1\r\nB=3\r\n[S]\r\nB=2\r\n"},
    {"a line without '=' stays", "[S]\r\nK\r\n", "S", "K", "v", "[S]\r\nK\r\nK=v\r\n"},
    {"Shift-JIS, unconvertible as '?'", "", "S", "K", QStringLiteral(u"ソー表〜\U0001F600"),
     "[S]\r\nK=\x83\x5C\x81\x5B\x95\x5C\x81\x60?\r\n"},
    {"line breaks become blanks", "", "S", "K", "a\r\nb\nc", "[S]\r\nK=a  b c\r\n"},
    {"UTF-8 file stays UTF-8", "\xEF\xBB\xBF[S]\r\nK=x\r\n", "S", "K", QStringLiteral(u"猫"),
     "\xEF\xBB\xBF[S]\r\nK=\xE7\x8C\xAB\r\n"},
};

} // namespace

TEST_F(ProfileTest, WritesAsTheWindowsProfileFunctionsDo) {
    for (const WriteCase& c : WriteCases) {
        SCOPED_TRACE(c.name);
        QFile::remove(path());
        if (c.before != "<missing>")
            put(c.before, path());
        writeProfileString(path(), QString::fromUtf8(c.section), QString::fromUtf8(c.key), c.value);
        EXPECT_EQ(get(path()), c.after);
    }
}

TEST_F(ProfileTest, WrittenValuesReadBack) {
    writeProfileString(path(), QStringLiteral("SET"), QStringLiteral("ID"),
                       QStringLiteral("0001-0002-0003-0004"));
    writeProfileString(path(), QStringLiteral("SET"), QStringLiteral("S1_C4"),
                       QStringLiteral(u"動画ｻｲﾄ"));
    writeProfileString(path(), QStringLiteral("set"), QStringLiteral("id"), QStringLiteral("x"));
    EXPECT_EQ(get(path()), QByteArray("[SET]\r\nID=x\r\nS1_C4=\x93\xAE\x89\xE6\xBB\xB2\xC4\r\n"));
    EXPECT_EQ(readProfileString(path(), QStringLiteral("SET"), QStringLiteral("S1_C4"), {}),
              QStringLiteral(u"動画ｻｲﾄ"));
}

TEST_F(ProfileTest, EraseRemovesEverySectionOfTheNameAndNothingElse) {
    put("; head\r\n[A]\r\nX=1\r\n[S]\r\nK=1\r\n; c\r\n\r\n[B]\r\nY=2\r\n[s]\r\nL=1\r\n", path());
    eraseProfileSection(path(), QStringLiteral("S"));
    EXPECT_EQ(get(path()), QByteArray("; head\r\n[A]\r\nX=1\r\n[B]\r\nY=2\r\n"));

    eraseProfileSection(path(QStringLiteral("none.ini")), QStringLiteral("S"));
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("none.ini"))));
}

TEST_F(ProfileTest, EraseOfTheOnlySectionKeepsTheByteOrderMark) {
    put("\xEF\xBB\xBF[S]\r\nK=1\r\n", path());
    eraseProfileSection(path(), QStringLiteral("S"));
    writeProfileString(path(), QStringLiteral("T"), QStringLiteral("K"), QStringLiteral(u"猫"));
    EXPECT_EQ(get(path()), QByteArray("\xEF\xBB\xBF[T]\r\nK=\xE7\x8C\xAB\r\n"));
    EXPECT_EQ(readProfileString(path(), QStringLiteral("T"), QStringLiteral("K"), {}),
              QStringLiteral(u"猫"));
}

TEST_F(ProfileTest, ReplaceSectionGivesTheBytesOfEraseAndSingleWrites) {
    const QList<QPair<QString, QString>> entries = {
        {QStringLiteral("HistoryCount"), QStringLiteral("3")},
        {QStringLiteral("History0"), QStringLiteral(u"猫")},
        {QStringLiteral("History1"), QStringLiteral("dog")},
        {QStringLiteral("history0"), QStringLiteral("cat")},
        {QStringLiteral("History2"), QString()},
    };
    const QByteArray starts[] = {
        "<missing>",
        "",
        "[HistoryComboBox1]\r\nHistoryCount=5\r\nHistory4=old\r\n[SET]\r\nID=1\r\n",
        "[SET]\r\nID=1",
        "[h]\r\nA=1\r\n[SET]\r\nID=1\r\n[H]\r\nB=2\r\n",
    };
    for (const QByteArray& start : starts) {
        SCOPED_TRACE(start.toStdString());
        const QString one = path(QStringLiteral("one.ini"));
        const QString each = path(QStringLiteral("each.ini"));
        QFile::remove(one);
        QFile::remove(each);
        if (start != "<missing>") {
            put(start, one);
            put(start, each);
        }
        const QString section =
            start.contains("[h]") ? QStringLiteral("H") : QStringLiteral("HistoryComboBox1");
        replaceProfileSection(one, section, entries);
        eraseProfileSection(each, section);
        for (const auto& [key, value] : entries)
            writeProfileString(each, section, key, value);
        EXPECT_EQ(get(one), get(each));
        EXPECT_FALSE(get(one).contains("old"));
    }
}

TEST_F(ProfileTest, FailedWritesNameTheFullPathAndLeaveTheFileAsItWas) {
    const QByteArray before = "[S]\r\nK=1\r\n";
    put(before, path(QStringLiteral("ro.ini")));
    makeReadOnly(path(QStringLiteral("ro.ini")));

    // A relative name is reported with the full path.
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(m_dir.path()));
    const QString expected = QFileInfo(path(QStringLiteral("ro.ini"))).absoluteFilePath() +
                             QStringLiteral(" に書き込めません");
    EXPECT_EQ(writeErrorOf([] {
                  writeProfileString(QStringLiteral("ro.ini"), QStringLiteral("S"),
                                     QStringLiteral("K"), QStringLiteral("2"));
              }),
              expected);
    QDir::setCurrent(previous);

    const QString readOnly = path(QStringLiteral("ro.ini"));
    EXPECT_EQ(writeErrorOf([&] {
                  replaceProfileSection(readOnly, QStringLiteral("S"),
                                        {{QStringLiteral("K"), QStringLiteral("2")}});
              }),
              expected);
    EXPECT_EQ(writeErrorOf([&] { eraseProfileSection(readOnly, QStringLiteral("S")); }), expected);
    // Nothing to erase: nothing to write.
    EXPECT_EQ(writeErrorOf([&] { eraseProfileSection(readOnly, QStringLiteral("T")); }), QString());
    EXPECT_EQ(get(readOnly), before);

    const QString noDirectory = path(QStringLiteral("no/such/dir/x.ini"));
    EXPECT_EQ(writeErrorOf([&] {
                  writeProfileString(noDirectory, QStringLiteral("S"), QStringLiteral("K"),
                                     QStringLiteral("v"));
              }),
              noDirectory + QStringLiteral(" に書き込めません"));
    EXPECT_EQ(writeErrorOf([&] {
                  writeProfileString(m_dir.path(), QStringLiteral("S"), QStringLiteral("K"),
                                     QStringLiteral("v"));
              }),
              m_dir.path() + QStringLiteral(" に書き込めません"));
}

TEST_F(ProfileTest, WritingKeepsTheFilePermissions) {
    put("[S]\r\nK=1\r\n", path());
    const auto permissions =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
    ASSERT_TRUE(QFile::setPermissions(path(), permissions));
    writeProfileString(path(), QStringLiteral("S"), QStringLiteral("K"), QStringLiteral("2"));
    const auto forThisUser = QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser;
    EXPECT_EQ(QFileInfo(path()).permissions() & ~forThisUser, permissions);
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("test.ini")});
}

TEST_F(ProfileTest, AWriteThatFailsHalfwayLeavesTheFileAsItWas) {
    const QByteArray before = "[SET]\r\nID=1\r\n[S]\r\nK=1\r\n";
    put(before, path());
    // A file size limit makes the write fail after its first bytes, as a full disk would.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved;
    limit.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const QString message = writeErrorOf([&] {
        writeProfileString(path(), QStringLiteral("S"), QStringLiteral("K"), QString(10000, u'x'));
    });
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(message, path() + QStringLiteral(" に書き込めません"));
    EXPECT_EQ(get(path()), before);
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("test.ini")});
}
