#pragma once

#include "service/Catalog.h"
#include "service/CatalogSearch.h"

#include <cstddef>
#include <memory>
#include <string>

struct sqlite3;

// The catalogue in SQLite: the entries, and an FTS5 index (our own tokenizer) of every one-, two-
// and three-code-point piece of the folded title and description, which finds a term of any
// length and gives its entries in id order, so that a page reads only the matches before it and
// the count. Each reader is a read-only connection of its own (the file may be in WAL mode while
// an import refreshes it). A tab-separated text file is imported into an in-memory database that
// lives as long as the catalogue.
class SqliteCatalog final : public Catalog {
public:
    SqliteCatalog(const std::string& path, int connections);
    ~SqliteCatalog() override;
    SqliteCatalog(const SqliteCatalog&) = delete;
    SqliteCatalog& operator=(const SqliteCatalog&) = delete;

    SearchPage Search(const CatalogQuery& query) override;
    std::optional<CatalogEntry> Find(int id) override;
    std::vector<CatalogEntry> Newest(int count) override;
    std::vector<CatalogSite> Sites() override;
    void Check() override;

    // Loads the file into the SQLite catalogue at path (made when missing) in one transaction.
    static std::size_t Import(const std::string& tsvPath, const std::string& path);

    class Connection;

private:
    struct DatabaseCloser {
        void operator()(sqlite3* db) const;
    };

    std::string m_uri;
    std::unique_ptr<sqlite3, DatabaseCloser> m_memory; // holds an in-memory catalogue alive
    std::unique_ptr<ConnectionPool<Connection>> m_pool;
};
