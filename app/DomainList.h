#pragma once

#include <QStringList>

// The rows of the settings dialog's domain box: four groups of video-sharing hosts, each under a
// header in angle brackets, separated by an empty row. The hosts of the adult group end in one
// tab character, which belongs to the row and so to the site value sent to the service.
const QStringList& domainRows();
