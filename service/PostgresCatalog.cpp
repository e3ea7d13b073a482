#include "service/PostgresCatalog.h"

#include "service/Text.h"

#include <libpq-fe.h>

#include <array>

namespace {

const char* const SchemaVersion = "2";

// The columns of an entry, in the order ReadEntry takes them.
const char* const EntryColumns =
    "e.id, e.host, e.source, e.duration, e.size, e.adult, e.title, e.description";

struct ResultClearer {
    void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultClearer>;

struct ConnectionCloser {
    void operator()(PGconn* connection) const { PQfinish(connection); }
};
using Handle = std::unique_ptr<PGconn, ConnectionCloser>;

std::string ErrorText(PGconn* connection) {
    std::string text = PQerrorMessage(connection);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return "PostgreSQL: " + text;
}

Handle Connect(const std::string& uri) {
    Handle connection(PQconnectdb(uri.c_str()));
    if (!connection)
        throw CatalogError("PostgreSQL: out of memory");
    if (PQstatus(connection.get()) != CONNECTION_OK)
        throw CatalogError(ErrorText(connection.get()));
    PQsetClientEncoding(connection.get(), "UTF8");
    return connection;
}

// Runs one statement with text parameters; throws CatalogError when it fails.
Result Execute(PGconn* connection, const std::string& sql,
               const std::vector<std::string>& parameters = {}) {
    std::vector<const char*> values;
    for (const std::string& p : parameters)
        values.push_back(p.c_str());
    Result result(PQexecParams(connection, sql.c_str(), static_cast<int>(values.size()), nullptr,
                               values.data(), nullptr, nullptr, 0));
    const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && status != PGRES_COPY_IN)
        throw CatalogError(ErrorText(connection));
    return result;
}

std::string Text(const PGresult* result, int row, int column) {
    return std::string(PQgetvalue(result, row, column),
                       static_cast<std::size_t>(PQgetlength(result, row, column)));
}

int Int(const PGresult* result, int row, int column) {
    return std::atoi(PQgetvalue(result, row, column));
}

CatalogEntry ReadEntry(const PGresult* result, int row, int first) {
    CatalogEntry e;
    e.id = Int(result, row, first);
    e.host = Text(result, row, first + 1);
    e.source = Text(result, row, first + 2);
    e.duration = Int(result, row, first + 3);
    e.size = std::atoll(PQgetvalue(result, row, first + 4));
    e.adult = PQgetvalue(result, row, first + 5)[0] == 't';
    e.title = Text(result, row, first + 6);
    e.description = Text(result, row, first + 7);
    return e;
}

// A field of COPY's text format.
void AppendCopyField(std::string& line, std::string_view text) {
    for (const char c : text) {
        switch (c) {
        case '\\':
            line += "\\\\";
            break;
        case '\t':
            line += "\\t";
            break;
        case '\n':
            line += "\\n";
            break;
        case '\r':
            line += "\\r";
            break;
        default:
            line += c;
        }
    }
}

// An array literal of text elements: each in double quotes, its quotes and backslashes escaped.
std::string ArrayLiteral(const std::vector<std::string>& elements) {
    std::string literal = "{";
    for (const std::string& element : elements) {
        if (literal.size() > 1)
            literal += ',';
        literal += '"';
        for (const char c : element) {
            if (c == '"' || c == '\\')
                literal += '\\';
            literal += c;
        }
        literal += '"';
    }
    literal += '}';
    return literal;
}

// A LIKE pattern that finds the text anywhere.
std::string ContainsPattern(std::string_view text) {
    std::string pattern = "%";
    for (const char c : text) {
        if (c == '%' || c == '_' || c == '\\')
            pattern += '\\';
        pattern += c;
    }
    pattern += '%';
    return pattern;
}

// Reads the results of a command that are left, so that the connection takes the next one.
void Drain(PGconn* connection) {
    while (PGresult* result = PQgetResult(connection))
        PQclear(result);
}

void SendCopyLine(PGconn* connection, const std::string& line) {
    if (PQputCopyData(connection, line.data(), static_cast<int>(line.size())) != 1)
        throw CatalogError(ErrorText(connection));
}

} // namespace

// One connection to the database.
class PostgresCatalog::Connection final {
public:
    explicit Connection(const std::string& uri)
        : m_handle(Connect(uri)) {
        // A search reads a few thousand rows at most: starting parallel workers for it costs
        // more than it saves, and takes processors from the other requests.
        Execute(m_handle.get(), "SET max_parallel_workers_per_gather = 0");
    }
    PGconn* Get() const { return m_handle.get(); }
    bool Broken() const { return PQstatus(m_handle.get()) != CONNECTION_OK; }
    // Fit for the next query: not broken, and in no transaction.
    bool Reusable() const {
        return !Broken() && PQtransactionStatus(m_handle.get()) == PQTRANS_IDLE;
    }

private:
    Handle m_handle;
};

PostgresCatalog::PostgresCatalog(const std::string& uri, int connections)
    : m_pool(std::make_unique<ConnectionPool<Connection>>(
          connections, [uri] { return std::make_unique<Connection>(uri); })) {
    Check();
}

PostgresCatalog::~PostgresCatalog() = default;

namespace {

// Runs the query on a connection of the pool; a connection that broke (the server restarted) is
// dropped and the query tried once more on a new one. A connection that a failed query left in a
// transaction is dropped too, never pooled.
template <typename Pool, typename Query> auto WithConnection(Pool& pool, Query query) {
    for (int attempt = 0;; ++attempt) {
        auto connection = pool.Acquire();
        try {
            return query(connection->Get());
        } catch (const CatalogError&) {
            const bool broken = connection->Broken();
            if (!connection->Reusable())
                connection.Discard();
            if (!broken || attempt > 0)
                throw;
        } catch (...) {
            if (!connection->Reusable())
                connection.Discard();
            throw;
        }
    }
}

// One snapshot of the catalogue for the statements of a search, so that an import that commits
// meanwhile is not seen half-way. A transaction left open (a statement failed) is rolled back
// when it goes.
class ReadTransaction final {
public:
    explicit ReadTransaction(PGconn* connection)
        : m_connection(connection) {
        Execute(m_connection, "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
    }
    ~ReadTransaction() {
        if (PQtransactionStatus(m_connection) != PQTRANS_IDLE)
            PQclear(PQexec(m_connection, "ROLLBACK"));
    }
    ReadTransaction(const ReadTransaction&) = delete;
    ReadTransaction& operator=(const ReadTransaction&) = delete;

    void Commit() { Execute(m_connection, "COMMIT"); }

private:
    PGconn* m_connection;
};

} // namespace

SearchPage PostgresCatalog::Search(const CatalogQuery& query) {
    const std::vector<SearchTerm> terms = KeywordTerms(query.keyword);
    if (terms.empty())
        return {};

    std::vector<std::string> parameters;
    const auto parameter = [&](std::string value) {
        parameters.push_back(std::move(value));
        return std::string("$").append(std::to_string(parameters.size()));
    };
    // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) about
    // "literal" + std::string.
    std::string where;
    std::string inTitle;
    std::string keys; // the short terms, and the site: found in one GIN index scan
    const auto addKey = [&](std::string key) {
        keys.append(keys.empty() ? "" : ", ").append(parameter(std::move(key)));
    };
    for (const SearchTerm& term : terms) {
        const std::string text = parameter(term.text);
        if (!inTitle.empty())
            inTitle += " AND ";
        inTitle.append("strpos(title_folded, ").append(text).append(") > 0");
        if (term.length <= 2) {
            addKey(term.text);
            continue;
        }
        if (!where.empty())
            where += " AND ";
        where.append("body_folded LIKE ").append(parameter(ContainsPattern(term.text)));
    }
    if (!query.site.empty())
        addKey(SiteKey(query.site));
    if (!keys.empty()) {
        if (!where.empty())
            where += " AND ";
        where.append("index_keys @> ARRAY[").append(keys).append("]::text[]");
    }
    // The site key is the whole site filter: an entry's keys hold one for its host and each domain
    // above it. No key says adult.
    if (!query.adult)
        where += " AND NOT adult";
    // The two groups one after the other, each in id order up to what is left to count: a
    // frequent term is then read along the primary key until enough are found, a rare one
    // through the GIN indexes.
    const std::string limit = std::to_string(parameters.size() + 1);
    std::string titleSql = "SELECT id FROM sorvel.entries WHERE ";
    titleSql.append(where).append(" AND ").append(inTitle);
    titleSql.append(" ORDER BY id LIMIT $").append(limit).append("::bigint");
    std::string restSql = "SELECT id FROM sorvel.entries WHERE ";
    restSql.append(where).append(" AND NOT (").append(inTitle).append(")");
    restSql.append(" ORDER BY id LIMIT $").append(limit).append("::bigint");

    return WithConnection(*m_pool, [&](PGconn* connection) {
        ReadTransaction transaction(connection);
        PageCollector collector(query);
        for (const std::string* sql : {&titleSql, &restSql}) {
            std::vector<std::string> values = parameters;
            values.push_back(std::to_string(SearchPage::CountLimit - collector.Total()));
            const Result ids = Execute(connection, *sql, values);
            for (int row = 0; row < PQntuples(ids.get()); ++row)
                collector.Add(Int(ids.get(), row, 0));
            if (collector.Full())
                break;
        }
        SearchPage page;
        page.total = collector.Total();
        if (collector.PageIds().empty()) {
            transaction.Commit();
            return page;
        }
        std::string list = "{";
        for (const int id : collector.PageIds()) {
            if (list.size() > 1)
                list += ',';
            list += std::to_string(id);
        }
        list += '}';
        const Result rows = Execute(connection,
                                    std::string("SELECT ") + EntryColumns +
                                        " FROM sorvel.entries e WHERE id = ANY($1::int[])",
                                    {list});
        for (const int id : collector.PageIds()) {
            for (int row = 0; row < PQntuples(rows.get()); ++row) {
                if (Int(rows.get(), row, 0) == id)
                    page.entries.push_back(ReadEntry(rows.get(), row, 0));
            }
        }
        transaction.Commit();
        return page;
    });
}

std::optional<CatalogEntry> PostgresCatalog::Find(int id) {
    return WithConnection(*m_pool, [&](PGconn* connection) -> std::optional<CatalogEntry> {
        const Result result =
            Execute(connection,
                    std::string("SELECT ") + EntryColumns + " FROM sorvel.entries e WHERE id = $1",
                    {std::to_string(id)});
        if (PQntuples(result.get()) == 0)
            return std::nullopt;
        return ReadEntry(result.get(), 0, 0);
    });
}

std::vector<CatalogEntry> PostgresCatalog::Newest(int count) {
    return WithConnection(*m_pool, [&](PGconn* connection) {
        const Result result = Execute(connection,
                                      std::string("SELECT ") + EntryColumns +
                                          " FROM sorvel.entries e WHERE NOT adult"
                                          " ORDER BY id DESC LIMIT $1::bigint",
                                      {std::to_string(count)});
        std::vector<CatalogEntry> entries;
        for (int row = 0; row < PQntuples(result.get()); ++row)
            entries.push_back(ReadEntry(result.get(), row, 0));
        return entries;
    });
}

std::vector<CatalogSite> PostgresCatalog::Sites() {
    return WithConnection(*m_pool, [&](PGconn* connection) {
        const Result result = Execute(
            connection, "SELECT host, source, count, adult FROM sorvel.sites ORDER BY host");
        std::vector<CatalogSite> sites;
        for (int row = 0; row < PQntuples(result.get()); ++row) {
            sites.push_back({Text(result.get(), row, 0), Text(result.get(), row, 1),
                             Int(result.get(), row, 2), Int(result.get(), row, 3)});
        }
        return sites;
    });
}

void PostgresCatalog::Check() {
    WithConnection(*m_pool, [&](PGconn* connection) {
        try {
            const Result result =
                Execute(connection, "SELECT value FROM sorvel.info WHERE key = 'schema'");
            if (PQntuples(result.get()) == 1 && Text(result.get(), 0, 0) == SchemaVersion)
                return 0;
        } catch (const CatalogError&) {
            if (PQstatus(connection) != CONNECTION_OK)
                throw;
        }
        throw CatalogError("PostgreSQL: the database holds no catalogue of this service (make "
                           "one with sorvel-service import FILE.tsv --catalog postgresql://…)");
    });
}

std::size_t PostgresCatalog::Import(const std::string& tsvPath, const std::string& uri) {
    const Handle handle = Connect(uri);
    PGconn* connection = handle.get();
    Execute(connection, "SET client_min_messages = warning");
    Execute(connection, "BEGIN");
    std::size_t count = 0;
    try {
        Execute(connection, "SET LOCAL maintenance_work_mem = '512MB'");
        Execute(connection, "CREATE EXTENSION IF NOT EXISTS pg_trgm");
        // The new catalogue is made beside the old one and takes its name at the end.
        Execute(connection, "DROP SCHEMA IF EXISTS sorvel_import CASCADE");
        Execute(connection, "CREATE SCHEMA sorvel_import");
        Execute(connection,
                "CREATE TABLE sorvel_import.info(key text PRIMARY KEY, value text NOT NULL)");
        Execute(connection, "CREATE TABLE sorvel_import.sites(host text PRIMARY KEY,"
                            " source text NOT NULL, count integer NOT NULL,"
                            " adult integer NOT NULL)");
        Execute(connection,
                "CREATE TABLE sorvel_import.entries(id integer PRIMARY KEY, adult boolean NOT NULL,"
                " host text NOT NULL, title_folded text NOT NULL,"
                " description_folded text NOT NULL, body_folded text NOT NULL,"
                " index_keys text[] NOT NULL, source text NOT NULL, duration integer NOT NULL,"
                " size bigint NOT NULL, title text NOT NULL, description text NOT NULL)");
        Execute(connection, "COPY sorvel_import.entries(id, adult, host, title_folded,"
                            " description_folded, body_folded, index_keys, source, duration,"
                            " size, title, description) FROM STDIN");
        SiteCounter sites;
        try {
            std::string line;
            ReadCatalogFile(tsvPath, [&](CatalogEntry&& e) {
                const std::string title = FoldForSearch(e.title);
                const std::string description = FoldForSearch(e.description);
                // The one- and two-code-point pieces, and the site keys.
                std::vector<std::string> keys = Grams(title, 2);
                for (std::string& gram : Grams(description, 2))
                    keys.push_back(std::move(gram));
                for (std::string& key : SiteKeys(e.host))
                    keys.push_back(std::move(key));
                line = std::to_string(e.id);
                line += e.adult ? "\tt\t" : "\tf\t";
                const std::string body = title + "\n" + description;
                const std::array<std::string_view, 4> texts = {e.host, title, description, body};
                for (const std::string_view text : texts) {
                    AppendCopyField(line, text);
                    line += '\t';
                }
                AppendCopyField(line, ArrayLiteral(keys));
                line += '\t';
                AppendCopyField(line, e.source);
                line += '\t' + std::to_string(e.duration) + '\t' + std::to_string(e.size) + '\t';
                AppendCopyField(line, e.title);
                line += '\t';
                AppendCopyField(line, e.description);
                line += '\n';
                SendCopyLine(connection, line);
                sites.Add(e);
                ++count;
            });
        } catch (const CatalogError& e) {
            PQputCopyEnd(connection, e.what());
            Drain(connection);
            throw;
        }
        if (PQputCopyEnd(connection, nullptr) != 1)
            throw CatalogError(ErrorText(connection));
        const Result copied(PQgetResult(connection));
        if (PQresultStatus(copied.get()) != PGRES_COMMAND_OK)
            throw CatalogError(ErrorText(connection));
        Drain(connection);
        for (const CatalogSite& site : sites.Sites()) {
            Execute(
                connection, "INSERT INTO sorvel_import.sites VALUES ($1, $2, $3, $4)",
                {site.host, site.source, std::to_string(site.count), std::to_string(site.adult)});
        }
        Execute(connection, "INSERT INTO sorvel_import.info VALUES ('schema', $1)",
                {SchemaVersion});
        Execute(connection, "CREATE INDEX ON sorvel_import.entries"
                            " USING gin (body_folded gin_trgm_ops)");
        Execute(connection, "CREATE INDEX ON sorvel_import.entries USING gin (index_keys)");
        Execute(connection, "ANALYZE sorvel_import.entries");
        Execute(connection, "DROP SCHEMA IF EXISTS sorvel CASCADE");
        Execute(connection, "ALTER SCHEMA sorvel_import RENAME TO sorvel");
        Execute(connection, "COMMIT");
    } catch (...) {
        const Result rolledBack(PQexec(connection, "ROLLBACK"));
        throw;
    }
    return count;
}
