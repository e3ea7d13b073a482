#pragma once

#include <QtGlobal>

#include <functional>

class QIODevice;

enum class UUMethods : quint8 { uuMime = 0, uuCode = 1 };

// Encodes a stream as lines of base64 (uuMime) or classic uuencode (uuCode), 45 input bytes a
// line, each line ending in CR LF. The streams belong to the caller.
class TNMUUProcessor final {
public:
    using TNotifyEvent = std::function<void(TNMUUProcessor* sender)>;

    TNMUUProcessor() = default;
    Q_DISABLE_COPY_MOVE(TNMUUProcessor)

    UUMethods Method = UUMethods::uuMime;
    QIODevice* InputStream = nullptr;
    QIODevice* OutputStream = nullptr;
    TNotifyEvent OnBeginEncode;
    TNotifyEvent OnEndEncode;
    // Kept for the component's shape; nothing raises them.
    TNotifyEvent OnBeginDecode;
    TNotifyEvent OnEndDecode;

    // Reads InputStream from its start to its end and writes the lines to OutputStream, which is
    // left positioned at its start (also when a stream error is passed on).
    void encode();
};
