#include "TestUtil.h"

#include "net/ProxyRules.h"

#include <QMap>

#include <gtest/gtest.h>

namespace {

ProxyRules rulesOf(const QMap<QByteArray, QByteArray>& variables) {
    return ProxyRules::fromVariables(
        [variables](const char* name) { return variables.value(QByteArray(name)); });
}

// The proxy a request goes through, as "scheme://host:port", or "direct".
QByteArray routeOf(const ProxyRules& rules, const QByteArray& scheme, const QByteArray& host) {
    const std::optional<ProxyServer> server = rules.proxyFor(scheme, host);
    return server ? server->url() : QByteArray("direct");
}

} // namespace

TEST(ProxyRulesTest, VariablesAreReadAsCurlReadsThem) {
    const struct {
        const char* name;
        QMap<QByteArray, QByteArray> variables;
        QByteArray http;
        QByteArray https;
    } cases[] = {
        {"none", {}, "direct", "direct"},
        {"http_proxy for http only", {{"http_proxy", "p:3128"}}, "http://p:3128", "direct"},
        // A web server's CGI sets HTTP_PROXY from a request's Proxy header: never read.
        {"HTTP_PROXY is not read", {{"HTTP_PROXY", "p:3128"}}, "direct", "direct"},
        {"HTTPS_PROXY is", {{"HTTPS_PROXY", "s:8443"}}, "direct", "http://s:8443"},
        {"the lower case first",
         {{"https_proxy", "a:1"}, {"HTTPS_PROXY", "b:2"}},
         "direct",
         "http://a:1"},
        {"all_proxy for the rest",
         {{"all_proxy", "all:9"}, {"https_proxy", "s:1"}},
         "http://all:9",
         "http://s:1"},
        {"ALL_PROXY too", {{"ALL_PROXY", "all:9"}}, "http://all:9", "http://all:9"},
        {"an empty one is not set",
         {{"http_proxy", ""}, {"all_proxy", "all:9"}},
         "http://all:9",
         "http://all:9"},
        {"curl's port", {{"http_proxy", "http://p"}}, "http://p:1080", "direct"},
        {"other schemes", {{"all_proxy", "socks5h://s:1"}}, "socks5h://s:1", "socks5h://s:1"},
        {"an unusable one",
         {{"http_proxy", "ftp://p:1"}, {"https_proxy", "http://:1"}},
         "direct",
         "direct"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ProxyRules rules = rulesOf(c.variables);
        EXPECT_EQ(routeOf(rules, "http", "example.com"), c.http);
        EXPECT_EQ(routeOf(rules, "https", "example.com"), c.https);
        EXPECT_EQ(rules.isEmpty(), c.http == "direct" && c.https == "direct");
    }
}

TEST(ProxyRulesTest, CredentialsAndAddressesOfTheProxy) {
    const std::optional<ProxyServer> server = parseProxyServer("http://us%40er:p%3Ass@[::1]:3128/");
    ASSERT_TRUE(server);
    EXPECT_EQ(server->userName, "us@er");
    EXPECT_EQ(server->password, "p:ss");
    EXPECT_EQ(server->host, "::1");
    EXPECT_EQ(server->authority(), "[::1]:3128");
    EXPECT_FALSE(parseProxyServer("http://p:99999"));
    EXPECT_FALSE(parseProxyServer("  "));
}

TEST(ProxyRulesTest, NoProxyNamesHostsDomainsAndAddresses) {
    const struct {
        QByteArray noProxy;
        QByteArray host;
        bool direct;
    } cases[] = {
        {"example.com", "example.com", true},
        {"example.com", "www.example.com", true},
        {"example.com", "nonexample.com", false},
        {".example.com", "www.example.com", true},
        {".example.com", "example.com", true},
        {"example.com.", "EXAMPLE.com.", true},
        {"www.example.com", "example.com", false},
        {"a.test, example.com ,b.test", "example.com", true},
        // A blank without a comma ends the list, as in curl.
        {"a.test example.com", "example.com", false},
        {"*", "anything.test", true},
        {"*.example.com", "www.example.com", false},
        {"127.0.0.1", "127.0.0.1", true},
        {"127.0.0.1", "127.0.0.2", false},
        {"10.0.0.0/8", "10.1.2.3", true},
        {"10.0.0.0/8", "11.1.2.3", false},
        {"192.168.1.0/24", "192.168.1.200", true},
        {"::1", "[::1]", true},
        {"fd00::/8", "fd12::5", true},
        {"localhost", "127.0.0.1", false},
        {"", "example.com", false},
    };
    for (const auto& c : cases) {
        const ProxyRules rules = rulesOf({{"http_proxy", "p:1"}, {"no_proxy", c.noProxy}});
        EXPECT_EQ(rules.bypasses(c.host), c.direct) << c.noProxy.data() << " / " << c.host.data();
        EXPECT_EQ(routeOf(rules, "http", c.host) == "direct", c.direct);
    }
    EXPECT_TRUE(
        rulesOf({{"http_proxy", "p:1"}, {"NO_PROXY", "example.com"}}).bypasses("example.com"));
}

TEST(ProxyRulesTest, TheWebEngineGetsTheSameProxies) {
    EXPECT_EQ(rulesOf({}).chromiumSwitches(), QStringList{QStringLiteral("--no-proxy-server")});
    EXPECT_EQ(rulesOf({{"http_proxy", "p:1"}, {"no_proxy", "*"}}).chromiumSwitches(),
              QStringList{QStringLiteral("--no-proxy-server")});
    EXPECT_EQ(rulesOf({{"http_proxy", "http://u:pw@p:1"},
                       {"https_proxy", "socks5h://s:2"},
                       {"no_proxy", ".example.com, 10.0.0.0/8, ::1"}})
                  .chromiumSwitches(),
              (QStringList{QStringLiteral("--proxy-server=http=http://p:1;https=socks5://s:2"),
                           QStringLiteral("--proxy-bypass-list=example.com,*.example.com,"
                                          "10.0.0.0/8,[::1]")}));

    const ScopedVariable flags("QTWEBENGINE_CHROMIUM_FLAGS", QStringLiteral("--disable-gpu"));
    EXPECT_TRUE(passProxiesToWebEngine(rulesOf({{"all_proxy", "p:1"}})));
    EXPECT_EQ(qgetenv("QTWEBENGINE_CHROMIUM_FLAGS"),
              "--disable-gpu --proxy-server=http=http://p:1;https=http://p:1");
    // Proxy switches of the user's own are left alone.
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--proxy-server=mine:8");
    EXPECT_FALSE(passProxiesToWebEngine(rulesOf({{"all_proxy", "p:1"}})));
    EXPECT_EQ(qgetenv("QTWEBENGINE_CHROMIUM_FLAGS"), "--proxy-server=mine:8");
}
