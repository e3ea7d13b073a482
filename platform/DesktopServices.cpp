#include "platform/DesktopServices.h"

#include <QDesktopServices>
#include <QUrl>

namespace {

class SystemDesktopServices final : public DesktopServices {
public:
    void OpenUrl(const QString& url) override { QDesktopServices::openUrl(QUrl(url)); }

    int ComposeMail(const QString& subject, const QString& body) override {
        return QDesktopServices::openUrl(QUrl(MailtoUrl(subject, body))) ? 0 : 1;
    }
};

SystemDesktopServices g_system;
DesktopServices* g_services = &g_system;

} // namespace

DesktopServices& Desktop() {
    return *g_services;
}

void SetDesktopServices(DesktopServices* services) {
    g_services = services ? services : &g_system;
}

bool IsWebAddress(const QString& url) {
    const QString scheme = QUrl(url).scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

QString MailtoUrl(const QString& subject, const QString& body) {
    // Every reserved character is percent-encoded, so that an "&" or "#" in the title cannot
    // cut the subject short or start another field.
    const auto encode = [](const QString& text) {
        return QString::fromLatin1(QUrl::toPercentEncoding(text));
    };
    return QStringLiteral("mailto:?subject=") + encode(subject) + QStringLiteral("&body=") +
           encode(body);
}
