#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

// The thumbnails as served: each drawn on its first request (RenderThumbnail) and kept, the
// least recently served going first when the kept pictures would take more than the bound.
// Safe from any thread; two first requests for one picture at once may both draw it.
class ThumbnailCache final {
public:
    explicit ThumbnailCache(std::size_t maxBytes);

    // The JPEG of the entry's thumbnail, small or large; throws ThumbnailError.
    std::shared_ptr<const std::string> Get(int id, bool large);

    // The entity tag of a thumbnail: a picture depends on its id and size alone.
    static std::string ETag(int id, bool large);

    // Whether an If-None-Match header names the tag (or is "*").
    static bool Matches(std::string_view ifNoneMatch, std::string_view tag);

private:
    using Key = std::uint64_t;
    struct Item {
        Key key;
        std::shared_ptr<const std::string> jpeg;
    };

    const std::size_t m_maxBytes;
    std::mutex m_mutex;
    std::list<Item> m_items; // most recently served first
    std::unordered_map<Key, std::list<Item>::iterator> m_byKey;
    std::size_t m_bytes = 0;
};
