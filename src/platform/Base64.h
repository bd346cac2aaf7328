#pragma once

#include <QByteArray>

namespace zpc::platform {

// Standard Base64, broken into lines of lineLength characters ("\n" between
// lines, none after the last); 0 gives one line.
QByteArray EncodeBase64(const QByteArray& data, int lineLength = 76);

// Skips line breaks and other blanks. ok is false (and the result empty) when
// anything else is not Base64.
QByteArray DecodeBase64(const QByteArray& text, bool* ok = nullptr);

}  // namespace zpc::platform
