#pragma once

#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

struct sqlite3;

// One video of the catalogue.
struct CatalogEntry {
    int id = 0;
    std::string host; // the source site's host name, lower case
    std::string source; // the source site's name as the site writes it ("Youtube", "ニコニコ動画")
    int duration = 0;   // whole seconds
    long long size = 0; // bytes
    bool adult = false;
    std::string title;
    std::string description;
};

struct CatalogQuery {
    std::string keyword; // UTF-8, as the program sends it; terms separated by spaces
    bool adult = false;  // include adult entries
    std::string site;    // a host name: only entries from that host or its subdomains; empty: all
};

class CatalogError final : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The video catalogue: read from a tab-separated text file into memory and an in-memory SQLite
// database with a full-text index (FTS5, trigram tokenizer) over titles and descriptions.
// Search is safe from several threads.
class Catalog final {
public:
    // Reads the file; throws CatalogError naming the file and line when it cannot.
    explicit Catalog(const std::string& path);
    ~Catalog();
    Catalog(const Catalog&) = delete;
    Catalog& operator=(const Catalog&) = delete;

    // Every entry that matches all terms of the keyword (in its title or its description) and
    // the filters: the entries with more terms in the title first, then by id. An empty keyword
    // matches nothing.
    std::vector<const CatalogEntry*> Search(const CatalogQuery& query) const;

    const CatalogEntry* Find(int id) const;
    const std::vector<CatalogEntry>& Entries() const { return m_entries; }

private:
    void Load(const std::string& path);
    void Index();

    struct DatabaseCloser {
        void operator()(sqlite3* db) const;
    };
    std::unique_ptr<sqlite3, DatabaseCloser> m_db;
    mutable std::mutex m_mutex;
    std::vector<CatalogEntry> m_entries;
    std::unordered_map<int, std::size_t> m_byId;
};
