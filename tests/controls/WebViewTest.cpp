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

    WebView browser;
    browser.resize(400, 300);
    browser.show();
    EXPECT_TRUE(browser.locationUrl().isEmpty());

    QSignalSpy completed(&browser, &WebView::navigationFinished);
    const QString first = QString::fromLatin1(server.Url("/first"));
    browser.navigate(first);
    ASSERT_TRUE(WaitUntil([&] { return completed.count() >= 1; }, 30000));
    EXPECT_EQ(browser.locationUrl(), first);

    const QString second = QString::fromLatin1(server.Url("/second?x=1"));
    browser.navigate(second);
    ASSERT_TRUE(WaitUntil([&] { return completed.count() >= 2; }, 30000));
    EXPECT_EQ(browser.locationUrl(), second);

    browser.setResultTitle(QStringLiteral("猫の動画"));
    EXPECT_EQ(browser.resultTitle(), QStringLiteral("猫の動画"));
}
