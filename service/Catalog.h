#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

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
    int start = 1;       // 1-based position of the first entry of the page
    int results = 10;    // the most entries on the page
};

// A page of matches, and how many there are (counted up to CountLimit).
struct SearchPage {
    // Matches are counted no further: the program shows at most 900 results and says "more"
    // beyond that, so an exact count past this would only cost time. A total of CountLimit means
    // "at least that many", and the positions beyond it are never served.
    static constexpr int CountLimit = 1000;

    int total = 0;
    std::vector<CatalogEntry> entries;
};

// A source site of the catalogue, for the top page.
struct CatalogSite {
    std::string host;
    std::string source; // as the last of its entries in the catalogue file writes it
    int count = 0;
    int adult = 0; // how many of them are adult
};

// The number of entries of the catalogue, from its sites.
long long EntryCount(const std::vector<CatalogSite>& sites);

class CatalogError final : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The video catalogue the service answers from: a SQLite file (or a tab-separated text file read
// into memory at start) or a PostgreSQL database. Every back end folds text the same way
// (FoldForSearch) and answers a search the same way:
// - an entry matches when each term of the keyword is in its title or its description, and it
//   passes the adult and site filters; an empty keyword matches nothing;
// - the entries with every term in the title come first, then the others, by id within each;
// - the total counts the matches up to SearchPage::CountLimit.
// Every call is safe from any thread; each runs on a connection of its own and reads one state of
// the catalogue (an import that commits meanwhile is seen whole or not at all), and at most
// `connections` (given when opened) run at once.
class Catalog {
public:
    virtual ~Catalog() = default;

    virtual SearchPage Search(const CatalogQuery& query) = 0;
    virtual std::optional<CatalogEntry> Find(int id) = 0;
    // The newest entries that are not adult, newest first.
    virtual std::vector<CatalogEntry> Newest(int count) = 0;
    // Every site, by host name.
    virtual std::vector<CatalogSite> Sites() = 0;
    // Throws CatalogError when the catalogue cannot be read.
    virtual void Check() = 0;
};

// "postgresql://…" or "postgres://…" (a libpq connection URI), else a file: a SQLite catalogue,
// or a tab-separated text file that is read into an in-memory catalogue. Throws CatalogError.
std::unique_ptr<Catalog> OpenCatalog(const std::string& location, int connections);

bool IsPostgresLocation(const std::string& location);

// Reads the tab-separated catalogue file and loads it into the catalogue at `location` (a SQLite
// file, made when missing, or a PostgreSQL database) in one transaction: a file that cannot be
// read whole leaves the catalogue as it was. Returns the number of entries; throws CatalogError
// naming the file and line.
std::size_t ImportCatalog(const std::string& tsvPath, const std::string& location);

// The catalogue file: reads every entry and hands it to `add`, in the file's order. Throws
// CatalogError naming the file and line of the first fault.
void ReadCatalogFile(const std::string& path, const std::function<void(CatalogEntry&&)>& add);

// The number of entries of every site, and the source the last of them writes, as entries are
// added.
class SiteCounter final {
public:
    void Add(const CatalogEntry& entry);
    // By host name.
    std::vector<CatalogSite> Sites() const;

private:
    std::map<std::string, CatalogSite> m_sites; // by host
};
