#include "ScriptedHttpServer.h"
#include "TestUtil.h"

#include "controls/WebView.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

TEST(WebViewTest, NavigatesAndReportsEachCompletedNavigation) {
    ScriptedHttpServer server([](ScriptedHttpServer::Connection& c) {
        const QByteArray request = c.ReadRequest();
        const QByteArray title = request.startsWith("GET /second") ? "second" : "first";
        c.Send(ScriptedHttpServer::Response(
            200, "<html><head><title>" + title + "</title></head><body>" + title + "</body></html>",
            {"Content-Type: text/html; charset=utf-8", "Connection: close"}));
    });

    TCppWebBrowser browser;
    browser.resize(400, 300);
    browser.show();
    EXPECT_TRUE(browser.LocationURL().isEmpty());

    QSignalSpy completed(&browser, &TCppWebBrowser::NavigateComplete2);
    const QString first = QString::fromLatin1(server.Url("/first"));
    browser.Navigate(first);
    ASSERT_TRUE(WaitUntil([&] { return completed.count() >= 1; }, 30000));
    EXPECT_EQ(browser.LocationURL(), first);

    const QString second = QString::fromLatin1(server.Url("/second?x=1"));
    browser.Navigate(second);
    ASSERT_TRUE(WaitUntil([&] { return completed.count() >= 2; }, 30000));
    EXPECT_EQ(browser.LocationURL(), second);

    browser.SetHint(QStringLiteral("猫の動画"));
    EXPECT_EQ(browser.Hint(), QStringLiteral("猫の動画"));
}
