#pragma once

#include "search/ServiceHost.h"

#include <QString>
#include <QStringList>

// The environment variable that names the service host for a run.
inline constexpr char ServiceHostVariable[] = "SORVEL_SERVICE_HOST";

// The program's command line: sorvel [--service-host HOST[:PORT]] [KEYWORD...], sorvel --help,
// sorvel --version.
struct CommandLine {
    enum class Request { Run, Help, Version };

    Request request = Request::Run;
    // The words after the options, joined by spaces: the search the run starts with.
    QString keyword;
    // The service host of the run: --service-host, else the environment's, else the build's.
    QString serviceHost;
    // Why the command line cannot be used (for the standard error); empty when it can.
    QString error;
    // What --help and --version print.
    QString text;
};

// Reads the arguments (the program's name first) with the environment's SORVEL_SERVICE_HOST
// (empty when unset). --help and --version win over everything else, errors included.
CommandLine readCommandLine(const QStringList& arguments, const QString& environmentHost,
                            const QString& buildHost = ServiceHost);

// The arguments without the options that the application object takes for itself (-platform,
// -style, -display, ...) and their values, as it removes them: for a command line read before
// there is one, or without one.
QStringList withoutQtOptions(const QStringList& arguments);

// Whether text names a service host as HOST[:PORT]: a host name or IPv4 address, then a port
// from 1 to 65535; "https://" before it names a service behind TLS ("http://" is the default).
bool isServiceHost(const QString& text);
