#include "platform/Base64.h"

namespace zpc::platform {

QByteArray EncodeBase64(const QByteArray& data, int lineLength) {
    const QByteArray flat = data.toBase64();
    if (lineLength <= 0 || flat.size() <= lineLength) return flat;
    QByteArray out;
    out.reserve(flat.size() + flat.size() / lineLength + 1);
    for (qsizetype at = 0; at < flat.size(); at += lineLength) {
        if (at) out += '\n';
        out.append(flat.constData() + at, std::min<qsizetype>(lineLength, flat.size() - at));
    }
    return out;
}

QByteArray DecodeBase64(const QByteArray& text, bool* ok) {
    QByteArray compact;
    compact.reserve(text.size());
    for (char c : text) {
        if (c == '\n' || c == '\r' || c == ' ' || c == '\t') continue;
        compact += c;
    }
    auto result = QByteArray::fromBase64Encoding(compact, QByteArray::AbortOnBase64DecodingErrors);
    if (ok) *ok = bool(result);
    return result ? *result : QByteArray();
}

}  // namespace zpc::platform
