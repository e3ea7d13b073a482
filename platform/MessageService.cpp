#include "platform/MessageService.h"

#include "platform/Exception.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>

namespace {

class BoxMessageService final : public MessageService {
public:
    void showInformation(const QString& text) override {
        QMessageBox::information(QApplication::activeWindow(), ApplicationTitle, text);
    }

    void showError(const QString& text) override {
        QMessageBox::critical(QApplication::activeWindow(), ApplicationTitle, text);
    }
};

class StandardErrorMessageService final : public MessageService {
public:
    void showInformation(const QString& text) override { write(text); }
    void showError(const QString& text) override { write(text); }

private:
    static void write(const QString& text) {
        std::fprintf(stderr, "%s: %s\n", ApplicationTitle.toLocal8Bit().constData(),
                     text.toLocal8Bit().constData());
        std::fflush(stderr);
    }
};

BoxMessageService g_boxService;
StandardErrorMessageService g_standardErrorService;
MessageService* g_service = &g_boxService;

} // namespace

MessageService& messageService() {
    return *g_service;
}

MessageService& standardErrorMessageService() {
    return g_standardErrorService;
}

void setMessageService(MessageService* service) {
    g_service = service ? service : &g_boxService;
}

QString errorBoxText(const QString& message) {
    if (message.isEmpty() || message.back() <= u'.')
        return message;
    return message + u'.';
}

void showApplicationError(const QString& message) {
    messageService().showError(errorBoxText(message));
}

void runCommand(const std::function<void()>& command) {
    try {
        command();
    } catch (const std::exception& e) {
        showApplicationError(exceptionMessage(e));
    } catch (...) {
        showApplicationError(QString());
    }
}
