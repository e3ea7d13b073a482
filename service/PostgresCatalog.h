#pragma once

#include "service/Catalog.h"
#include "service/CatalogSearch.h"

#include <cstddef>
#include <memory>
#include <string>

// The catalogue in a PostgreSQL database, which any number of services can share: the tables of
// the schema "sorvel", with pg_trgm's GIN index over the folded texts for terms of three code
// points and more, and a GIN index over each entry's one- and two-code-point pieces (for the
// shorter ones) and site keys. The texts are folded here, in the service, so that the answers are
// those of the SQLite catalogue. Each reader is a connection of its own; one that breaks is opened
// anew.
class PostgresCatalog final : public Catalog {
public:
    PostgresCatalog(const std::string& uri, int connections);
    ~PostgresCatalog() override;
    PostgresCatalog(const PostgresCatalog&) = delete;
    PostgresCatalog& operator=(const PostgresCatalog&) = delete;

    SearchPage Search(const CatalogQuery& query) override;
    std::optional<CatalogEntry> Find(int id) override;
    std::vector<CatalogEntry> Newest(int count) override;
    std::vector<CatalogSite> Sites() override;
    void Check() override;

    // Loads the file into the database in one transaction: the new tables replace the old ones
    // when the whole file has been read, and services reading meanwhile keep the old ones.
    static std::size_t Import(const std::string& tsvPath, const std::string& uri);

    class Connection;

private:
    std::unique_ptr<ConnectionPool<Connection>> m_pool;
};
