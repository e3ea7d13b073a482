#pragma once

#include <string>

// The paths the service answers on. The answer and the pages name them as absolute addresses on
// the host and port the request came in on (or the service's public address).
inline const char* const SearchPath = "/files/sorvel/api_yahoo.php";
inline const char* const TopPagePath = "/files/sorvel/";
inline const char* const InfoPagePath = "/info.php";

inline std::string WatchPath(int id) {
    return "/watch/" + std::to_string(id);
}
inline std::string VideoPath(int id) {
    return "/videos/" + std::to_string(id);
}
inline std::string ThumbnailPath(int id) {
    return "/thumbs/" + std::to_string(id) + ".jpg";
}
inline std::string LargeThumbnailPath(int id) {
    return "/thumbs/" + std::to_string(id) + "-large.jpg";
}

inline constexpr int ThumbnailWidth = 160;
inline constexpr int ThumbnailHeight = 120;
inline constexpr int LargeThumbnailWidth = 480;
inline constexpr int LargeThumbnailHeight = 360;
