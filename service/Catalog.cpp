#include "service/Catalog.h"

#include "service/Text.h"

#include <sqlite3.h>

#include <fstream>

namespace {

// The numbered SQL parameter "?n". Built by appending: GCC 12 at -O3 warns falsely
// (-Wrestrict) about "literal" + std::string.
std::string Placeholder(std::size_t number) {
    std::string text = "?";
    text += std::to_string(number);
    return text;
}

const char* const Columns[] = {"id",   "host",  "source", "duration",
                               "size", "adult", "title",  "description"};
constexpr std::size_t ColumnCount = std::size(Columns);

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', pos);
        fields.push_back(
            line.substr(pos, tab == std::string::npos ? std::string::npos : tab - pos));
        if (tab == std::string::npos)
            return fields;
        pos = tab + 1;
    }
}

bool ValidHost(const std::string& host) {
    if (host.empty() || host.front() == '.' || host.back() == '.')
        return false;
    for (const char c : host) {
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-'))
            return false;
    }
    return true;
}

bool ParseSize(const std::string& text, long long& value) {
    if (text.empty() || text.size() > 18)
        return false;
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

// A prepared statement that finalises itself.
class Statement final {
public:
    Statement(sqlite3* db, const std::string& sql) {
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &m_statement, nullptr) != SQLITE_OK)
            throw CatalogError(std::string("SQLite: ") + sqlite3_errmsg(db));
    }
    ~Statement() { sqlite3_finalize(m_statement); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    void Bind(int index, const std::string& text) {
        sqlite3_bind_text(m_statement, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
    }
    void Bind(int index, int value) { sqlite3_bind_int(m_statement, index, value); }
    // True while a row is there; throws on an error.
    bool Step(sqlite3* db) {
        const int rc = sqlite3_step(m_statement);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        throw CatalogError(std::string("SQLite: ") + sqlite3_errmsg(db));
    }
    void Reset() {
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
    }
    int Int(int column) const { return sqlite3_column_int(m_statement, column); }

private:
    sqlite3_stmt* m_statement = nullptr;
};

void Execute(sqlite3* db, const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : "unknown error";
        sqlite3_free(error);
        throw CatalogError("SQLite: " + message);
    }
}

// An FTS5 phrase: the term in double quotes, its own double quotes doubled.
std::string Phrase(const std::string& term) {
    std::string phrase = "\"";
    for (const char c : term) {
        phrase += c;
        if (c == '"')
            phrase += '"';
    }
    return phrase + "\"";
}

} // namespace

void Catalog::DatabaseCloser::operator()(sqlite3* db) const {
    sqlite3_close(db);
}

Catalog::Catalog(const std::string& path) {
    Load(path);
    Index();
}

Catalog::~Catalog() = default;

void Catalog::Load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw CatalogError(path + ": cannot open the catalogue");
    std::string line;
    int lineNumber = 0;
    bool header = false;
    const auto fail = [&](const std::string& what) {
        throw CatalogError(path + ":" + std::to_string(lineNumber) + ": " + what);
    };
    while (std::getline(in, line)) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line.front() == '#')
            continue;
        const std::vector<std::string> fields = SplitTabs(line);
        if (!header) {
            if (fields.size() != ColumnCount)
                fail("the header must name the columns id, host, source, duration, size, "
                     "adult, title, description");
            for (std::size_t i = 0; i < ColumnCount; ++i) {
                if (fields[i] != Columns[i])
                    fail(std::string("column ") + std::to_string(i + 1) + " must be \"" +
                         Columns[i] + "\"");
            }
            header = true;
            continue;
        }
        if (fields.size() != ColumnCount)
            fail("expected " + std::to_string(ColumnCount) + " tab-separated fields, found " +
                 std::to_string(fields.size()));
        CatalogEntry entry;
        if (!ParseInt(fields[0], entry.id) || entry.id < 1)
            fail("the id must be a positive number");
        if (m_byId.count(entry.id))
            fail("the id " + fields[0] + " is used twice");
        entry.host = fields[1];
        if (!ValidHost(entry.host))
            fail("the host must be a lower-case host name");
        entry.source = fields[2];
        if (entry.source.empty())
            fail("the source must not be empty");
        if (!ParseInt(fields[3], entry.duration) || entry.duration < 0)
            fail("the duration must be whole seconds");
        if (!ParseSize(fields[4], entry.size))
            fail("the size must be a number of bytes");
        if (fields[5] != "0" && fields[5] != "1")
            fail("adult must be 0 or 1");
        entry.adult = fields[5] == "1";
        entry.title = fields[6];
        entry.description = fields[7];
        if (entry.title.empty())
            fail("the title must not be empty");
        if (!IsValidUtf8(entry.source) || !IsValidUtf8(entry.title) ||
            !IsValidUtf8(entry.description))
            fail("the text is no valid UTF-8");
        m_byId.emplace(entry.id, m_entries.size());
        m_entries.push_back(std::move(entry));
    }
    if (in.bad())
        throw CatalogError(path + ": cannot read the catalogue");
    if (!header)
        throw CatalogError(path + ": the catalogue has no header line");
}

void Catalog::Index() {
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(
        ":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    m_db.reset(db);
    if (rc != SQLITE_OK)
        throw CatalogError("SQLite: cannot open an in-memory database");
    // The texts are stored folded (FoldForSearch), so a case-sensitive index is an exact
    // substring index over what the keyword is compared with.
    Execute(db, "CREATE TABLE entries(id INTEGER PRIMARY KEY, host TEXT NOT NULL,"
                " adult INTEGER NOT NULL);"
                "CREATE VIRTUAL TABLE texts USING fts5(title, description,"
                " tokenize = 'trigram case_sensitive 1');"
                "BEGIN;");
    Statement entry(db, "INSERT INTO entries(id, host, adult) VALUES (?1, ?2, ?3)");
    Statement text(db, "INSERT INTO texts(rowid, title, description) VALUES (?1, ?2, ?3)");
    for (const CatalogEntry& e : m_entries) {
        entry.Bind(1, e.id);
        entry.Bind(2, e.host);
        entry.Bind(3, e.adult ? 1 : 0);
        entry.Step(db);
        entry.Reset();
        text.Bind(1, e.id);
        text.Bind(2, FoldForSearch(e.title));
        text.Bind(3, FoldForSearch(e.description));
        text.Step(db);
        text.Reset();
    }
    Execute(db, "COMMIT;");
}

std::vector<const CatalogEntry*> Catalog::Search(const CatalogQuery& query) const {
    const std::vector<std::string> terms = SplitTerms(FoldForSearch(query.keyword));
    if (terms.empty())
        return {};

    // The trigram index finds terms of three characters and more; shorter ones (a single
    // kanji such as 猫) are looked for in the same folded texts directly.
    std::vector<std::string> binds;
    std::string score = "0";
    std::string where;
    std::string match;
    for (const std::string& term : terms) {
        binds.push_back(term);
        const std::string p = Placeholder(binds.size());
        score += " + (instr(t.title, " + p + ") > 0)";
        if (CodePointCount(term) >= 3) {
            match += (match.empty() ? "" : " AND ") + Phrase(term);
        } else {
            where += " AND (instr(t.title, " + p + ") > 0 OR instr(t.description, " + p + ") > 0)";
        }
    }
    if (!match.empty()) {
        binds.push_back(match);
        where += " AND texts MATCH " + Placeholder(binds.size());
    }
    if (!query.adult)
        where += " AND e.adult = 0";
    if (!query.site.empty()) {
        binds.push_back(query.site);
        const std::string site = Placeholder(binds.size());
        binds.push_back(std::string(".").append(query.site));
        const std::string dotted = Placeholder(binds.size());
        where += " AND (e.host = " + site + " OR substr(e.host, -length(" + dotted +
                 ")) = " + dotted + ")";
    }
    const std::string sql = "SELECT e.id, " + score +
                            " AS score FROM texts t JOIN entries e ON e.id = t.rowid WHERE 1" +
                            where + " ORDER BY score DESC, e.id";

    std::vector<const CatalogEntry*> found;
    const std::lock_guard lock(m_mutex);
    Statement statement(m_db.get(), sql);
    for (std::size_t i = 0; i < binds.size(); ++i)
        statement.Bind(static_cast<int>(i + 1), binds[i]);
    while (statement.Step(m_db.get())) {
        if (const CatalogEntry* e = Find(statement.Int(0)))
            found.push_back(e);
    }
    return found;
}

const CatalogEntry* Catalog::Find(int id) const {
    const auto it = m_byId.find(id);
    return it == m_byId.end() ? nullptr : &m_entries[it->second];
}
