#include "ScriptedHttpServer.h"
#include "TestUtil.h"

#include "controls/WebView.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

TEST(WebViewTest, NavigatesAndReportsEachCompletedNavigation) {
    ScriptedHttpServer server([](ScriptedHttpServer::Connection& c) {
        const QByteArray request = c.readRequest();
        const QByteArray title = request.startsWith("GET /second") ? "second" : "first";
        c.send(ScriptedHttpServer::response(
            200, "<html><head><title>" + title + "</title></head><body>" + title + "</body></html>",
            {"Content-Type: text/html; charset=utf-8", "Connection: close"}));
    });

    WebView browser;
    browser.resize(400, 300);
    browser.show();
    EXPECT_TRUE(browser.locationUrl().isEmpty());

    QSignalSpy completed(&browser, &WebView::navigationFinished);
    const QString first = QString::fromLatin1(server.url("/first"));
    browser.navigate(first);
    ASSERT_TRUE(waitUntil([&] { return completed.count() >= 1; }, 30000));
    EXPECT_EQ(browser.locationUrl(), first);

    const QString second = QString::fromLatin1(server.url("/second?x=1"));
    browser.navigate(second);
    ASSERT_TRUE(waitUntil([&] { return completed.count() >= 2; }, 30000));
    EXPECT_EQ(browser.locationUrl(), second);

    browser.setResultTitle(QStringLiteral("猫の動画"));
    EXPECT_EQ(browser.resultTitle(), QStringLiteral("猫の動画"));
}
