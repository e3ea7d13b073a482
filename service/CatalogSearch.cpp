#include "service/CatalogSearch.h"

#include "service/Text.h"

#include <algorithm>

std::vector<SearchTerm> KeywordTerms(const std::string& keyword) {
    std::vector<SearchTerm> terms;
    for (std::string& text : SplitTerms(FoldForSearch(keyword))) {
        const bool seen = std::any_of(terms.begin(), terms.end(),
                                      [&](const SearchTerm& term) { return term.text == text; });
        if (!seen) {
            const std::size_t length = CodePointCount(text);
            terms.push_back({std::move(text), length});
        }
    }
    return terms;
}

bool AllIn(const std::vector<SearchTerm>& terms, std::string_view folded) {
    return std::all_of(terms.begin(), terms.end(), [&](const SearchTerm& term) {
        return folded.find(term.text) != std::string_view::npos;
    });
}

bool AllIn(const std::vector<SearchTerm>& terms, std::string_view title,
           std::string_view description) {
    return std::all_of(terms.begin(), terms.end(), [&](const SearchTerm& term) {
        return title.find(term.text) != std::string_view::npos ||
               description.find(term.text) != std::string_view::npos;
    });
}

namespace {

std::string Key(std::string_view name) {
    std::string key(1, KeyMark);
    key += name;
    return key;
}

} // namespace

std::string SiteKey(std::string_view domain) {
    return Key(std::string("site:").append(domain));
}

std::string AdultKey() {
    return Key("adult");
}

std::vector<std::string> SiteKeys(std::string_view host) {
    std::vector<std::string> keys;
    for (std::size_t from = 0; from != std::string_view::npos;) {
        keys.push_back(SiteKey(host.substr(from)));
        const std::size_t dot = host.find('.', from);
        from = dot == std::string_view::npos ? dot : dot + 1;
    }
    return keys;
}

PageCollector::PageCollector(const CatalogQuery& query)
    : m_first(std::max(query.start, 1))
    , m_last(m_first + std::max(query.results, 0) - 1) {}

bool PageCollector::Add(int id) {
    if (Full())
        return false;
    ++m_total;
    if (m_total >= m_first && m_total <= m_last)
        m_ids.push_back(id);
    return !Full();
}
