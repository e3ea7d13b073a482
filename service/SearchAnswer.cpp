#include "service/SearchAnswer.h"

#include "service/ServicePaths.h"
#include "service/Text.h"

#include <algorithm>

namespace {

std::string Value(const std::multimap<std::string, std::string>& params, const char* key) {
    const auto it = params.find(key);
    return it == params.end() ? std::string() : it->second;
}

// Lower case, without surrounding white space (the settings dialog's adult sites end in a tab)
// and without a leading "www.".
std::string NormaliseSite(std::string_view text) {
    std::string site = AsciiLower(TrimBlanks(text, " \t\r\n"));
    if (site.rfind("www.", 0) == 0)
        site.erase(0, 4);
    return site;
}

void Element(std::string& out, const char* name, const std::string& text) {
    out += '<';
    out += name;
    out += '>';
    out += text;
    out += "</";
    out += name;
    out += '>';
}

} // namespace

SearchParameters ReadSearchParameters(const std::multimap<std::string, std::string>& params) {
    SearchParameters p;
    p.keyword = Value(params, "query");
    int number = 0;
    if (ParseInt(Value(params, "results"), number) && number >= 1)
        p.results = std::min(number, SearchParameters::MaxResults);
    if (ParseInt(Value(params, "start"), number) && number >= 1)
        p.start = number;
    p.adult = Value(params, "adult_ok") == "1";
    p.site = NormaliseSite(Value(params, "site"));
    return p;
}

std::string BuildAnswer(int total, int start, const std::vector<CatalogEntry>& page,
                        const std::string& baseUrl) {
    // The program reads the total between 'totalResultsAvailable="' and
    // '" totalResultsReturned', so the two attributes stand in this order with one space
    // between them; it splits the answer at every "><" and takes the last <Url> of a Result as
    // the thumbnail, so the Thumbnail element comes after the video's own Url.
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><ResultSet totalResultsAvailable=\"";
    out += std::to_string(total);
    out += "\" totalResultsReturned=\"";
    out += std::to_string(page.size());
    out += "\" firstResultPosition=\"";
    out += std::to_string(start);
    out += "\">";
    for (const CatalogEntry& e : page) {
        const std::string video = EscapeXml(baseUrl + VideoPath(e.id));
        out += "<Result>";
        Element(out, "Title", EscapeXml(e.title));
        Element(out, "Summary", EscapeXml(e.description));
        Element(out, "Url", video);
        Element(out, "ClickUrl", video);
        Element(out, "RefererUrl", EscapeXml(baseUrl + WatchPath(e.id)));
        Element(out, "FileSize", std::to_string(e.size));
        Element(out, "Duration", std::to_string(e.duration));
        out += "<Thumbnail>";
        Element(out, "Url", EscapeXml(baseUrl + ThumbnailPath(e.id)));
        Element(out, "Height", std::to_string(ThumbnailHeight));
        Element(out, "Width", std::to_string(ThumbnailWidth));
        out += "</Thumbnail>";
        Element(out, "Copyright", EscapeXml(e.source));
        out += "</Result>";
    }
    out += "</ResultSet>";
    return out;
}
