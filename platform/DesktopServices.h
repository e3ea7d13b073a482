#pragma once

#include <QString>

// The desktop's default handlers: the web browser that opens an address and the mail program
// that composes a message. Behind an interface so that a test sees what would have been opened.
class DesktopServices {
public:
    virtual ~DesktopServices() = default;
    // Opens the address with the desktop's default handler; failures are ignored.
    virtual void openUrl(const QString& url) = 0;
    // Opens a new message with this subject and body, no recipient; 0 on success, non-zero
    // when no mail program took it.
    virtual int composeMail(const QString& subject, const QString& body) = 0;
};

// The services in use; the built-in ones use QDesktopServices.
DesktopServices& desktopServices();
// Installs services (a test's recorder); nullptr restores the built-in ones.
void setDesktopServices(DesktopServices* services);

// Whether an address is a web page (http or https, in any letter case). Only web pages are
// opened in the browser pane or handed to the desktop: another scheme (a local file, a script
// address) would run whatever is associated with it.
bool isWebAddress(const QString& url);

// The mailto: address of a new message without recipient.
QString mailtoUrl(const QString& subject, const QString& body);
