#pragma once

#include "service/Catalog.h"

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// What every catalogue back end shares to answer a search the same way.

// One term of a keyword, folded.
struct SearchTerm {
    std::string text;
    std::size_t length = 0; // code points
};

// The distinct terms of the keyword, folded (FoldForSearch) and split at spaces and tabs.
std::vector<SearchTerm> KeywordTerms(const std::string& keyword);

// Whether every term is in the folded text.
bool AllIn(const std::vector<SearchTerm>& terms, std::string_view folded);

// Whether every term is in one of the two folded texts.
bool AllIn(const std::vector<SearchTerm>& terms, std::string_view title,
           std::string_view description);

// Index keys for the filters, beside the pieces of text: each begins with KeyMark, a control
// character, which no folded text holds, so that no term can be one.
inline constexpr char KeyMark = '\x01';
std::string SiteKey(std::string_view domain);
std::string AdultKey();
// The site keys of a host: the host and every domain above it ("video.yahoo.com",
// "yahoo.com", "com"), since a site filter takes a host and its subdomains.
std::vector<std::string> SiteKeys(std::string_view host);

// Collects the positions of a page while the matches are counted up to SearchPage::CountLimit.
class PageCollector final {
public:
    explicit PageCollector(const CatalogQuery& query);
    // Counts the next match in answer order; false once the count has reached the limit.
    bool Add(int id);
    bool Full() const { return m_total >= SearchPage::CountLimit; }
    int Total() const { return m_total; }
    const std::vector<int>& PageIds() const { return m_ids; }

private:
    long long m_first;
    long long m_last;
    int m_total = 0;
    std::vector<int> m_ids;
};

// Connections to a catalogue, made when first needed and kept: each call takes one of its own,
// and waits while the most there may be are all taken.
template <typename Connection> class ConnectionPool final {
public:
    using Factory = std::function<std::unique_ptr<Connection>()>;

    ConnectionPool(int most, Factory factory)
        : m_most(most < 1 ? 1 : most)
        , m_factory(std::move(factory)) {}

    // A connection for the lease's lifetime; one that failed is dropped (Discard) instead of
    // coming back.
    class Lease final {
    public:
        Lease(ConnectionPool& pool, std::unique_ptr<Connection> connection)
            : m_pool(pool)
            , m_connection(std::move(connection)) {}
        ~Lease() { m_pool.Return(std::move(m_connection)); }
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;

        Connection& operator*() const { return *m_connection; }
        Connection* operator->() const { return m_connection.get(); }
        void Discard() { m_connection.reset(); }

    private:
        ConnectionPool& m_pool;
        std::unique_ptr<Connection> m_connection;
    };

    Lease Acquire() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_idle.empty() || m_open < m_most; });
        if (!m_idle.empty()) {
            std::unique_ptr<Connection> connection = std::move(m_idle.back());
            m_idle.pop_back();
            return Lease(*this, std::move(connection));
        }
        ++m_open;
        lock.unlock();
        try {
            return Lease(*this, m_factory());
        } catch (...) {
            lock.lock();
            --m_open;
            m_changed.notify_one();
            throw;
        }
    }

private:
    void Return(std::unique_ptr<Connection> connection) {
        {
            const std::lock_guard lock(m_mutex);
            if (connection)
                m_idle.push_back(std::move(connection));
            else
                --m_open;
        }
        m_changed.notify_one();
    }

    const int m_most;
    const Factory m_factory;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::unique_ptr<Connection>> m_idle;
    int m_open = 0;
};
