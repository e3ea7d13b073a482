#include "search/AnswerExtraction.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace {

SearchResults extract(const QByteArray& body) {
    return extractResults(normalizeAnswer(body));
}

// The normalisation done the slow way: each replacement of the first occurrence, from the
// start again, until none is left.
QByteArray naiveNormalize(QByteArray body) {
    for (qsizetype at; (at = body.indexOf("><")) >= 0;)
        body.replace(at, 2, ">\n<");
    for (qsizetype at; (at = body.indexOf("amp;")) >= 0;)
        body.remove(at, 4);
    return body;
}

} // namespace

TEST(AnswerExtractionTest, TotalText) {
    const struct {
        const char* answer;
        const char* total;
    } cases[] = {
        {R"(<ResultSet totalResultsAvailable="1234" totalResultsReturned="20">)", "1234"},
        {R"(x totalResultsAvailable="0" totalResultsReturned="0")", "0"},
        {R"(totalResultsAvailable="-7" totalResultsReturned="0")", "-7"},
        {R"(<ResultSet totalResultsReturned="20" totalResultsAvailable="5">)", ""},
        {R"(<ResultSet totalResultsAvailable="5"  totalResultsReturned="20">)", ""},
        {R"(<ResultSet totalResultsAvailable="5">)", ""},
        {R"(" totalResultsReturned x totalResultsAvailable="5" totalResultsReturned)", ""},
        {R"(totalResultsAvailable="" totalResultsReturned="0")", ""},
        {R"(totalResultsAvailable="12a" totalResultsReturned="0")", "12a"},
        {R"(TotalResultsAvailable="5" totalResultsReturned="0")", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(extractTotal(c.answer), QString::fromUtf8(c.total)) << c.answer;
}

TEST(AnswerExtractionTest, EntitiesAfterNormalisation) {
    const struct {
        const char* title;
        const char* expected;
    } cases[] = {
        {"Tom &amp; Jerry", "Tom & Jerry"},
        {"Tom &amp;amp; Jerry", "Tom & Jerry"},
        {"A &lt;b&gt;", "A &lt;b&gt;"},
        {"ampamp;;", ""},
        {"&quot;x&quot; &amp;#39;", "&quot;x&quot; &#39;"},
    };
    for (const auto& c : cases) {
        const SearchResults table =
            extract(QByteArray("<Result><Title>") + c.title + "</Title></Result>");
        ASSERT_EQ(table.size(), 1);
        EXPECT_EQ(table[0].title, QString::fromUtf8(c.expected)) << c.title;
    }
}

TEST(AnswerExtractionTest, OnePassNormalisationEqualsRepeatedReplacementFromTheStart) {
    EXPECT_EQ(normalizeAnswer(">amp;<"), QByteArray("><")); // a joined "><" stays unbroken
    EXPECT_EQ(normalizeAnswer("<a><b>><<"), QByteArray("<a>\n<b>>\n<<"));
    const char alphabet[] = "amp;&x<>";
    QRandomGenerator random(1234);
    for (int round = 0; round < 5000; ++round) {
        QByteArray text;
        const int length = random.bounded(0, 24);
        for (int i = 0; i < length; ++i)
            text += alphabet[random.bounded(0, 8)];
        ASSERT_EQ(normalizeAnswer(text), naiveNormalize(text)) << text.constData();
    }
}

TEST(AnswerExtractionTest, LinesSplitAtEveryKindOfBreak) {
    EXPECT_EQ(splitAnswerLines("a\r\nb\rc\nd\n"), (QStringList{"a", "b", "c", "d"}));
    EXPECT_EQ(splitAnswerLines("a\n\n\r\rb"), (QStringList{"a", "", "", "", "b"}));
    EXPECT_EQ(splitAnswerLines(""), QStringList());
    EXPECT_EQ(splitAnswerLines("\r\n"), QStringList{""});
    EXPECT_EQ(splitAnswerLines("\xE7\x8C\xAB\r\n"), QStringList{QStringLiteral("猫")});
}

TEST(AnswerExtractionTest, Blocks) {
    const QByteArray answer =
        R"(<ResultSet totalResultsAvailable="5" totalResultsReturned="3">)"
        "<Result><Title>One</Title><Url>http://v/1</Url><ClickUrl>http://c/1</ClickUrl>"
        "<RefererUrl>http://r/1</RefererUrl><Duration>125</Duration>"
        "<Thumbnail><Url>http://t/1.jpg</Url></Thumbnail><Copyright>Youtube</Copyright></Result>"
        "<Result><Title>Two</Title><Copyright>ニコニコ動画</Copyright></Result>"
        R"(<Result id="9"><Title>Not a block</Title></Result>)"
        "</ResultSet>";
    const SearchResults table = extract(answer);
    ASSERT_EQ(table.size(), 2);
    EXPECT_EQ(table[0], (SearchResult{"One", "125", "Youtube", "http://r/1", "http://t/1.jpg"}));
    EXPECT_EQ(table[1], (SearchResult{"Two", "", QStringLiteral("ニコニコ動画"), "", ""}));
}

TEST(AnswerExtractionTest, LineRules) {
    const struct {
        QStringList lines;
        SearchResults expected;
    } cases[] = {
        // both tags on the block's one line: a row of empty fields
        {{"<Result><Title>x</Title></Result>"}, {SearchResult{}}},
        // no closing line: no row, and the scan goes on after it
        {{"<Result>", "<Title>a</Title>"}, {}},
        {{"<ResultSet>", "<Title>a</Title>", "</Result>"}, {}},
        // the last line holding both tags decides; lines between blocks are never read
        {{"<Result>", "<Url>1</Url>", "<Url>2</Url>", "</Result>", "<Url>3</Url>"},
         {SearchResult{"", "", "", "", "2"}}},
        {{"<Result>", "</Url>x<Url>", "</Result>"}, {SearchResult{}}},
        {{"<Result>", "<Url>1</Url>", "<Url>spans", "lines</Url>", "</Result>"},
         {SearchResult{"", "", "", "", "1"}}},
        // a second "<Result>" inside a block is just a line of it
        {{"<Result>", "<Title>a</Title>", "<Result>", "<Title>b</Title>", "</Result>"},
         {SearchResult{"b", "", "", "", ""}}},
        // tags compare with their case
        {{"<result>", "</result>"}, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(extractResults(c.lines.join(u'\n').toUtf8()), c.expected)
            << c.lines.join(u'|').toStdString();
        // the same lines ended by CR LF and by a lone CR
        EXPECT_EQ(extractResults(c.lines.join(QStringLiteral("\r\n")).toUtf8()), c.expected);
        EXPECT_EQ(extractResults(c.lines.join(u'\r').toUtf8()), c.expected);
    }
}

TEST(AnswerExtractionTest, UnreadableBytesBecomeReplacementCharacters) {
    const SearchResults table = extract("<Result><Title>a\xFF"
                                        "b \xF0\xA0\xAE\xB7</Title>"
                                        "<Duration>59</Duration></Result>");
    ASSERT_EQ(table.size(), 1);
    EXPECT_EQ(table[0].title, QStringLiteral("a\uFFFDb 𠮷"));
    EXPECT_EQ(table[0].duration, QStringLiteral("59"));
}
