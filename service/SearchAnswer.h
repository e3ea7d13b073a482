#pragma once

#include "service/Catalog.h"

#include <map>
#include <string>
#include <vector>

// The search request's keys as the service reads them. The program sends query, results, start,
// adult_ok, site, uniqueid and ver; a long keyword can cut the tail keys off, and a missing or
// unreadable value means the default.
struct SearchParameters {
    static constexpr int DefaultResults = 10;
    static constexpr int MaxResults = 50;

    std::string keyword;
    int results = DefaultResults; // 1 to MaxResults
    int start = 1;                // 1-based position of the first result
    bool adult = false;           // adult_ok "1" includes adult entries, anything else excludes
    std::string site;             // normalised host name, empty for all sites
};

// From the decoded query keys (httplib's Params).
SearchParameters ReadSearchParameters(const std::multimap<std::string, std::string>& params);

// The XML answer on one line: a ResultSet element with totalResultsAvailable,
// totalResultsReturned and firstResultPosition, then one Result element per entry. Every
// address starts with baseUrl ("http://host:port", or the service's public address).
std::string BuildAnswer(int total, int start, const std::vector<CatalogEntry>& page,
                        const std::string& baseUrl);
