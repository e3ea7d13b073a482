#include "service/Catalog.h"

#include "service/PostgresCatalog.h"
#include "service/SqliteCatalog.h"
#include "service/Text.h"

#include <fstream>
#include <unordered_set>

namespace {

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

} // namespace

void ReadCatalogFile(const std::string& path, const std::function<void(CatalogEntry&&)>& add) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw CatalogError(path + ": cannot open the catalogue");
    std::string line;
    int lineNumber = 0;
    std::unordered_set<int> ids;
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
        if (!ids.insert(entry.id).second)
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
        add(std::move(entry));
    }
    if (in.bad())
        throw CatalogError(path + ": cannot read the catalogue");
    if (!header)
        throw CatalogError(path + ": the catalogue has no header line");
}

void SiteCounter::Add(const CatalogEntry& entry) {
    CatalogSite& site = m_sites[entry.host];
    site.host = entry.host;
    site.source = entry.source;
    ++site.count;
    site.adult += entry.adult ? 1 : 0;
}

std::vector<CatalogSite> SiteCounter::Sites() const {
    std::vector<CatalogSite> sites;
    sites.reserve(m_sites.size());
    for (const auto& [host, site] : m_sites)
        sites.push_back(site);
    return sites;
}

long long EntryCount(const std::vector<CatalogSite>& sites) {
    long long count = 0;
    for (const CatalogSite& site : sites)
        count += site.count;
    return count;
}

bool IsPostgresLocation(const std::string& location) {
    return location.rfind("postgresql://", 0) == 0 || location.rfind("postgres://", 0) == 0;
}

std::unique_ptr<Catalog> OpenCatalog(const std::string& location, int connections) {
    if (IsPostgresLocation(location))
        return std::make_unique<PostgresCatalog>(location, connections);
    return std::make_unique<SqliteCatalog>(location, connections);
}

std::size_t ImportCatalog(const std::string& tsvPath, const std::string& location) {
    if (IsPostgresLocation(location))
        return PostgresCatalog::Import(tsvPath, location);
    return SqliteCatalog::Import(tsvPath, location);
}
