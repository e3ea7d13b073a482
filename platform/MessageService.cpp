#include "platform/MessageService.h"

#include "platform/Exception.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>

namespace {

class BoxMessageService final : public MessageService {
public:
    void Information(const QString& text) override {
        QMessageBox::information(QApplication::activeWindow(), ApplicationTitle, text);
    }

    void Error(const QString& text) override {
        QMessageBox::critical(QApplication::activeWindow(), ApplicationTitle, text);
    }
};

class StandardErrorMessageService final : public MessageService {
public:
    void Information(const QString& text) override { Write(text); }
    void Error(const QString& text) override { Write(text); }

private:
    static void Write(const QString& text) {
        std::fprintf(stderr, "%s: %s\n", ApplicationTitle.toLocal8Bit().constData(),
                     text.toLocal8Bit().constData());
        std::fflush(stderr);
    }
};

BoxMessageService g_boxService;
StandardErrorMessageService g_standardErrorService;
MessageService* g_service = &g_boxService;

} // namespace

MessageService& Messages() {
    return *g_service;
}

MessageService& StandardErrorMessages() {
    return g_standardErrorService;
}

void SetMessageService(MessageService* service) {
    g_service = service ? service : &g_boxService;
}

QString ErrorBoxText(const QString& message) {
    if (message.isEmpty() || message.back() <= u'.')
        return message;
    return message + u'.';
}

void ShowApplicationError(const QString& message) {
    Messages().Error(ErrorBoxText(message));
}

void RunCommand(const std::function<void()>& command) {
    try {
        command();
    } catch (const std::exception& e) {
        ShowApplicationError(ExceptionMessage(e));
    } catch (...) {
        ShowApplicationError(QString());
    }
}
