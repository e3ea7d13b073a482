#pragma once

#include "service/Catalog.h"

#include <string>

// The service's web pages in Japanese, for the program's browser pane and the default browser.
// Each returns a whole HTML document; links are paths on the same host.

// "/files/sorvel/": the page the program opens at start (and with "?ret=1" from its top-page
// command): how to search, the sites of the catalogue, the newest videos.
std::string TopPage(const Catalog& catalog);

// "/info.php?pf=w&sn=NAME": the software information page of the program called NAME.
// Returns false (and a page saying so) for a name that is not ours.
bool InfoPage(const Catalog& catalog, const std::string& softwareName, std::string& html);

// "/": the maker's site.
std::string MakerPage();

// "/watch/ID": the page of one video.
std::string WatchPage(const CatalogEntry& entry);

std::string NotFoundPage(const std::string& path);

std::string ErrorPage(int status);

// "1時間2分3秒", "2分5秒", "0分9秒".
std::string JapaneseDuration(int seconds);
