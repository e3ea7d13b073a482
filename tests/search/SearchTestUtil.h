#pragma once

#include "SearchAnswer.h"
#include "TestImages.h"

#include <QByteArray>

// One result block as the service writes it: the video's own Url before the thumbnail's.
inline QByteArray resultBlock(const QByteArray& title, const QByteArray& duration,
                              const QByteArray& copyright, const QByteArray& referer,
                              const QByteArray& thumbnail) {
    return "<Result><Title>" + title + "</Title><Summary>s</Summary><Url>http://v/" + title +
           "</Url><ClickUrl>http://c/</ClickUrl><RefererUrl>" + referer +
           "</RefererUrl><Duration>" + duration + "</Duration><Thumbnail><Url>" + thumbnail +
           "</Url></Thumbnail><Copyright>" + copyright + "</Copyright></Result>";
}
