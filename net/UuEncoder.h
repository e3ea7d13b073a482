#pragma once

#include <QtGlobal>

#include <functional>

class QIODevice;

// Encodes a stream as lines of base64 (Base64) or classic uuencode (Uuencode), 45 input bytes a
// line, each line ending in CR LF. The streams belong to the caller.
class UuEncoder final {
public:
    enum class Format : quint8 { Base64 = 0, Uuencode = 1 };

    using Handler = std::function<void(UuEncoder* sender)>;

    UuEncoder() = default;
    Q_DISABLE_COPY_MOVE(UuEncoder)

    Format format = Format::Base64;
    QIODevice* input = nullptr;
    QIODevice* output = nullptr;
    Handler onBeginEncode;
    Handler onEndEncode;
    // Part of the encoder's interface; nothing raises them (it only encodes).
    Handler onBeginDecode;
    Handler onEndDecode;

    // Reads input from its start to its end and writes the lines to output, which is
    // left positioned at its start (also when a stream error is passed on).
    void encode();
};
