// The catalogue's back ends, through the real service: a SQLite file and a PostgreSQL database
// (a server the test starts itself) give the same answers, several services share one database,
// and import replaces a catalogue in one transaction.

#include "PostgresServer.h"
#include "ServiceProcess.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

const std::string PublicUrl = "http://videos.example.org";
const std::string Header = "id\thost\tsource\tduration\tsize\tadult\ttitle\tdescription\n";

// `sorvel-service import`: its exit code, and what it said in `log`.
int Import(const std::string& tsv, const std::string& catalogue, std::string* log = nullptr) {
    ServiceProcess import({"import", tsv, "--catalog", catalogue});
    const int code = import.Wait();
    if (log)
        *log = import.Stderr();
    return code;
}

std::unique_ptr<ServiceProcess> StartService(const std::string& catalogue) {
    auto service = std::make_unique<ServiceProcess>(
        std::vector<std::string>{"--port", "0", "--catalog", catalogue, "--public-url", PublicUrl});
    EXPECT_GT(service->Port(), 0) << service->Stderr();
    return service;
}

std::string Total(const ServiceProcess& service, const std::string& keyword) {
    return ReadAsProgram(HttpGet(service.Port(), SearchTarget(keyword, "50", "1", "1")).body).total;
}

// One PostgreSQL server for the tests of this process, started by the first that needs it and
// stopped when the process ends; each test takes a database of its own.
PostgresServer& Postgres() {
    static const std::unique_ptr<PostgresServer> server = std::make_unique<PostgresServer>();
    return *server;
}

std::string NextDatabaseName() {
    static std::atomic<int> databases{0};
    return "sorvel_test_" + std::to_string(++databases);
}

// A new database on the test's server; skips the test where PostgreSQL is not installed.
#define NEW_POSTGRES_DATABASE(uri)                                                                 \
    do {                                                                                           \
        if (Postgres().NotInstalled())                                                             \
            GTEST_SKIP() << "PostgreSQL tests skipped: " << Postgres().Problem();                  \
        ASSERT_EQ(Postgres().Problem(), "");                                                       \
        const std::string name = NextDatabaseName();                                               \
        ASSERT_TRUE(Postgres().CreateDatabase(name));                                              \
        uri = Postgres().Uri(name);                                                                \
    } while (false)

struct QueryCase {
    std::string keyword, results, start, adult, site;
};

void PrintTo(const QueryCase& c, std::ostream* os) {
    *os << Encode(c.keyword) << "&results=" << c.results << "&start=" << c.start
        << "&adult_ok=" << c.adult << "&site=" << c.site;
}

// One, two, three and more characters, Japanese and Latin, half-width and full-width, several
// terms, the filters, and paging up to and past the end.
const std::vector<QueryCase> Queries = {
    {"猫", "20", "1", "0", ""},
    {"子猫", "20", "1", "0", ""},
    {"ギター", "20", "1", "0", ""},
    {"ギター講座", "20", "1", "0", ""},
    {"猫" + Ideographic + "ギター", "20", "1", "0", ""},
    {"ﾈｺ", "20", "1", "0", ""},
    {"ネコの一日", "20", "1", "0", ""},
    {"r", "50", "1", "1", ""},
    {"re", "50", "1", "1", ""},
    {"rec", "20", "1", "0", ""},
    {"recipe", "20", "41", "0", ""},
    {"recipe", "17", "41", "0", ""},
    {"recipe", "20", "58", "0", ""},
    {"recipe", "50", "881", "0", ""},
    {"kitten", "20", "1", "0", ""},
    {"ｋｉｔｔｅｎ" + Ideographic + "yarn", "20", "1", "0", ""},
    {"ｃａｔ", "20", "1", "0", ""},
    {"CAT walk", "20", "1", "0", ""},
    {"AC\uFF0FDC", "20", "1", "0", ""},
    {"&", "20", "1", "0", ""},
    {"%", "20", "1", "0", ""},
    {"_", "20", "1", "0", ""},
    {"night", "20", "1", "1", ""},
    {"night", "20", "1", "0", ""},
    {"night", "20", "1", "1", "velvetclips.tv\t"},
    {"kitten", "20", "1", "0", "nicovideo.jp"},
    {"猫", "20", "1", "0", "yahoo.com"},
    {"犬", "20", "1", "0", ""},
    {"", "20", "1", "0", ""},
};

// Targets besides the search whose answers come from the catalogue.
const std::vector<std::string> Pages = {
    "/files/sorvel/",           "/watch/158",   "/watch/999", "/videos/3",
    "/info.php?pf=w&sn=sorvel", "/thumbs/4.jpg"};

std::string Raw(const ServiceProcess& service, const std::string& target) {
    const HttpResponse response = HttpGet(service.Port(), target);
    std::string location =
        response.headers.count("location") ? response.headers.at("location") : "";
    return std::to_string(response.status) + " " + location + "\n" + response.body;
}

TEST(CatalogBackEndTest, SqliteAndPostgresGiveTheSameAnswers) {
    std::string postgres;
    NEW_POSTGRES_DATABASE(postgres);
    const TemporaryFile sqlite("backends.sqlite");
    ASSERT_EQ(Import(SORVEL_SERVICE_TEST_CATALOG, sqlite.Path()), 0);
    ASSERT_EQ(Import(SORVEL_SERVICE_TEST_CATALOG, postgres), 0);
    const auto fromSqlite = StartService(sqlite.Path());
    const auto fromPostgres = StartService(postgres);

    int withResults = 0;
    for (const QueryCase& c : Queries) {
        const std::string target = SearchTarget(c.keyword, c.results, c.start, c.adult, c.site);
        const std::string expected = Raw(*fromSqlite, target);
        EXPECT_EQ(Raw(*fromPostgres, target), expected) << ::testing::PrintToString(c);
        withResults += expected.find("<Result>") != std::string::npos ? 1 : 0;
    }
    EXPECT_GE(withResults, 20) << "the table mostly asks what the catalogue has";
    for (const std::string& target : Pages)
        EXPECT_EQ(Raw(*fromPostgres, target), Raw(*fromSqlite, target)) << target;
}

TEST(CatalogBackEndTest, ServicesSharingOneDatabaseAnswerAlikeAndSeeARefresh) {
    std::string postgres;
    NEW_POSTGRES_DATABASE(postgres);
    ASSERT_EQ(Import(SORVEL_SERVICE_TEST_CATALOG, postgres), 0);
    const auto first = StartService(postgres);
    const auto second = StartService(postgres);
    for (const QueryCase& c : Queries) {
        const std::string target = SearchTarget(c.keyword, c.results, c.start, c.adult, c.site);
        EXPECT_EQ(Raw(*second, target), Raw(*first, target)) << ::testing::PrintToString(c);
    }

    // A refresh while both serve: both answer from the new catalogue at once.
    const TemporaryFile next("next_catalog.tsv",
                             Header + "7\tyoutube.com\tYoutube\t30\t1000\t0\tOnly kitten\tNew.\n");
    ASSERT_EQ(Import(next.Path(), postgres), 0);
    EXPECT_EQ(Total(*first, "kitten"), "1");
    EXPECT_EQ(Total(*second, "kitten"), "1");
    EXPECT_EQ(Raw(*second, "/files/sorvel/"), Raw(*first, "/files/sorvel/"));
}

// A password in the database's address never reaches the log (the test's server trusts any).
TEST(CatalogBackEndTest, LogShowsNoPassword) {
    std::string postgres;
    NEW_POSTGRES_DATABASE(postgres);
    const std::string uri =
        "postgresql://postgres:first-secret@" + postgres.substr(13) + "&password=second-secret";
    std::string log;
    ASSERT_EQ(Import(SORVEL_SERVICE_TEST_CATALOG, uri, &log), 0) << log;
    ServiceProcess service({"--port", "0", "--catalog", uri});
    ASSERT_GT(service.Port(), 0) << service.Stderr();
    EXPECT_EQ(service.Stop(SIGTERM), 0);
    for (const std::string& text : {log, service.Stderr()}) {
        EXPECT_NE(text.find("postgresql://postgres:***@"), std::string::npos) << text;
        EXPECT_NE(text.find("&password=***"), std::string::npos) << text;
        EXPECT_EQ(text.find("secret"), std::string::npos) << text;
    }
}

enum class BackEnd { Sqlite, Postgres };

class CatalogLocationTest : public ::testing::TestWithParam<BackEnd> {
protected:
    // A fresh catalogue location of the back end under test.
    void SetUp() override {
        if (GetParam() == BackEnd::Postgres)
            NEW_POSTGRES_DATABASE(m_location);
        else
            m_location = m_sqlite.Path();
    }

    std::string m_location;
    TemporaryFile m_sqlite{"location.sqlite"};
};

TEST_P(CatalogLocationTest, FoldingFindsHalfWidthKatakanaAndFullWidthLatin) {
    ASSERT_EQ(Import(SORVEL_SERVICE_TEST_CATALOG, m_location), 0);
    const auto service = StartService(m_location);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"ﾈｺ", "ネコの一日"},
        {"ネコ", "ネコの一日"},
        {"ｃａｔ", "Ｃａｔ Ｗａｌｋ"},
        {"cat", "Ｃａｔ Ｗａｌｋ"},
        {"ＫＩＴＴＥＮ" + Ideographic + "ｙａｒｎ", "Kitten & Yarn"}};
    for (const auto& [keyword, title] : cases) {
        const ProgramView view =
            ReadAsProgram(HttpGet(service->Port(), SearchTarget(keyword)).body);
        EXPECT_EQ(Titles(view), std::vector<std::string>{title}) << keyword;
    }
}

// A file with a fault anywhere leaves the catalogue as it was, for a service that reads it
// meanwhile too; a good one replaces it whole, and the running service answers from it.
TEST_P(CatalogLocationTest, ImportReplacesTheCatalogueInOneTransaction) {
    ASSERT_EQ(Import(SORVEL_SERVICE_TEST_CATALOG, m_location), 0);
    const auto service = StartService(m_location);
    ASSERT_EQ(Total(*service, "kitten"), "3");

    const TemporaryFile broken("broken_import.tsv",
                               Header + "1\tyoutube.com\tYoutube\t10\t100\t0\tBroken kitten\tx\n" +
                                   "2\tyoutube.com\tYoutube\tlong\t100\t0\tBroken\tx\n");
    std::string log;
    EXPECT_EQ(Import(broken.Path(), m_location, &log), 1);
    EXPECT_NE(log.find(broken.Path() + ":3: the duration must be whole seconds"), std::string::npos)
        << log;
    EXPECT_EQ(Total(*service, "kitten"), "3");
    EXPECT_EQ(Total(*service, "broken"), "0");
    EXPECT_EQ(Total(*StartService(m_location), "recipe"), "57");

    const TemporaryFile good("good_import.tsv",
                             Header + "5\tyoutube.com\tYoutube\t10\t100\t0\tFresh kitten\tx\n");
    ASSERT_EQ(Import(good.Path(), m_location, &log), 0) << log;
    EXPECT_NE(log.find("1 entries from"), std::string::npos) << log;
    EXPECT_EQ(Titles(ReadAsProgram(HttpGet(service->Port(), SearchTarget("kitten")).body)),
              std::vector<std::string>{"Fresh kitten"});
    EXPECT_EQ(Total(*service, "recipe"), "0");
    EXPECT_EQ(HttpGet(service->Port(), "/healthz").status, 200);
    EXPECT_EQ(service->Stop(SIGTERM), 0);
}

// A search whose statement fails ends its read transaction: the one connection of the service
// serves the next search from the catalogue as it is then, and holds nothing that keeps a change
// of the catalogue waiting.
TEST_P(CatalogLocationTest, FailedSearchLeavesNoTransactionOpen) {
    ASSERT_EQ(Import(SORVEL_SERVICE_TEST_CATALOG, m_location), 0);
    ServiceProcess service(
        {"--port", "0", "--catalog", m_location, "--threads", "1", "--public-url", PublicUrl});
    ASSERT_GT(service.Port(), 0) << service.Stderr();
    ASSERT_EQ(Total(service, "kitten"), "3");

    const std::string table = GetParam() == BackEnd::Postgres ? "sorvel.entries" : "sorvel_entries";
    const auto alter = [&](const std::string& from, const std::string& to) {
        const std::string sql = "ALTER TABLE " + table + " RENAME COLUMN " + from + " TO " + to;
        if (GetParam() == BackEnd::Postgres)
            return Postgres().Execute(m_location, "SET lock_timeout = '10s'; " + sql);
        sqlite3* db = nullptr;
        const bool done = sqlite3_open(m_location.c_str(), &db) == SQLITE_OK &&
                          sqlite3_busy_timeout(db, 10000) == SQLITE_OK &&
                          sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
        sqlite3_close(db);
        return done;
    };
    ASSERT_TRUE(alter("title_folded", "title_hidden"));
    EXPECT_EQ(HttpGet(service.Port(), SearchTarget("kitten")).status, 500);
    ASSERT_TRUE(alter("title_hidden", "title_folded"));
    EXPECT_EQ(Total(service, "kitten"), "3");
    EXPECT_EQ(Total(service, "recipe"), "57");
}

INSTANTIATE_TEST_SUITE_P(BackEnds, CatalogLocationTest,
                         ::testing::Values(BackEnd::Sqlite, BackEnd::Postgres),
                         [](const ::testing::TestParamInfo<BackEnd>& info) {
                             return info.param == BackEnd::Sqlite ? "Sqlite" : "Postgres";
                         });

TEST(CatalogBackEndTest, ImportLeavesAFileThatIsNoCatalogueAlone) {
    const TemporaryFile text("not_a_catalogue.txt", "precious notes\n");
    std::string log;
    EXPECT_EQ(Import(SORVEL_SERVICE_TEST_CATALOG, text.Path(), &log), 1);
    EXPECT_NE(log.find("is no SQLite file"), std::string::npos) << log;
    std::ifstream in(text.Path());
    std::string content;
    std::getline(in, content);
    EXPECT_EQ(content, "precious notes");
}

} // namespace
