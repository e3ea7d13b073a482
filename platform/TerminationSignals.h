#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

// The signals that ask the program to end (SIGTERM at a logout or from kill, SIGINT, SIGHUP),
// delivered as a Qt signal on the thread of the event loop. The handler only writes the signal's
// number into a pipe, which a socket notifier watches; everything else runs in the event loop.
class TerminationSignals final : public QObject {
    Q_OBJECT
public:
    // Installs the handlers and ignores SIGXFSZ, so that a write that passes a file size limit
    // fails (EFBIG) and takes its error path instead of killing the process. Called once, first
    // thing in main; false when the pipe cannot be made (the signals then keep their defaults).
    static bool install();

    // Watches the pipe; does nothing when install() was not called. A signal that arrived before
    // is delivered when the event loop runs.
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;
    Q_DISABLE_COPY_MOVE(TerminationSignals)

signals:
    void received(int signalNumber);

private:
    void readPipe();

    std::unique_ptr<QSocketNotifier> m_notifier;
};
