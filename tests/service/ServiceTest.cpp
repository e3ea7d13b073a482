// The bundled search service, started as its real executable on a free loopback port and asked
// over HTTP/1.0 the way Sorvel Browser asks it.

#include "ServiceProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csetjmp>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <jpeglib.h>

namespace {

struct Picture {
    int width = 0, height = 0;
    bool ok = false;
};

struct JpegError {
    jpeg_error_mgr base;
    jmp_buf jump;
};

Picture DecodeJpeg(const std::string& bytes) {
    Picture picture;
    jpeg_decompress_struct info;
    JpegError error;
    info.err = jpeg_std_error(&error.base);
    error.base.error_exit = [](j_common_ptr i) {
        longjmp(reinterpret_cast<JpegError*>(i->err)->jump, 1);
    };
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        return Picture{};
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    jpeg_start_decompress(&info);
    std::vector<unsigned char> row(static_cast<std::size_t>(info.output_width) *
                                   info.output_components);
    JSAMPROW rows[] = {row.data()};
    while (info.output_scanline < info.output_height)
        jpeg_read_scanlines(&info, rows, 1);
    picture.width = static_cast<int>(info.output_width);
    picture.height = static_cast<int>(info.output_height);
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    picture.ok = true;
    return picture;
}

class ServiceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_service = std::make_unique<ServiceProcess>(
            std::vector<std::string>{"--port", "0", "--catalog", SORVEL_SERVICE_TEST_CATALOG});
        ASSERT_GT(s_service->Port(), 0) << s_service->Stderr();
    }
    static void TearDownTestSuite() { s_service.reset(); }

    static int Port() { return s_service->Port(); }
    static std::string Base() { return "http://127.0.0.1:" + std::to_string(Port()); }
    static HttpResponse Get(const std::string& target) { return HttpGet(Port(), target); }
    static ProgramView Ask(const std::string& target) {
        const HttpResponse response = Get(target);
        EXPECT_EQ(response.status, 200) << target;
        EXPECT_EQ(response.headers.count("content-type") ? response.headers.at("content-type") : "",
                  "text/xml; charset=utf-8");
        return ReadAsProgram(response.body);
    }

    static std::unique_ptr<ServiceProcess> s_service;
};

std::unique_ptr<ServiceProcess> ServiceTest::s_service;

TEST_F(ServiceTest, KnownQueryGivesTotalOrderAddressesAndEscaping) {
    const HttpResponse response = Get(SearchTarget("kitten"));
    ASSERT_EQ(response.status, 200);
    const std::string& xml = response.body;
    EXPECT_EQ(xml.find('\n'), std::string::npos) << "the answer is one line";
    EXPECT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?><ResultSet ", 0), 0u);
    EXPECT_NE(xml.find("totalResultsAvailable=\"3\" totalResultsReturned=\"3\""),
              std::string::npos);
    EXPECT_NE(xml.find("<Title>Kitten &amp; Yarn</Title>"), std::string::npos);

    // Title matches first, then the description match; by id within each.
    const ProgramView view = ReadAsProgram(xml);
    EXPECT_EQ(view.total, "3");
    ASSERT_EQ(Titles(view),
              (std::vector<std::string>{"Kitten & Yarn", "Sleepy kitten", "Morning walk"}));
    const ProgramRow& first = view.rows[0];
    EXPECT_EQ(first.duration, "125");
    EXPECT_EQ(first.copyright, "Youtube");
    EXPECT_EQ(first.refererUrl, Base() + "/watch/1");
    EXPECT_EQ(first.url, Base() + "/thumbs/1.jpg") << "the program takes the last Url";
    EXPECT_EQ(view.rows[2].copyright, "ニコニコ動画");

    // The video's own Url comes first in the block, then ClickUrl, then the thumbnail's Url.
    const std::size_t block = xml.find("<Result>");
    const std::size_t video = xml.find("<Url>" + Base() + "/videos/1</Url>", block);
    const std::size_t click = xml.find("<ClickUrl>" + Base() + "/videos/1</ClickUrl>", block);
    const std::size_t thumb = xml.find("<Thumbnail><Url>" + Base() +
                                           "/thumbs/1.jpg</Url>"
                                           "<Height>120</Height><Width>160</Width></Thumbnail>",
                                       block);
    ASSERT_NE(video, std::string::npos);
    ASSERT_NE(click, std::string::npos);
    ASSERT_NE(thumb, std::string::npos);
    EXPECT_LT(video, click);
    EXPECT_LT(click, thumb);
    EXPECT_LT(thumb, xml.find("</Result>", block));
}

TEST_F(ServiceTest, MarkupInTitlesIsEscaped) {
    const HttpResponse response = Get(SearchTarget("roll"));
    EXPECT_NE(response.body.find("<Title>Rock &amp; Roll &lt;Live&gt;</Title>"), std::string::npos);
    EXPECT_NE(response.body.find("<Summary>Loud &amp; proud.</Summary>"), std::string::npos);
    const ProgramView view = ReadAsProgram(response.body);
    ASSERT_EQ(view.rows.size(), 1u);
    EXPECT_EQ(view.rows[0].title, "Rock & Roll &lt;Live&gt;");
}

// Control characters and bytes outside ASCII as %XX, for readable test names.
std::string Escaped(const std::string& bytes) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b > 0x20 && b < 0x7F) {
            out += c;
        } else {
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 15];
        }
    }
    return out;
}

struct PagingCase {
    const char* results;
    const char* start;
    std::size_t returned;
    const char* firstTitle;
};

void PrintTo(const PagingCase& c, std::ostream* os) {
    *os << "results=" << c.results << "&start=" << c.start;
}

class ServicePagingTest : public ServiceTest, public ::testing::WithParamInterface<PagingCase> {};

// "Recipe 01" to "Recipe 57": 57 results.
TEST_P(ServicePagingTest, PagesThroughTheResults) {
    const PagingCase& c = GetParam();
    const ProgramView view = Ask(SearchTarget("recipe", c.results, c.start));
    EXPECT_EQ(view.total, "57");
    ASSERT_EQ(view.rows.size(), c.returned);
    if (c.returned > 0) {
        EXPECT_EQ(view.rows.front().title, c.firstTitle);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Paging, ServicePagingTest,
    ::testing::Values(PagingCase{"20", "1", 20, "Recipe 01"},
                      PagingCase{"20", "41", 17, "Recipe 41"}, // the last page: 57 mod 20
                      PagingCase{"17", "41", 17, "Recipe 41"},
                      PagingCase{"10", "57", 1, "Recipe 57"},
                      PagingCase{"20", "58", 0, ""},  // beyond the end: the total stays
                      PagingCase{"20", "881", 0, ""}, // a page the program may still ask for
                      PagingCase{"999", "1", 50, "Recipe 01"}, // capped at 50
                      PagingCase{"50", "2", 50, "Recipe 02"}));

struct MalformedCase {
    std::string target;
    std::size_t returned;
    const char* firstTitle;
};

void PrintTo(const MalformedCase& c, std::ostream* os) {
    *os << c.target.substr(c.target.find('?'));
}

class ServiceMalformedTest : public ServiceTest,
                             public ::testing::WithParamInterface<MalformedCase> {};

// Unreadable or missing numbers are their defaults (10 results from position 1), never an
// error page.
TEST_P(ServiceMalformedTest, BadNumbersAreTheirDefaults) {
    const MalformedCase& c = GetParam();
    const ProgramView view = Ask(c.target);
    EXPECT_EQ(view.total, "57");
    ASSERT_EQ(view.rows.size(), c.returned);
    EXPECT_EQ(view.rows.front().title, c.firstTitle);
}

const std::string RecipeQuery = "/files/sorvel/api_yahoo.php?&query=recipe";

INSTANTIATE_TEST_SUITE_P(
    Malformed, ServiceMalformedTest,
    ::testing::Values(
        MalformedCase{RecipeQuery + "&results=abc&start=xyz", 10, "Recipe 01"},
        MalformedCase{RecipeQuery + "&results=-3&start=0", 10, "Recipe 01"},
        MalformedCase{RecipeQuery + "&results=0&start=-7", 10, "Recipe 01"},
        MalformedCase{RecipeQuery + "&results=&start=", 10, "Recipe 01"},
        MalformedCase{RecipeQuery + "&results=99999999999999999999&start=3", 10, "Recipe 03"},
        MalformedCase{RecipeQuery + "&results=5x&start=1.5", 10, "Recipe 01"},
        MalformedCase{RecipeQuery + "&results=%2B5&start=%2B2", 5, "Recipe 02"},
        // The program cuts its request at 256 characters: the tail keys go.
        MalformedCase{RecipeQuery + "&results=5&sta", 5, "Recipe 01"},
        MalformedCase{RecipeQuery, 10, "Recipe 01"},
        MalformedCase{RecipeQuery + "&results=5&start=3&adult_ok=yes&site=&uniq", 5, "Recipe 03"}));

TEST_F(ServiceTest, KeywordCutInsideAnEscapeIsNoError) {
    // "猫" is E7 8C AB; a request cut after "%E7%8C" still gets a readable answer.
    EXPECT_EQ(Ask("/files/sorvel/api_yahoo.php?&query=%E7%8C").total, "0");
    EXPECT_EQ(Ask("/files/sorvel/api_yahoo.php?&query=%E7%8C%A").total, "0");
    EXPECT_EQ(Ask("/files/sorvel/api_yahoo.php?&query=%").total, "0");
    EXPECT_EQ(Ask("/files/sorvel/api_yahoo.php?&results=5").total, "0");
    EXPECT_EQ(Ask("/files/sorvel/api_yahoo.php?").total, "0");
}

struct FilterCase {
    std::string keyword;
    std::string adult;
    std::string site;
    std::vector<std::string> titles;
};

void PrintTo(const FilterCase& c, std::ostream* os) {
    *os << "query=" << c.keyword << "&adult_ok=" << c.adult << "&site=" << Escaped(c.site);
}

class ServiceFilterTest : public ServiceTest, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(ServiceFilterTest, FiltersAndKeywords) {
    const FilterCase& c = GetParam();
    const ProgramView view = Ask(SearchTarget(c.keyword, "50", "1", c.adult, c.site));
    EXPECT_EQ(view.total, std::to_string(c.titles.size()));
    EXPECT_EQ(Titles(view), c.titles);
}

using Titles_ = std::vector<std::string>;

INSTANTIATE_TEST_SUITE_P(
    Adult, ServiceFilterTest,
    ::testing::Values(FilterCase{"night", "1", "",
                                 Titles_{"Night talk vol. 1", "Night talk for everyone",
                                         "Night drama"}},
                      FilterCase{"night", "0", "", Titles_{"Night talk for everyone"}},
                      FilterCase{"night", "-1", "", Titles_{"Night talk for everyone"}},
                      FilterCase{"night", "", "", Titles_{"Night talk for everyone"}},
                      FilterCase{"night", "true", "", Titles_{"Night talk for everyone"}}));

INSTANTIATE_TEST_SUITE_P(
    Site, ServiceFilterTest,
    ::testing::Values(
        // The settings dialog's adult sites end in a tab, which the program sends raw.
        FilterCase{"night", "1", "velvetclips.tv\t", Titles_{"Night talk vol. 1"}},
        FilterCase{"night", "1", "yoru-douga.jp", Titles_{"Night drama"}},
        FilterCase{"night", "0", "velvetclips.tv\t", Titles_{}},
        FilterCase{"kitten", "0", "nicovideo.jp", Titles_{"Sleepy kitten", "Morning walk"}},
        FilterCase{"kitten", "0", "NicoVideo.JP", Titles_{"Sleepy kitten", "Morning walk"}},
        FilterCase{"kitten", "0", "www.youtube.com", Titles_{"Kitten & Yarn"}},
        // A subdomain belongs to its site.
        FilterCase{"猫", "0", "yahoo.com", Titles_{"猫の手も借りたい大掃除"}},
        FilterCase{"kitten", "0", "tube.com", Titles_{}},
        FilterCase{"kitten", "0", "unknown.example", Titles_{}},
        FilterCase{"kitten", "0", "%E5%8B%95", Titles_{}},
        FilterCase{"kitten", "0", "\x93\xae\x89\xe6", Titles_{}}));

INSTANTIATE_TEST_SUITE_P(
    Keywords, ServiceFilterTest,
    ::testing::Values(
        // One and two characters are shorter than the trigram index.
        FilterCase{"猫", "0", "", Titles_{"子猫とギター", "猫の手も借りたい大掃除"}},
        FilterCase{"子猫", "0", "", Titles_{"子猫とギター"}},
        FilterCase{"描", "0", "", Titles_{"イラストの描き方"}},
        FilterCase{"ギター", "0", "", Titles_{"子猫とギター", "ギター講座 第1回"}},
        // The program turns a space into the ideographic space: every term must match.
        FilterCase{"猫" + Ideographic + "ギター", "0", "", Titles_{"子猫とギター"}},
        FilterCase{"ギター" + Ideographic + "講座", "0", "", Titles_{"ギター講座 第1回"}},
        FilterCase{"kitten" + Ideographic + "yarn", "0", "", Titles_{"Kitten & Yarn"}},
        FilterCase{Ideographic + "kitten" + Ideographic + Ideographic + "yarn" + Ideographic, "0",
                   "", Titles_{"Kitten & Yarn"}},
        FilterCase{"kitten yarn", "0", "", Titles_{"Kitten & Yarn"}},
        FilterCase{"猫" + Ideographic + "kitten", "0", "", Titles_{}},
        // The program sends "/" as "／"; letters match without regard to case or width.
        FilterCase{"AC\uFF0FDC", "0", "", Titles_{"AC/DC style riff tutorial"}},
        FilterCase{"\uFF2B\uFF49\uFF54\uFF54\uFF45\uFF4E", "0", "",
                   Titles_{"Kitten & Yarn", "Sleepy kitten", "Morning walk"}},
        FilterCase{"&", "0", "", Titles_{"Kitten & Yarn", "Rock & Roll &lt;Live&gt;"}},
        FilterCase{"a\u201Dyz", "0", "", Titles_{}}, FilterCase{"犬", "0", "", Titles_{}},
        FilterCase{Ideographic, "0", "", Titles_{}},
        // Half-width katakana and full-width Latin, in the keyword or the catalogue, are their
        // ordinary forms.
        FilterCase{"ﾈｺ", "0", "", Titles_{"ネコの一日"}},
        FilterCase{"ネコ", "0", "", Titles_{"ネコの一日"}},
        FilterCase{"ﾈｺと", "0", "", Titles_{"ネコの一日"}},
        FilterCase{"ｃａｔ", "0", "", Titles_{"Ｃａｔ Ｗａｌｋ"}},
        FilterCase{"CAT", "0", "", Titles_{"Ｃａｔ Ｗａｌｋ"}},
        FilterCase{"ｃａｔ" + Ideographic + "ＷＡＬＫ", "0", "", Titles_{"Ｃａｔ Ｗａｌｋ"}},
        // Characters a LIKE pattern or a full-text query would take as operators.
        FilterCase{"%", "0", "", Titles_{}}, FilterCase{"_", "0", "", Titles_{}},
        FilterCase{"\"", "0", "", Titles_{}},
        FilterCase{
            "OR", "0", "",
            Titles_{"Morning walk", "AC/DC style riff tutorial", "Night talk for everyone"}}));

struct HostCase {
    std::optional<std::string> host;
    std::string base; // empty: this server's own address and port
};

void PrintTo(const HostCase& c, std::ostream* os) {
    *os << "Host: " << (c.host ? Escaped(*c.host) : "(none)");
}

class ServiceHostTest : public ServiceTest, public ::testing::WithParamInterface<HostCase> {};

TEST_P(ServiceHostTest, AddressesLeadBackToTheServer) {
    const HostCase& c = GetParam();
    const HttpResponse response = HttpGet(Port(), SearchTarget("yarn"), c.host);
    const ProgramView view = ReadAsProgram(response.body);
    ASSERT_EQ(view.rows.size(), 1u);
    const std::string base = c.base.empty() ? Base() : c.base;
    EXPECT_EQ(view.rows[0].refererUrl, base + "/watch/1");
    EXPECT_EQ(view.rows[0].url, base + "/thumbs/1.jpg");
}

INSTANTIATE_TEST_SUITE_P(
    Host, ServiceHostTest,
    ::testing::Values(HostCase{std::string("127.0.0.1"), ""}, // the program's Host line: no port
                      HostCase{std::nullopt, ""},
                      HostCase{std::string("localhost:9999"), "http://localhost:9999"},
                      HostCase{std::string("[::1]:8780"), "http://[::1]:8780"},
                      HostCase{std::string("evil\"><script>"), ""},
                      HostCase{std::string("host:99999"), ""}));

struct PageCase {
    std::string target;
    int status;
    std::vector<std::string> texts;
};

void PrintTo(const PageCase& c, std::ostream* os) {
    *os << c.target;
}

class ServicePageTest : public ServiceTest, public ::testing::WithParamInterface<PageCase> {};

TEST_P(ServicePageTest, ServesPagesInJapanese) {
    const PageCase& c = GetParam();
    const HttpResponse response = Get(c.target);
    EXPECT_EQ(response.status, c.status);
    EXPECT_EQ(response.headers.count("content-type") ? response.headers.at("content-type") : "",
              "text/html; charset=utf-8");
    EXPECT_NE(response.body.find("<html lang=\"ja\">"), std::string::npos);
    for (const std::string& text : c.texts)
        EXPECT_NE(response.body.find(text), std::string::npos) << text;
}

INSTANTIATE_TEST_SUITE_P(
    Pages, ServicePageTest,
    ::testing::Values(
        PageCase{"/files/sorvel/", 200, {"Sorvel Browser へようこそ", "/watch/157", "動画箱"}},
        PageCase{"/files/sorvel/?ret=1", 200, {"Sorvel Browser へようこそ"}},
        PageCase{"/info.php?pf=w&sn=sorvel", 200, {"ソフトウェア情報", "3.2", "ORVENA"}},
        PageCase{"/info.php?pf=w&sn=other", 404, {"見つかりませんでした"}},
        PageCase{"/", 200, {"ORVENA", "/info.php?pf=w&amp;sn=sorvel"}},
        PageCase{"/watch/1",
                 200,
                 {"<h1>Kitten &amp; Yarn</h1>", "Youtube", "2分5秒", "/thumbs/1-large.jpg"}},
        PageCase{"/watch/3", 200, {"Sleepy kitten", "ニコニコ動画", "1時間0分0秒"}},
        PageCase{"/watch/9", 200, {"Rock &amp; Roll &lt;Live&gt;"}},
        PageCase{"/watch/10", 200, {"Night talk vol. 1", "成人向け"}},
        PageCase{"/watch/999", 404, {"ページが見つかりません"}},
        PageCase{"/no/such/page", 404, {"ページが見つかりません"}}));

TEST_F(ServiceTest, ThumbnailsAreJpegOfTheAnnouncedSize) {
    const ProgramView view = Ask(SearchTarget("kitten"));
    ASSERT_EQ(view.rows.size(), 3u);
    std::set<std::string> distinct;
    for (const ProgramRow& row : view.rows) {
        ASSERT_EQ(row.url.rfind(Base(), 0), 0u);
        const HttpResponse thumb = Get(row.url.substr(Base().size()));
        EXPECT_EQ(thumb.status, 200);
        EXPECT_EQ(thumb.headers.at("content-type"), "image/jpeg");
        const Picture picture = DecodeJpeg(thumb.body);
        EXPECT_TRUE(picture.ok);
        EXPECT_EQ(picture.width, 160);
        EXPECT_EQ(picture.height, 120);
        distinct.insert(thumb.body);
        EXPECT_EQ(Get(row.url.substr(Base().size())).body, thumb.body) << "the same every time";
    }
    EXPECT_EQ(distinct.size(), 3u);

    const Picture large = DecodeJpeg(Get("/thumbs/1-large.jpg").body);
    EXPECT_TRUE(large.ok);
    EXPECT_EQ(large.width, 480);
    EXPECT_EQ(large.height, 360);
    EXPECT_EQ(Get("/thumbs/999.jpg").status, 404);
}

TEST_F(ServiceTest, ThumbnailHasAnEntityTagAndAnswersNotModified) {
    const HttpResponse first = Get("/thumbs/2.jpg");
    ASSERT_EQ(first.status, 200);
    ASSERT_EQ(first.headers.count("etag"), 1u);
    const std::string tag = first.headers.at("etag");
    EXPECT_EQ(first.headers.at("cache-control"), "public, max-age=86400");
    EXPECT_NE(Get("/thumbs/2-large.jpg").headers.at("etag"), tag);
    EXPECT_NE(Get("/thumbs/3.jpg").headers.at("etag"), tag);

    const auto conditional = [&](const std::string& ifNoneMatch) {
        return HttpRequest(Port(), "GET /thumbs/2.jpg HTTP/1.0\r\nHost: 127.0.0.1\r\n"
                                   "If-None-Match: " +
                                       ifNoneMatch + "\r\n\r\n");
    };
    for (const std::string& matching : {tag, "W/" + tag, "\"other\", " + tag, std::string("*")}) {
        const HttpResponse unchanged = conditional(matching);
        EXPECT_EQ(unchanged.status, 304) << matching;
        EXPECT_EQ(unchanged.body, "") << matching;
        EXPECT_EQ(unchanged.headers.count("etag") ? unchanged.headers.at("etag") : "", tag);
    }
    const HttpResponse changed = conditional("\"other\"");
    EXPECT_EQ(changed.status, 200);
    EXPECT_EQ(changed.body, first.body);
}

TEST_F(ServiceTest, HealthEndpointSaysOk) {
    const HttpResponse response = Get("/healthz");
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.body, "ok\n");
    EXPECT_EQ(response.headers.at("cache-control"), "no-store");
}

TEST_F(ServiceTest, VideoAddressLeadsToItsPage) {
    const HttpResponse response = Get("/videos/3");
    EXPECT_EQ(response.status, 302);
    EXPECT_EQ(response.headers.at("location"), Base() + "/watch/3");
    EXPECT_EQ(Get("/videos/998").status, 404);
}

TEST_F(ServiceTest, RequestHeaderBeyondItsLimitIsRefused) {
    std::string request = "GET " + SearchTarget("kitten") + " HTTP/1.0\r\n";
    const std::string field = "X-Padding: " + std::string(1000, 'x') + "\r\n";
    const std::string end = "\r\n";
    while (request.size() + end.size() <= 64 * 1024)
        request += field;
    EXPECT_EQ(HttpRequest(Port(), request + end).status, 431);

    request.resize(request.size() - field.size());
    EXPECT_EQ(HttpRequest(Port(), request + end).status, 200) << "a header just within it";
}

TEST(ServiceProcessTest, LogsEachRequestAndEndsCleanlyOnSigterm) {
    ServiceProcess service({"--port", "0", "--catalog", SORVEL_SERVICE_TEST_CATALOG});
    ASSERT_GT(service.Port(), 0) << service.Stderr();
    EXPECT_EQ(HttpGet(service.Port(), SearchTarget("kitten", "20", "1", "0", "velvet\t")).status,
              200);
    EXPECT_EQ(HttpGet(service.Port(), "/watch/999").status, 404);
    EXPECT_EQ(service.Stop(SIGTERM), 0);

    const std::string log = service.Stderr();
    std::size_t requestLines = 0;
    std::size_t start = 0;
    for (std::size_t end; (end = log.find('\n', start)) != std::string::npos; start = end + 1) {
        if (log.substr(start, end - start).find("\" ") != std::string::npos)
            ++requestLines;
    }
    EXPECT_EQ(requestLines, 2u) << log;
    EXPECT_NE(log.find("\"GET /files/sorvel/api_yahoo.php?&query=kitten&results=20&start=1"
                       "&adult_ok=0&site=velvet\\x09&ver=3.2 HTTP/1.0\" 200 "),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("\"GET /watch/999 HTTP/1.0\" 404 "), std::string::npos) << log;
}

// The installation id stays out of the log wherever the request has it, also cut short.
TEST(ServiceProcessTest, LogLeavesOutTheInstallationId) {
    struct Case {
        std::string target, logged;
    };
    const std::string search = "/files/sorvel/api_yahoo.php?";
    const std::vector<Case> cases = {
        {search + "uniqueid=1234-5678-9012-3456&query=kitten&ver=3.2",
         search + "query=kitten&ver=3.2"},
        {search + "&query=kitten&site=&UniqueId=1234-5678-9012-3456",
         search + "&query=kitten&site="},
        {search + "&query=kitten&adult_ok=0&site=&uniqueid=1234-56",
         search + "&query=kitten&adult_ok=0&site="},
        {"/files/sorvel/?uniqueid=1234-5678-9012-3456", "/files/sorvel/?"},
    };
    ServiceProcess service({"--port", "0", "--catalog", SORVEL_SERVICE_TEST_CATALOG});
    ASSERT_GT(service.Port(), 0) << service.Stderr();
    for (const Case& c : cases)
        EXPECT_EQ(HttpGet(service.Port(), c.target).status, 200) << c.target;
    EXPECT_EQ(service.Stop(SIGTERM), 0);

    const std::string log = service.Stderr();
    for (const Case& c : cases)
        EXPECT_NE(log.find("\"GET " + c.logged + " HTTP/1.0\" 200 "), std::string::npos) << log;
    EXPECT_EQ(log.find("1234-5"), std::string::npos) << log;
}

TEST(ServiceProcessTest, EndsCleanlyOnSigint) {
    ServiceProcess service({"--port", "0", "--catalog", SORVEL_SERVICE_TEST_CATALOG});
    ASSERT_GT(service.Port(), 0) << service.Stderr();
    EXPECT_EQ(service.Stop(SIGINT), 0);
    EXPECT_NE(service.Stderr().find("stopped by SIGINT"), std::string::npos);
}

TEST(ServiceProcessTest, SighupDoesNotEndIt) {
    ServiceProcess service({"--port", "0", "--catalog", SORVEL_SERVICE_TEST_CATALOG});
    ASSERT_GT(service.Port(), 0) << service.Stderr();
    service.Signal(SIGHUP);
    EXPECT_EQ(ReadAsProgram(HttpGet(service.Port(), SearchTarget("kitten")).body).total, "3");
    EXPECT_EQ(service.Stop(SIGTERM), 0);
    EXPECT_NE(service.Stderr().find("stopped by SIGTERM"), std::string::npos) << service.Stderr();
}

// Clients that trickle their header (a line every half second, faster than any time-out per
// read) neither hold the service's workers nor its end: each is answered 408 and dropped within
// the few seconds a request has, and searches are answered meanwhile.
class ServiceSlowClientTest : public ::testing::TestWithParam<int> {};

TEST_P(ServiceSlowClientTest, SearchIsAnsweredWhileClientsTrickleAndTheyAreDropped) {
    ServiceProcess service({"--port", "0", "--catalog", SORVEL_SERVICE_TEST_CATALOG});
    ASSERT_GT(service.Port(), 0) << service.Stderr();
    const int count = GetParam();
    SlowClients slow(service.Port(), count, std::chrono::milliseconds(500));
    // Long enough for the service to take up every one of them.
    std::this_thread::sleep_for(std::chrono::seconds(1));

    EXPECT_EQ(ReadAsProgram(HttpGet(service.Port(), SearchTarget("kitten")).body).total, "3");
    EXPECT_EQ(slow.WaitUntilClosed(std::chrono::seconds(30)), count);
    for (const std::string& answer : slow.Answers())
        EXPECT_EQ(answer.rfind("HTTP/1.1 408 ", 0), 0u) << answer;
    EXPECT_EQ(service.Stop(SIGTERM), 0);
}

INSTANTIATE_TEST_SUITE_P(SlowClients, ServiceSlowClientTest, ::testing::Values(8, 64));

TEST(ServiceProcessTest, EndsPromptlyOnSigtermWithSlowClientsConnected) {
    ServiceProcess service({"--port", "0", "--catalog", SORVEL_SERVICE_TEST_CATALOG});
    ASSERT_GT(service.Port(), 0) << service.Stderr();
    SlowClients slow(service.Port(), 8, std::chrono::milliseconds(500));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    // Well before the five seconds the service gives the slow clients' requests: the stop does
    // not wait for them.
    EXPECT_EQ(service.Stop(SIGTERM, std::chrono::seconds(3)), 0);
    EXPECT_NE(service.Stderr().find("stopped by SIGTERM"), std::string::npos) << service.Stderr();
    EXPECT_EQ(slow.WaitUntilClosed(std::chrono::seconds(1)), 8);
}

TEST(ServiceProcessTest, FindsItsOwnCatalogueFromAnyDirectory) {
    ServiceProcess service({"--port", "0"}, "/");
    ASSERT_GT(service.Port(), 0) << service.Stderr();
    const ProgramView view = ReadAsProgram(HttpGet(service.Port(), SearchTarget("猫")).body);
    EXPECT_GT(std::atoi(view.total.c_str()), 0);
    const std::string log = service.Stderr();
    unsigned entries = 0;
    ASSERT_EQ(std::sscanf(log.c_str(), "sorvel-service: %u entries from", &entries), 1) << log;
    EXPECT_GE(entries, 300u);
    EXPECT_EQ(service.Stop(SIGTERM), 0);
}

// Installed, the service finds its catalogue in ../share/sorvel/ from its executable, and no
// path of the machine it was built on.
TEST(ServiceProcessTest, FindsItsCatalogueWhereItIsInstalled) {
    namespace fs = std::filesystem;
    const fs::path prefix = fs::path(::testing::TempDir()) / "sorvel-installed";
    fs::remove_all(prefix);
    fs::create_directories(prefix / "bin");
    fs::copy_file(SORVEL_SERVICE_EXE, prefix / "bin" / "sorvel-service");
    {
        ServiceProcess nowhere({"--port", "0"}, "/", (prefix / "bin" / "sorvel-service").string());
        EXPECT_EQ(nowhere.Wait(), 1);
        EXPECT_NE(nowhere.Stderr().find("no catalog.sqlite beside the program or in "
                                        "../share/sorvel/"),
                  std::string::npos)
            << nowhere.Stderr();
    }
    fs::create_directories(prefix / "share" / "sorvel");
    fs::copy_file(SORVEL_SERVICE_CATALOG, prefix / "share" / "sorvel" / "catalog.sqlite");
    ServiceProcess service({"--port", "0"}, "/", (prefix / "bin" / "sorvel-service").string());
    ASSERT_GT(service.Port(), 0) << service.Stderr();
    EXPECT_GT(
        std::atoi(ReadAsProgram(HttpGet(service.Port(), SearchTarget("猫")).body).total.c_str()),
        0);
    EXPECT_NE(service.Stderr().find("entries from " +
                                    (prefix / "share" / "sorvel" / "catalog.sqlite").string()),
              std::string::npos)
        << service.Stderr();
    EXPECT_EQ(service.Stop(SIGTERM), 0);
    fs::remove_all(prefix);
}

// Every absolute address of the answer, the pages and the redirects.
std::vector<std::string> AbsoluteAddresses(const HttpResponse& response) {
    std::vector<std::string> addresses;
    if (response.headers.count("location"))
        addresses.push_back(response.headers.at("location"));
    for (std::size_t at = response.body.find("://"); at != std::string::npos;
         at = response.body.find("://", at + 3)) {
        std::size_t begin = at;
        while (begin > 0 && std::isalpha(static_cast<unsigned char>(response.body[begin - 1])))
            --begin;
        const std::size_t end = response.body.find_first_of("\"<' ", at);
        addresses.push_back(response.body.substr(begin, end - begin));
    }
    return addresses;
}

const std::vector<std::string> TargetsWithAddresses = {SearchTarget("kitten"),
                                                       "/files/sorvel/",
                                                       "/files/sorvel",
                                                       "/watch/1",
                                                       "/videos/1",
                                                       "/info.php?pf=w&sn=sorvel",
                                                       "/info.php?pf=w&sn=other",
                                                       "/",
                                                       "/no/such/page"};

// Each target's addresses all begin with the base; there is at least one for each target.
void ExpectEveryAddressStartsWith(int port, const std::string& base,
                                  const std::vector<std::string>& extraHeaders = {}) {
    for (const std::string& target : TargetsWithAddresses) {
        std::string request = "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n";
        for (const std::string& header : extraHeaders)
            request += header + "\r\n";
        const std::vector<std::string> addresses =
            AbsoluteAddresses(HttpRequest(port, request + "\r\n"));
        EXPECT_FALSE(addresses.empty()) << target;
        for (const std::string& address : addresses)
            EXPECT_EQ(address.rfind(base + "/", 0), 0u) << target << ": " << address;
    }
}

TEST(ServiceProcessTest, PublicUrlStartsEveryAbsoluteAddress) {
    ServiceProcess service({"--port", "0", "--catalog", SORVEL_SERVICE_TEST_CATALOG, "--public-url",
                            "HTTPS://Videos.Example.org/sorvel/"});
    ASSERT_GT(service.Port(), 0) << service.Stderr();
    ExpectEveryAddressStartsWith(service.Port(), "https://videos.example.org/sorvel");
    const ProgramView view = ReadAsProgram(HttpGet(service.Port(), SearchTarget("yarn")).body);
    ASSERT_EQ(view.rows.size(), 1u);
    EXPECT_EQ(view.rows[0].url, "https://videos.example.org/sorvel/thumbs/1.jpg");
    EXPECT_EQ(view.rows[0].refererUrl, "https://videos.example.org/sorvel/watch/1");
}

TEST(ServiceProcessTest, ForwardedHeadersCountFromTrustedProxiesOnly) {
    const std::vector<std::string> forwarded = {
        "X-Forwarded-Proto: https", "X-Forwarded-Host: videos.example.org, inner.example"};
    {
        ServiceProcess trusting({"--port", "0", "--catalog", SORVEL_SERVICE_TEST_CATALOG,
                                 "--trusted-proxy", "127.0.0.1"});
        ASSERT_GT(trusting.Port(), 0) << trusting.Stderr();
        ExpectEveryAddressStartsWith(trusting.Port(), "https://videos.example.org", forwarded);
        ExpectEveryAddressStartsWith(trusting.Port(), "http://proxy.example:8080",
                                     {"X-Forwarded-Host: proxy.example:8080"});
        ExpectEveryAddressStartsWith(trusting.Port(), "http://proxy.example",
                                     {"X-Forwarded-Host: proxy.example"});
        ExpectEveryAddressStartsWith(trusting.Port(),
                                     "http://127.0.0.1:" + std::to_string(trusting.Port()),
                                     {"X-Forwarded-Host: evil\"><script>"});
    }
    ServiceProcess other(
        {"--port", "0", "--catalog", SORVEL_SERVICE_TEST_CATALOG, "--trusted-proxy", "192.0.2.1"});
    ASSERT_GT(other.Port(), 0) << other.Stderr();
    ExpectEveryAddressStartsWith(other.Port(), "http://127.0.0.1:" + std::to_string(other.Port()),
                                 forwarded);
}

// A trusted proxy is named by its address in any written form, and is known behind a dual-stack
// listener too, where an IPv4 client shows as ::ffff:a.b.c.d.
TEST(ServiceProcessTest, TrustedProxyIsKnownByItsAddressInAnyForm) {
    struct Case {
        std::string listen, proxy, client;
        bool trusted;
    };
    const std::vector<Case> cases = {
        {"::1", "0:0:0:0:0:0:0:1", "::1", true},
        {"::", "127.0.0.1", "127.0.0.1", true},
        {"127.0.0.1", "::FFFF:127.0.0.1", "127.0.0.1", true},
        {"::", "::1", "127.0.0.1", false},
        {"::", "127.0.0.1", "::1", false},
    };
    for (const Case& c : cases) {
        const std::string name = c.listen + " " + c.proxy + " " + c.client;
        ServiceProcess service({"--listen", c.listen, "--port", "0", "--catalog",
                                SORVEL_SERVICE_TEST_CATALOG, "--trusted-proxy", c.proxy});
        if (service.Port() == 0 && c.listen.find(':') != std::string::npos &&
            service.Stderr().find("cannot listen") != std::string::npos)
            GTEST_SKIP() << "no IPv6 on loopback: " << service.Stderr();
        ASSERT_GT(service.Port(), 0) << service.Stderr();
        const HttpResponse response = HttpRequest(
            service.Port(),
            "GET /files/sorvel HTTP/1.0\r\nHost: 127.0.0.1\r\nX-Forwarded-Proto: https\r\n"
            "X-Forwarded-Host: videos.example.org\r\n\r\n",
            c.client);
        EXPECT_EQ(response.headers.count("location") ? response.headers.at("location") : "",
                  c.trusted
                      ? "https://videos.example.org/files/sorvel/"
                      : "http://127.0.0.1:" + std::to_string(service.Port()) + "/files/sorvel/")
            << name;
    }
}

TEST(ServiceProcessTest, HelpNamesTheOptions) {
    ServiceProcess service({"--help"});
    EXPECT_EQ(service.Wait(), 0);
    for (const char* option : {"--listen", "--port", "--catalog", "--threads", "--public-url",
                               "--trusted-proxy", "import", "8780", "127.0.0.1"})
        EXPECT_NE(service.Stdout().find(option), std::string::npos) << option;
}

TEST(ServiceProcessTest, RejectsBadOptions) {
    const std::vector<std::vector<std::string>> cases = {
        {"--bogus"},
        {"--port", "70000"},
        {"--port"},
        {"--threads", "0"},
        {"--threads", "many"},
        {"--public-url", "ftp://example.org"},
        {"--public-url", "https://user@example.org"},
        {"--public-url", "https://example.org/a?b"},
        {"--trusted-proxy", "proxy.example"},
        {"import"},
        {"import", "catalog.tsv"},
    };
    for (const auto& arguments : cases)
        EXPECT_EQ(ServiceProcess(arguments).Wait(), 2) << arguments.front();
}

TEST(ServiceProcessTest, ReportsABrokenCatalogue) {
    const TemporaryFile file("broken_catalog.tsv",
                             "id\thost\tsource\tduration\tsize\tadult\ttitle\tdescription\n"
                             "1\tyoutube.com\tYoutube\t10\t100\t0\tFine\tFine.\n"
                             "2\tyoutube.com\tYoutube\tlong\t100\t0\tBroken\tBroken.\n");
    const std::string& path = file.Path();
    ServiceProcess broken({"--port", "0", "--catalog", path});
    EXPECT_EQ(broken.Wait(), 1);
    EXPECT_NE(broken.Stderr().find(path + ":3: the duration must be whole seconds"),
              std::string::npos)
        << broken.Stderr();

    ServiceProcess missing({"--port", "0", "--catalog", path + ".missing"});
    EXPECT_EQ(missing.Wait(), 1);
}

TEST(ServiceProcessTest, ReportsAPortInUse) {
    ServiceProcess first({"--port", "0", "--catalog", SORVEL_SERVICE_TEST_CATALOG});
    ASSERT_GT(first.Port(), 0);
    ServiceProcess second(
        {"--port", std::to_string(first.Port()), "--catalog", SORVEL_SERVICE_TEST_CATALOG});
    EXPECT_EQ(second.Wait(), 1);
    EXPECT_NE(second.Stderr().find("cannot listen"), std::string::npos);
    EXPECT_EQ(first.Stop(SIGTERM), 0);
}

} // namespace
