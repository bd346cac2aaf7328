#pragma once

#include <QByteArray>
#include <functional>

namespace zpc::platform {

// Standard Base64, broken into lines of lineLength characters ("\n" between
// lines, none after the last); 0 gives one line.
QByteArray EncodeBase64(const QByteArray& data, int lineLength = 76);

// The text of EncodeBase64(data, lineLength) handed to the sink in pieces of
// about a megabyte, so large data never needs its whole text at once.
void EncodeBase64Pieces(const QByteArray& data, int lineLength,
                        const std::function<void(const QByteArray&)>& sink);

// Skips line breaks and other blanks. ok is false (and the result empty) when
// anything else is not Base64.
QByteArray DecodeBase64(const QByteArray& text, bool* ok = nullptr);

// DecodeBase64 for a text that arrives in pieces: the result is the one
// DecodeBase64 gives for the whole text, but only a few characters are held
// between pieces.
class Base64Decoder {
public:
    void reserve(qsizetype bytes) { mOut.reserve(bytes); }
    void feed(const char* data, qsizetype size);
    void feed(const QByteArray& text) { feed(text.constData(), text.size()); }
    QByteArray finish(bool* ok = nullptr);

private:
    void take(const char* data, qsizetype size);
    bool decodePending(qsizetype count);

    QByteArray mOut;
    QByteArray mPending;  // not decoded yet
    QByteArray mPadding;  // from the first "=" on
    bool mFailed = false;
};

}  // namespace zpc::platform
