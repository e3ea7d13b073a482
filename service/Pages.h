#pragma once

#include "service/Catalog.h"

#include <string>
#include <vector>

// The service's web pages in Japanese, for the program's browser pane and the default browser.
// Each returns a whole HTML document; every link is an absolute address that starts with base
// ("http://host:port", or the public address the service is reached at).

// "/files/sorvel/": the page the program opens at start (and with "?ret=1" from its top-page
// command): how to search, the sites of the catalogue, the newest videos (not adult).
std::string TopPage(const std::vector<CatalogSite>& sites, const std::vector<CatalogEntry>& newest,
                    const std::string& base);

// "/info.php?pf=w&sn=NAME": the software information page of the program called NAME.
// Returns false (and a page saying so) for a name that is not ours.
bool InfoPage(long long entryCount, const std::string& softwareName, std::string& html,
              const std::string& base);

// "/": the maker's site.
std::string MakerPage(const std::string& base);

// "/watch/ID": the page of one video.
std::string WatchPage(const CatalogEntry& entry, const std::string& base);

std::string NotFoundPage(const std::string& path, const std::string& base);

std::string ErrorPage(int status, const std::string& base);

// "1時間2分3秒", "2分5秒", "0分9秒".
std::string JapaneseDuration(int seconds);
