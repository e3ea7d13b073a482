#pragma once

#include "platform/MessageService.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QStringList>

#include <functional>
#include <optional>

// Sets an environment variable (or removes it, for nullopt) for the life of the object.
class ScopedVariable final {
public:
    ScopedVariable(const char* name, const std::optional<QString>& value)
        : m_name(name)
        , m_saved(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt) {
        if (value)
            qputenv(name, value->toLocal8Bit());
        else
            qunsetenv(name);
    }
    ~ScopedVariable() {
        if (m_saved)
            qputenv(m_name, *m_saved);
        else
            qunsetenv(m_name);
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* m_name;
    std::optional<QByteArray> m_saved;
};

// Services the event queue until the condition holds or the time runs out; returns the
// condition's last value. For anything asynchronous: never a fixed sleep.
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 10000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return condition();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// The message of the exception of type E that action raises; a marker when it raises none.
template <typename E> QString raisedMessage(const std::function<void()>& action) {
    try {
        action();
    } catch (const E& e) {
        return e.message();
    }
    return QStringLiteral("<nothing raised>");
}

// The bytes of a file, or "<missing>" when it cannot be read.
inline QByteArray readFileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Records the message boxes the program would have shown, while it is alive.
class RecordedMessages final : public MessageService {
public:
    RecordedMessages() { setMessageService(this); }
    ~RecordedMessages() override { setMessageService(nullptr); }
    RecordedMessages(const RecordedMessages&) = delete;
    RecordedMessages& operator=(const RecordedMessages&) = delete;

    void showInformation(const QString& text) override {
        information << text;
        if (onShow)
            onShow();
    }
    void showError(const QString& text) override {
        errors << text;
        if (onShow)
            onShow();
    }

    QStringList information;
    QStringList errors;
    // Runs while the box would be open (a test may check what the window shows meanwhile).
    std::function<void()> onShow;
};
