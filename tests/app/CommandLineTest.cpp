#include "app/CommandLine.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace {

const QString BuildHost = QStringLiteral("127.0.0.1:8780");

QStringList words(std::initializer_list<const char*> list) {
    QStringList result;
    for (const char* word : list)
        result << QString::fromUtf8(word);
    return result;
}

} // namespace

TEST(CommandLineTest, KeywordAndServiceHostOfARun) {
    const struct {
        std::initializer_list<const char*> arguments;
        const char* environment;
        const char* keyword;
        const char* host;
    } cases[] = {
        {{"sorvel"}, "", "", "127.0.0.1:8780"},
        {{"sorvel", "猫"}, "", "猫", "127.0.0.1:8780"},
        {{"sorvel", "猫", "カフェ"}, "", "猫 カフェ", "127.0.0.1:8780"},
        {{"sorvel", "--", "--help"}, "", "--help", "127.0.0.1:8780"},
        {{"sorvel"}, "videos.example.org", "", "videos.example.org"},
        {{"sorvel", "--service-host", "127.0.0.1:9000", "犬"}, "", "犬", "127.0.0.1:9000"},
        {{"sorvel", "--service-host=localhost:81"}, "", "", "localhost:81"},
        // The option wins over the environment.
        {{"sorvel", "--service-host", "a.example:81"}, "b.example:82", "", "a.example:81"},
        {{"sorvel", "-service-host", "a.example"}, "", "", "a.example"},
    };
    for (const auto& c : cases) {
        const QStringList arguments = words(c.arguments);
        SCOPED_TRACE(arguments.join(u' ').toStdString());
        const CommandLine line =
            readCommandLine(arguments, QString::fromUtf8(c.environment), BuildHost);
        EXPECT_EQ(line.request, CommandLine::Request::Run);
        EXPECT_EQ(line.error, QString());
        EXPECT_EQ(line.keyword, QString::fromUtf8(c.keyword));
        EXPECT_EQ(line.serviceHost, QString::fromUtf8(c.host));
    }
}

TEST(CommandLineTest, WhatCannotBeUsedIsNamed) {
    const struct {
        std::initializer_list<const char*> arguments;
        const char* environment;
        const char* error;
    } cases[] = {
        {{"sorvel", "--bogus"}, "", "Unknown option 'bogus'."},
        {{"sorvel", "--service-host"}, "", "Missing value after '--service-host'."},
        {{"sorvel", "--service-host", "http://h/"},
         "",
         "--service-host: 'http://h/' is no HOST[:PORT]"},
        {{"sorvel", "--service-host", "h:0"}, "h:1", "--service-host: 'h:0' is no HOST[:PORT]"},
        {{"sorvel"}, "h:65536", "SORVEL_SERVICE_HOST: 'h:65536' is no HOST[:PORT]"},
    };
    for (const auto& c : cases) {
        const QStringList arguments = words(c.arguments);
        SCOPED_TRACE(arguments.join(u' ').toStdString());
        const CommandLine line =
            readCommandLine(arguments, QString::fromUtf8(c.environment), BuildHost);
        EXPECT_EQ(line.error, QString::fromUtf8(c.error));
    }
}

TEST(CommandLineTest, HelpAndVersionWinOverEverythingElse) {
    for (const char* option : {"--help", "-h"}) {
        const CommandLine line = readCommandLine(words({"sorvel", "--bogus", option}),
                                                 QStringLiteral("not a host"), BuildHost);
        EXPECT_EQ(line.request, CommandLine::Request::Help) << option;
        // The program as it was called (here the test's).
        EXPECT_TRUE(line.text.startsWith(QStringLiteral("Usage: ")));
        EXPECT_TRUE(line.text.contains(QStringLiteral(" [options] [KEYWORD...]\n")))
            << line.text.toStdString();
        EXPECT_TRUE(line.text.contains(QStringLiteral("--service-host <HOST[:PORT]>")));
        EXPECT_TRUE(line.text.contains(BuildHost));
    }
    for (const char* option : {"--version", "-v"}) {
        const CommandLine line =
            readCommandLine(words({"sorvel", option, "猫"}), QString(), BuildHost);
        EXPECT_EQ(line.request, CommandLine::Request::Version) << option;
        EXPECT_EQ(line.text, QStringLiteral("Sorvel Browser 3.2\n"));
    }
}

TEST(CommandLineTest, ServiceHostForms) {
    for (const char* host :
         {"127.0.0.1:8780", "localhost", "videos.example.org", "a-b.c:1", "h:65535",
          "xn--eckwd4c7c.example:8080", "https://videos.example.org", "HTTPS://h:8443", "http://h"})
        EXPECT_TRUE(isServiceHost(QString::fromUtf8(host))) << host;
    for (const char* host :
         {"", ":80", "h:", "h:0", "h:65536", "h:080", "https://", "ftp://h", "https://h/p",
          "https:/h", "h/p", "h p", "[::1]:80", "-h", "h-:1", "h:80:81", "a..b", "ホスト"})
        EXPECT_FALSE(isServiceHost(QString::fromUtf8(host))) << host;
}

TEST(CommandLineTest, QtsOwnOptionsAreLeftToTheApplicationObject) {
    const struct {
        std::initializer_list<const char*> arguments;
        std::initializer_list<const char*> kept;
    } cases[] = {
        {{"sorvel", "-platform", "offscreen", "猫"}, {"sorvel", "猫"}},
        {{"sorvel", "--style=fusion", "-reverse", "--service-host", "h", "-display", ":1"},
         {"sorvel", "--service-host", "h"}},
        {{"sorvel", "-qmljsdebugger=port:1", "-nograb", "-sync"}, {"sorvel"}},
        {{"sorvel", "--", "-platform", "x"}, {"sorvel", "--", "-platform", "x"}},
        {{"sorvel", "--bogus"}, {"sorvel", "--bogus"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(withoutQtOptions(words(c.arguments)), words(c.kept));
}
