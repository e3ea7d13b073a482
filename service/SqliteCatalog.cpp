#include "service/SqliteCatalog.h"

#include "service/Text.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <fstream>

namespace {

// SQLite's FTS5 tokenizer interface (its fts5.h, which Debian's libsqlite3-dev does not ship),
// as far as it is used here: the layout is SQLite's stable interface, version 2.
struct Fts5Tokenizer;
using Fts5TokenCallback = int (*)(void* context, int flags, const char* token, int length,
                                  int start, int end);
struct fts5_tokenizer {
    int (*xCreate)(void*, const char** arguments, int count, Fts5Tokenizer** tokenizer);
    void (*xDelete)(Fts5Tokenizer*);
    int (*xTokenize)(Fts5Tokenizer*, void* context, int flags, const char* text, int length,
                     Fts5TokenCallback token);
};
struct fts5_api {
    int iVersion;
    int (*xCreateTokenizer)(fts5_api*, const char* name, void* userData, fts5_tokenizer* tokenizer,
                            void (*destroy)(void*));
    void* xFindTokenizer;
    void* xCreateFunction;
};
constexpr int Fts5TokenizeQuery = 0x0001;

const char* const TokenizerName = "sorvel_grams";
const char* const SchemaVersion = "2";

// The facets column of an entry: its site keys and, when it is adult, the adult key, separated
// by spaces. The filters then narrow the candidates in the index.
std::string FacetText(const CatalogEntry& e) {
    std::string text;
    for (const std::string& key : SiteKeys(e.host))
        text.append(key).append(" ");
    if (e.adult)
        text += AdultKey();
    return text;
}

// Every piece of a text that a term may be: one, two and three code points; the facets column
// gives its space-separated facets whole. A query string is one piece as it is (the search
// quotes each piece it looks for).
int Tokenize(Fts5Tokenizer*, void* context, int flags, const char* text, int length,
             Fts5TokenCallback token) {
    if (length <= 0)
        return SQLITE_OK;
    if (flags & Fts5TokenizeQuery)
        return token(context, 0, text, length, 0, length);
    if (text[0] == KeyMark) {
        const std::string_view facets(text, static_cast<std::size_t>(length));
        for (std::size_t from = 0; from < facets.size();) {
            const std::size_t space = std::min(facets.find(' ', from), facets.size());
            if (space > from) {
                const int rc =
                    token(context, 0, text + from, static_cast<int>(space - from), 0, length);
                if (rc != SQLITE_OK)
                    return rc;
            }
            from = space + 1;
        }
        return SQLITE_OK;
    }
    for (const std::string& gram :
         Grams(std::string_view(text, static_cast<std::size_t>(length)))) {
        const int rc = token(context, 0, gram.data(), static_cast<int>(gram.size()), 0, length);
        if (rc != SQLITE_OK)
            return rc;
    }
    return SQLITE_OK;
}

int CreateTokenizer(void*, const char**, int, Fts5Tokenizer** tokenizer) {
    static int instance = 0; // the tokenizer keeps no state: one token for every table
    *tokenizer = reinterpret_cast<Fts5Tokenizer*>(&instance);
    return SQLITE_OK;
}

void DeleteTokenizer(Fts5Tokenizer*) {}

void RegisterTokenizer(sqlite3* db) {
    fts5_api* api = nullptr;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT fts5(?1)", -1, &statement, nullptr) == SQLITE_OK) {
        sqlite3_bind_pointer(statement, 1, &api, "fts5_api_ptr", nullptr);
        sqlite3_step(statement);
    }
    sqlite3_finalize(statement);
    static fts5_tokenizer tokenizer{CreateTokenizer, DeleteTokenizer, Tokenize};
    if (!api || api->iVersion < 2 ||
        api->xCreateTokenizer(api, TokenizerName, nullptr, &tokenizer, nullptr) != SQLITE_OK)
        throw CatalogError("SQLite: full-text search (FTS5) is not available");
}

CatalogError SqliteError(sqlite3* db) {
    return CatalogError(std::string("SQLite: ") + sqlite3_errmsg(db));
}

void Execute(sqlite3* db, const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : sqlite3_errmsg(db);
        sqlite3_free(error);
        throw CatalogError("SQLite: " + message);
    }
}

// A prepared statement that finalises itself; Reset after each use.
class Statement final {
public:
    Statement(sqlite3* db, const std::string& sql)
        : m_db(db) {
        if (sqlite3_prepare_v3(db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &m_statement,
                               nullptr) != SQLITE_OK)
            throw SqliteError(db);
    }
    ~Statement() { sqlite3_finalize(m_statement); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    void Bind(int index, std::string_view text) {
        sqlite3_bind_text(m_statement, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
    }
    void Bind(int index, long long value) { sqlite3_bind_int64(m_statement, index, value); }
    // True while a row is there; throws on an error.
    bool Step() {
        const int rc = sqlite3_step(m_statement);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        throw SqliteError(m_db);
    }
    void Reset() {
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
    }
    long long Int(int column) const { return sqlite3_column_int64(m_statement, column); }
    std::string_view Text(int column) const {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
        return text ? std::string_view(
                          text, static_cast<std::size_t>(sqlite3_column_bytes(m_statement, column)))
                    : std::string_view();
    }

private:
    sqlite3* m_db;
    sqlite3_stmt* m_statement = nullptr;
};

// Resets a statement when a use ends, also by an exception.
class Use final {
public:
    explicit Use(Statement& statement)
        : m_statement(statement) {}
    ~Use() { m_statement.Reset(); }
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;
    Statement* operator->() const { return &m_statement; }

private:
    Statement& m_statement;
};

const char* const EntryColumns =
    "id, host, source, duration, size, adult, title, description FROM sorvel_entries";

CatalogEntry ReadEntry(const Statement& row) {
    CatalogEntry e;
    e.id = static_cast<int>(row.Int(0));
    e.host = row.Text(1);
    e.source = row.Text(2);
    e.duration = static_cast<int>(row.Int(3));
    e.size = row.Int(4);
    e.adult = row.Int(5) != 0;
    e.title = row.Text(6);
    e.description = row.Text(7);
    return e;
}

// An FTS5 string: the text in double quotes, its own double quotes doubled.
std::string Quoted(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    quoted += '"';
    return quoted;
}

// The index query that finds every entry holding each term: a term of up to three code points
// is a piece of the index; a longer one needs each of its three-code-point pieces (the entries
// found then hold the pieces, and are checked for the whole term).
std::string MatchExpression(const std::vector<SearchTerm>& terms) {
    std::string expression;
    const auto add = [&](std::string_view piece) {
        if (!expression.empty())
            expression += " AND ";
        expression += Quoted(piece);
    };
    for (const SearchTerm& term : terms) {
        if (term.length <= 3) {
            add(term.text);
            continue;
        }
        for (const std::string& gram : Grams(term.text)) {
            if (CodePointCount(gram) == 3)
                add(gram);
        }
    }
    return expression;
}

bool IsSqliteFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::array<char, 16> header{};
    in.read(header.data(), header.size());
    return in.gcount() == static_cast<std::streamsize>(header.size()) &&
           std::memcmp(header.data(), "SQLite format 3", 16) == 0;
}

// Replaces every table of the catalogue with the file's entries, in one transaction.
std::size_t Load(sqlite3* db, const std::string& tsvPath) {
    Execute(db, "BEGIN IMMEDIATE");
    try {
        Execute(
            db,
            "DROP TABLE IF EXISTS sorvel_info; DROP TABLE IF EXISTS sorvel_sites;"
            "DROP TABLE IF EXISTS sorvel_grams; DROP TABLE IF EXISTS sorvel_entries;"
            "CREATE TABLE sorvel_info(key TEXT PRIMARY KEY, value TEXT NOT NULL);"
            "CREATE TABLE sorvel_sites(host TEXT PRIMARY KEY, source TEXT NOT NULL,"
            " count INTEGER NOT NULL, adult INTEGER NOT NULL);"
            // The folded texts come first: the search reads them for every candidate.
            "CREATE TABLE sorvel_entries(id INTEGER PRIMARY KEY, adult INTEGER NOT NULL,"
            " host TEXT NOT NULL, title_folded TEXT NOT NULL,"
            " description_folded TEXT NOT NULL, source TEXT NOT NULL,"
            " duration INTEGER NOT NULL, size INTEGER NOT NULL, title TEXT NOT NULL,"
            " description TEXT NOT NULL);"
            "CREATE VIRTUAL TABLE sorvel_grams USING fts5(title, description, facets, content='',"
            " detail=column, tokenize='sorvel_grams');");
        Statement entry(db, "INSERT INTO sorvel_entries(id, adult, host, title_folded,"
                            " description_folded, source, duration, size, title, description)"
                            " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
        Statement grams(db, "INSERT INTO sorvel_grams(rowid, title, description, facets)"
                            " VALUES (?1, ?2, ?3, ?4)");
        SiteCounter sites;
        std::size_t count = 0;
        ReadCatalogFile(tsvPath, [&](CatalogEntry&& e) {
            const std::string title = FoldForSearch(e.title);
            const std::string description = FoldForSearch(e.description);
            entry.Bind(1, e.id);
            entry.Bind(2, e.adult ? 1 : 0);
            entry.Bind(3, e.host);
            entry.Bind(4, title);
            entry.Bind(5, description);
            entry.Bind(6, e.source);
            entry.Bind(7, e.duration);
            entry.Bind(8, e.size);
            entry.Bind(9, e.title);
            entry.Bind(10, e.description);
            entry.Step();
            entry.Reset();
            grams.Bind(1, e.id);
            grams.Bind(2, title);
            grams.Bind(3, description);
            grams.Bind(4, FacetText(e));
            grams.Step();
            grams.Reset();
            sites.Add(e);
            ++count;
        });
        Statement site(db, "INSERT INTO sorvel_sites(host, source, count, adult)"
                           " VALUES (?1, ?2, ?3, ?4)");
        for (const CatalogSite& s : sites.Sites()) {
            site.Bind(1, s.host);
            site.Bind(2, s.source);
            site.Bind(3, s.count);
            site.Bind(4, s.adult);
            site.Step();
            site.Reset();
        }
        Statement info(db, "INSERT INTO sorvel_info(key, value) VALUES ('schema', ?1)");
        info.Bind(1, SchemaVersion);
        info.Step();
        // One segment per index: the fewest pages to read for a term.
        Execute(db, "INSERT INTO sorvel_grams(sorvel_grams) VALUES ('optimize'); COMMIT");
        return count;
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

std::atomic<int> memoryCatalogues{0};

} // namespace

// A read-only connection and its prepared statements.
class SqliteCatalog::Connection final {
public:
    explicit Connection(const std::string& uri) {
        sqlite3* db = nullptr;
        const int rc =
            sqlite3_open_v2(uri.c_str(), &db,
                            SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI, nullptr);
        m_db.reset(db);
        if (rc != SQLITE_OK)
            throw CatalogError(uri + ": cannot open the catalogue: " +
                               (db ? sqlite3_errmsg(db) : "out of memory"));
        RegisterTokenizer(db);
        sqlite3_busy_timeout(db, 10000);
        // Pages shared through the operating system's cache, not copied into each connection.
        Execute(db, "PRAGMA mmap_size = 4294967296");
        try {
            m_schema = std::make_unique<Statement>(
                db, "SELECT value FROM sorvel_info WHERE key = 'schema'");
            if (!HoldsCatalogue())
                throw CatalogError("");
        } catch (const CatalogError&) {
            throw CatalogError(uri + ": no catalogue of this service (make one with "
                                     "sorvel-service import FILE.tsv --catalog FILE)");
        }
        m_find = std::make_unique<Statement>(db, std::string("SELECT ") + EntryColumns +
                                                     " WHERE id = ?1");
        m_newest =
            std::make_unique<Statement>(db, std::string("SELECT ") + EntryColumns +
                                                " WHERE adult = 0 ORDER BY id DESC LIMIT ?1");
        m_sites = std::make_unique<Statement>(
            db, "SELECT host, source, count, adult FROM sorvel_sites ORDER BY host");
        m_scan = std::make_unique<Statement>(
            db, "SELECT e.id, e.title_folded, e.description_folded FROM sorvel_grams"
                " JOIN sorvel_entries e ON e.id = sorvel_grams.rowid WHERE sorvel_grams MATCH ?1"
                " ORDER BY sorvel_grams.rowid");
    }

    sqlite3* Db() const { return m_db.get(); }
    // Whether the database holds a catalogue of this version; throws when it cannot be read.
    bool HoldsCatalogue() {
        Use use(*m_schema);
        return m_schema->Step() && m_schema->Text(0) == SchemaVersion;
    }
    Statement& FindStatement() { return *m_find; }
    Statement& NewestStatement() { return *m_newest; }
    Statement& SitesStatement() { return *m_sites; }

    // The candidates of an index query (?1, which holds the filters too) in id order, with their
    // folded texts.
    Statement& ScanStatement() { return *m_scan; }

private:
    struct Closer {
        void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
    };
    // Declared first, so destroyed last: the statements are finalised before it closes.
    std::unique_ptr<sqlite3, Closer> m_db;
    std::unique_ptr<Statement> m_schema, m_find, m_newest, m_sites, m_scan;
};

namespace {

// One snapshot of the catalogue for the statements of a search, so that an import that commits
// meanwhile is not seen half-way. A transaction left open (a statement failed) is rolled back
// when it goes; a connection that cannot end it is dropped, never pooled inside a transaction.
class ReadTransaction final {
public:
    using Lease = ConnectionPool<SqliteCatalog::Connection>::Lease;

    explicit ReadTransaction(Lease& connection)
        : m_connection(connection) {
        Execute(m_connection->Db(), "BEGIN");
    }
    ~ReadTransaction() {
        sqlite3* db = m_connection->Db();
        if (sqlite3_get_autocommit(db))
            return;
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        if (!sqlite3_get_autocommit(db))
            m_connection.Discard();
    }
    ReadTransaction(const ReadTransaction&) = delete;
    ReadTransaction& operator=(const ReadTransaction&) = delete;

    void Commit() { Execute(m_connection->Db(), "COMMIT"); }

private:
    Lease& m_connection;
};

} // namespace

void SqliteCatalog::DatabaseCloser::operator()(sqlite3* db) const {
    sqlite3_close_v2(db);
}

SqliteCatalog::SqliteCatalog(const std::string& path, int connections) {
    if (!std::ifstream(path))
        throw CatalogError(path + ": cannot open the catalogue");
    if (IsSqliteFile(path)) {
        // A path as a URI: the characters URIs give a meaning escaped.
        m_uri = "file:";
        static const char hex[] = "0123456789ABCDEF";
        for (const char c : path) {
            const auto b = static_cast<unsigned char>(c);
            if (c == '?' || c == '#' || c == '%' || b < 0x21 || b >= 0x7F) {
                m_uri += '%';
                m_uri += hex[b >> 4];
                m_uri += hex[b & 15];
            } else {
                m_uri += c;
            }
        }
    } else {
        // A shared in-memory database: every connection of this process that opens the name
        // sees it, for as long as one of them is open.
        m_uri = "file:/sorvel-catalogue-" + std::to_string(++memoryCatalogues) + "?vfs=memdb";
        sqlite3* db = nullptr;
        const int rc =
            sqlite3_open_v2(m_uri.c_str(), &db,
                            SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_URI, nullptr);
        m_memory.reset(db);
        if (rc != SQLITE_OK)
            throw CatalogError("SQLite: cannot make an in-memory catalogue");
        RegisterTokenizer(db);
        Load(db, path);
    }
    m_pool = std::make_unique<ConnectionPool<Connection>>(
        connections, [uri = m_uri] { return std::make_unique<Connection>(uri); });
    Check();
}

SqliteCatalog::~SqliteCatalog() = default;

SearchPage SqliteCatalog::Search(const CatalogQuery& query) {
    const std::vector<SearchTerm> terms = KeywordTerms(query.keyword);
    if (terms.empty())
        return {};
    // The filters are part of the index query: an entry's facets hold a site key for its host and
    // each domain above it, which is exactly what the site filter takes, and the adult key when it
    // is adult.
    std::string facets;
    if (!query.site.empty())
        facets.append(" AND {facets} : ").append(Quoted(SiteKey(query.site)));
    if (!query.adult)
        facets.append(" NOT {facets} : ").append(Quoted(AdultKey()));
    const std::string expression = MatchExpression(terms);
    std::string titleQuery = "({title} : (";
    titleQuery.append(expression).append(")").append(facets).append(")");
    std::string textQuery = "({title description} : (";
    textQuery.append(expression).append(")").append(facets).append(")");
    PageCollector page(query);

    auto connection = m_pool->Acquire();
    ReadTransaction transaction(connection);
    Statement& scan = connection->ScanStatement();
    {
        // Every term in the title first.
        Use use(scan);
        scan.Bind(1, titleQuery);
        while (scan.Step()) {
            if (AllIn(terms, scan.Text(1)) && !page.Add(static_cast<int>(scan.Int(0))))
                break;
        }
    }
    if (!page.Full()) {
        Use use(scan);
        scan.Bind(1, textQuery);
        while (scan.Step()) {
            const std::string_view title = scan.Text(1);
            if (!AllIn(terms, title) && AllIn(terms, title, scan.Text(2)) &&
                !page.Add(static_cast<int>(scan.Int(0))))
                break;
        }
    }

    SearchPage result;
    result.total = page.Total();
    Statement& find = connection->FindStatement();
    for (const int id : page.PageIds()) {
        Use use(find);
        find.Bind(1, id);
        if (find.Step())
            result.entries.push_back(ReadEntry(find));
    }
    transaction.Commit();
    return result;
}

std::optional<CatalogEntry> SqliteCatalog::Find(int id) {
    auto connection = m_pool->Acquire();
    Statement& find = connection->FindStatement();
    Use use(find);
    find.Bind(1, id);
    if (!find.Step())
        return std::nullopt;
    return ReadEntry(find);
}

std::vector<CatalogEntry> SqliteCatalog::Newest(int count) {
    auto connection = m_pool->Acquire();
    Statement& newest = connection->NewestStatement();
    Use use(newest);
    newest.Bind(1, count);
    std::vector<CatalogEntry> entries;
    while (newest.Step())
        entries.push_back(ReadEntry(newest));
    return entries;
}

std::vector<CatalogSite> SqliteCatalog::Sites() {
    auto connection = m_pool->Acquire();
    Statement& sites = connection->SitesStatement();
    Use use(sites);
    std::vector<CatalogSite> result;
    while (sites.Step()) {
        result.push_back({std::string(sites.Text(0)), std::string(sites.Text(1)),
                          static_cast<int>(sites.Int(2)), static_cast<int>(sites.Int(3))});
    }
    return result;
}

void SqliteCatalog::Check() {
    if (!m_pool->Acquire()->HoldsCatalogue())
        throw CatalogError(m_uri + ": the catalogue is no longer one of this service");
}

std::size_t SqliteCatalog::Import(const std::string& tsvPath, const std::string& path) {
    if (std::ifstream(path) && !IsSqliteFile(path) && std::ifstream(path).peek() != EOF)
        throw CatalogError(path + ": is no SQLite file; the catalogue is not replaced");
    sqlite3* raw = nullptr;
    const int rc =
        sqlite3_open_v2(path.c_str(), &raw,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    std::unique_ptr<sqlite3, DatabaseCloser> db(raw);
    if (rc != SQLITE_OK)
        throw CatalogError(path + ": cannot open or make the catalogue: " +
                           (raw ? sqlite3_errmsg(raw) : "out of memory"));
    RegisterTokenizer(raw);
    sqlite3_busy_timeout(raw, 10000);
    // Services that read the file meanwhile keep the catalogue they have until the import ends.
    // The import's connection closes at the end, so its large page cache goes with it.
    Execute(raw, "PRAGMA journal_mode = WAL; PRAGMA cache_size = -262144");
    const std::size_t count = Load(raw, tsvPath);
    // At rest, a catalogue needs no write access to be read (as one installed read-only does);
    // while a service reads it, it stays in WAL mode.
    sqlite3_exec(raw, "PRAGMA journal_mode = DELETE", nullptr, nullptr, nullptr);
    return count;
}
