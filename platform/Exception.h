#pragma once

#include <QString>

#include <exception>
#include <string>

// The base of every error the program raises inside a command. It carries the message that
// the application's error box shows.
class Exception : public std::exception {
public:
    explicit Exception(QString message)
        : m_message(std::move(message))
        , m_utf8(m_message.toStdString()) {}

    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.c_str(); }

private:
    QString m_message;
    std::string m_utf8;
};

// The message of any standard exception: ours carry it as text, others as their what().
inline QString exceptionMessage(const std::exception& e) {
    if (const auto* ours = dynamic_cast<const Exception*>(&e))
        return ours->message();
    return QString::fromLocal8Bit(e.what());
}

// A text that should have been an integer: "'%s' は整数ではありません".
class ConversionError : public Exception {
public:
    using Exception::Exception;
};

// A profile (INI) file that could not be written: "%s に書き込めません".
class ProfileWriteError : public Exception {
public:
    using Exception::Exception;
};
