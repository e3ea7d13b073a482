#include "platform/MessageService.h"

#include "platform/Exception.h"

#include <QApplication>
#include <QMessageBox>

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

BoxMessageService g_boxService;
MessageService* g_service = &g_boxService;

} // namespace

MessageService& Messages() {
    return *g_service;
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
