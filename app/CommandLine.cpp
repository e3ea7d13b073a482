#include "app/CommandLine.h"

#include "app/Version.h"
#include "platform/MessageService.h"

#include <QCommandLineParser>
#include <QRegularExpression>

namespace {

const QString HostForm = QStringLiteral("HOST[:PORT]");

QString notAHost(const QString& source, const QString& value) {
    return QStringLiteral("%1: '%2' is no %3").arg(source, value, HostForm);
}

// The options QGuiApplication, QApplication and the X11 platform take for themselves.
const QStringList QtOptionsWithValue = {
    QStringLiteral("platform"),
    QStringLiteral("platformpluginpath"),
    QStringLiteral("platformtheme"),
    QStringLiteral("plugin"),
    QStringLiteral("qwindowgeometry"),
    QStringLiteral("geometry"),
    QStringLiteral("qwindowtitle"),
    QStringLiteral("title"),
    QStringLiteral("qwindowicon"),
    QStringLiteral("icon"),
    QStringLiteral("session"),
    QStringLiteral("style"),
    QStringLiteral("stylesheet"),
    QStringLiteral("display"),
    QStringLiteral("name"),
};
const QStringList QtFlags = {
    QStringLiteral("reverse"), QStringLiteral("widgetcount"), QStringLiteral("nograb"),
    QStringLiteral("dograb"),  QStringLiteral("sync"),        QStringLiteral("testability"),
};

} // namespace

QStringList withoutQtOptions(const QStringList& arguments) {
    QStringList kept;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (i == 0 || !argument.startsWith(u'-') || argument == QLatin1String("--")) {
            if (argument == QLatin1String("--") && i > 0) {
                kept += arguments.mid(i);
                break;
            }
            kept << argument;
            continue;
        }
        const QString name = argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1);
        const QString bare = name.section(u'=', 0, 0);
        if (QtOptionsWithValue.contains(bare)) {
            if (!name.contains(u'='))
                ++i;
        } else if (!QtFlags.contains(name) && !name.startsWith(QLatin1String("qmljsdebugger="))) {
            kept << argument;
        }
    }
    return kept;
}

bool isServiceHost(const QString& text) {
    static const QRegularExpression form(QStringLiteral(
        R"(^(?:[Hh][Tt][Tt][Pp][Ss]?://)?[A-Za-z0-9](?:[A-Za-z0-9-]{0,61}[A-Za-z0-9])?(?:\.[A-Za-z0-9](?:[A-Za-z0-9-]{0,61}[A-Za-z0-9])?)*(?::([1-9][0-9]{0,4}))?$)"));
    const QRegularExpressionMatch match = form.match(text);
    return match.hasMatch() && text.size() <= 269 &&
           (!match.hasCaptured(1) || match.captured(1).toInt() <= 65535);
}

CommandLine readCommandLine(const QStringList& arguments, const QString& environmentHost,
                            const QString& buildHost) {
    QCommandLineParser parser;
    // -v is short for --version; a word after one dash is an option of its own.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QStringLiteral("%1, a video search browser.\n"
                       "Starts with a search for KEYWORD when one is given; a second start hands\n"
                       "its KEYWORD to the running program.")
            .arg(ApplicationTitle));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption hostOption(
        QStringLiteral("service-host"),
        QStringLiteral("The search service for this run (overrides %1; default %2).")
            .arg(QLatin1String(ServiceHostVariable), buildHost),
        HostForm);
    parser.addOption(hostOption);
    parser.addPositionalArgument(QStringLiteral("KEYWORD"),
                                 QStringLiteral("What to search for at the start."),
                                 QStringLiteral("[KEYWORD...]"));

    CommandLine line;
    const bool parsed = parser.parse(arguments);
    if (parser.isSet(helpOption)) {
        line.request = CommandLine::Request::Help;
        line.text = parser.helpText();
        return line;
    }
    if (parser.isSet(versionOption)) {
        line.request = CommandLine::Request::Version;
        line.text = QStringLiteral("%1 %2\n").arg(ApplicationTitle, ProgramVersion);
        return line;
    }
    if (!parsed) {
        line.error = parser.errorText();
        return line;
    }
    line.keyword = parser.positionalArguments().join(u' ');
    if (parser.isSet(hostOption)) {
        line.serviceHost = parser.value(hostOption);
        if (!isServiceHost(line.serviceHost))
            line.error = notAHost(QStringLiteral("--service-host"), line.serviceHost);
    } else if (!environmentHost.isEmpty()) {
        line.serviceHost = environmentHost;
        if (!isServiceHost(line.serviceHost))
            line.error = notAHost(QLatin1String(ServiceHostVariable), line.serviceHost);
    } else {
        line.serviceHost = buildHost;
    }
    return line;
}
