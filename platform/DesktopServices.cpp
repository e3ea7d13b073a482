#include "platform/DesktopServices.h"

#include <QDesktopServices>
#include <QUrl>

namespace {

class SystemDesktopServices final : public DesktopServices {
public:
    void openUrl(const QString& url) override { QDesktopServices::openUrl(QUrl(url)); }

    int composeMail(const QString& subject, const QString& body) override {
        return QDesktopServices::openUrl(QUrl(mailtoUrl(subject, body))) ? 0 : 1;
    }
};

SystemDesktopServices g_system;
DesktopServices* g_services = &g_system;

} // namespace

DesktopServices& desktopServices() {
    return *g_services;
}

void setDesktopServices(DesktopServices* services) {
    g_services = services ? services : &g_system;
}

bool isWebAddress(const QString& url) {
    const QString scheme = QUrl(url).scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

QString mailtoUrl(const QString& subject, const QString& body) {
    // Every reserved character is percent-encoded, so that an "&" or "#" in the title cannot
    // cut the subject short or start another field.
    const auto encode = [](const QString& text) {
        return QString::fromLatin1(QUrl::toPercentEncoding(text));
    };
    return QStringLiteral("mailto:?subject=") + encode(subject) + QStringLiteral("&body=") +
           encode(body);
}
