#include "service/ThumbnailCache.h"

#include "service/ServicePaths.h"
#include "service/Text.h"
#include "service/Thumbnail.h"

namespace {

// Changes whenever the drawing does, so that no cache keeps an old picture under a new tag.
const char* const DrawingVersion = "1";

} // namespace

ThumbnailCache::ThumbnailCache(std::size_t maxBytes)
    : m_maxBytes(maxBytes) {}

std::shared_ptr<const std::string> ThumbnailCache::Get(int id, bool large) {
    const Key key = (static_cast<Key>(static_cast<std::uint32_t>(id)) << 1) | (large ? 1 : 0);
    {
        const std::lock_guard lock(m_mutex);
        const auto found = m_byKey.find(key);
        if (found != m_byKey.end()) {
            m_items.splice(m_items.begin(), m_items, found->second);
            return found->second->jpeg;
        }
    }
    auto jpeg = std::make_shared<const std::string>(
        RenderThumbnail(id, large ? LargeThumbnailWidth : ThumbnailWidth,
                        large ? LargeThumbnailHeight : ThumbnailHeight));
    const std::lock_guard lock(m_mutex);
    if (m_byKey.count(key) || jpeg->size() > m_maxBytes)
        return jpeg;
    m_items.push_front({key, jpeg});
    m_byKey.emplace(key, m_items.begin());
    m_bytes += jpeg->size();
    while (m_bytes > m_maxBytes) {
        m_bytes -= m_items.back().jpeg->size();
        m_byKey.erase(m_items.back().key);
        m_items.pop_back();
    }
    return jpeg;
}

std::string ThumbnailCache::ETag(int id, bool large) {
    std::string tag = "\"thumb-";
    tag += DrawingVersion;
    tag += '-';
    tag += std::to_string(id);
    tag += large ? "-large\"" : "\"";
    return tag;
}

bool ThumbnailCache::Matches(std::string_view ifNoneMatch, std::string_view tag) {
    while (!ifNoneMatch.empty()) {
        const std::size_t comma = ifNoneMatch.find(',');
        std::string_view candidate = TrimBlanks(ifNoneMatch.substr(0, comma));
        if (candidate == "*")
            return true;
        // A weak tag names the same picture here: the bytes never differ for one tag.
        if (candidate.substr(0, 2) == "W/")
            candidate.remove_prefix(2);
        if (candidate == tag)
            return true;
        if (comma == std::string_view::npos)
            break;
        ifNoneMatch.remove_prefix(comma + 1);
    }
    return false;
}
