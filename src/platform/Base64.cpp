#include "platform/Base64.h"

#include <array>
#include <cstring>

namespace zpc::platform {

namespace {

bool isBlank(char c) {
    return c == '\n' || c == '\r' || c == ' ' || c == '\t';
}

// Pieces are decoded once this many characters wait.
constexpr qsizetype kDecodePiece = 1 << 16;

}  // namespace

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

void EncodeBase64Pieces(const QByteArray& data, int lineLength,
                        const std::function<void(const QByteArray&)>& sink) {
    // Whole lines per piece only work when a line is whole groups of four.
    if (lineLength <= 0 || lineLength % 4 != 0) {
        sink(EncodeBase64(data, lineLength));
        return;
    }
    const qsizetype bytesPerLine = lineLength / 4 * 3;
    const qsizetype linesPerPiece = std::max<qsizetype>(1, (1 << 20) / lineLength);
    const qsizetype bytesPerPiece = bytesPerLine * linesPerPiece;
    QByteArray piece;
    for (qsizetype at = 0; at < data.size(); at += bytesPerPiece) {
        const qsizetype n = std::min(bytesPerPiece, data.size() - at);
        const QByteArray flat = QByteArray::fromRawData(data.constData() + at, n).toBase64();
        piece.clear();
        for (qsizetype line = 0; line < flat.size(); line += lineLength) {
            if (at + line > 0) piece += '\n';
            piece.append(flat.constData() + line,
                         std::min<qsizetype>(lineLength, flat.size() - line));
        }
        sink(piece);
    }
}

QByteArray DecodeBase64(const QByteArray& text, bool* ok) {
    QByteArray compact;
    compact.reserve(text.size());
    for (char c : text) {
        if (isBlank(c)) continue;
        compact += c;
    }
    auto result = QByteArray::fromBase64Encoding(compact, QByteArray::AbortOnBase64DecodingErrors);
    if (ok) *ok = bool(result);
    return result ? *result : QByteArray();
}

// Groups of four characters decode on their own, so the text is decoded a
// piece at a time up to the first "=": whether padding is right depends on
// the whole length and on what follows it, so from there on the rest waits
// for finish(). Only "=" may follow the first "=", at most once.
void Base64Decoder::feed(const char* data, qsizetype size) {
    if (mFailed || size <= 0) return;
    if (!mPadding.isEmpty()) {
        take(data, size);
        return;
    }
    const qsizetype old = mPending.size();
    mPending.resize(old + size);
    char* out = mPending.data() + old;
    for (qsizetype i = 0; i < size; ++i) {
        const char c = data[i];
        if (isBlank(c)) continue;
        if (c == '=') {
            mPending.truncate(out - mPending.constData());
            take(data + i, size - i);
            return;
        }
        *out++ = c;
    }
    mPending.truncate(out - mPending.constData());
    if (mPending.size() >= kDecodePiece) decodePending(mPending.size() / 4 * 4);
}

// After the first "=".
void Base64Decoder::take(const char* data, qsizetype size) {
    for (qsizetype i = 0; i < size && !mFailed; ++i) {
        if (isBlank(data[i])) continue;
        mPadding += data[i];
        if (mPadding.size() > 2) mFailed = true;
    }
}

// Whole groups without padding, as the standard decoder reads them but
// without its per-character branches.
bool Base64Decoder::decodePending(qsizetype count) {
    static const auto table = [] {
        std::array<signed char, 256> t{};
        t.fill(-1);
        const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (int i = 0; i < 64; ++i) t[uchar(alphabet[i])] = char(i);
        return t;
    }();
    const uchar* in = reinterpret_cast<const uchar*>(mPending.constData());
    const qsizetype at = mOut.size();
    mOut.resize(at + count / 4 * 3);
    uchar* out = reinterpret_cast<uchar*>(mOut.data()) + at;
    for (qsizetype i = 0; i < count; i += 4) {
        const int a = table[in[i]], b = table[in[i + 1]], c = table[in[i + 2]],
                  d = table[in[i + 3]];
        if ((a | b | c | d) < 0) {
            mFailed = true;
            return false;
        }
        const unsigned v = unsigned(a) << 18 | unsigned(b) << 12 | unsigned(c) << 6 | unsigned(d);
        *out++ = uchar(v >> 16);
        *out++ = uchar(v >> 8);
        *out++ = uchar(v);
    }
    mPending.remove(0, count);
    return true;
}

QByteArray Base64Decoder::finish(bool* ok) {
    if (!mFailed) {
        // The rest, padding included, as the standard decoder judges it.
        mPending += mPadding;
        mPadding.clear();
        auto rest =
            QByteArray::fromBase64Encoding(mPending, QByteArray::AbortOnBase64DecodingErrors);
        if (rest)
            mOut += *rest;
        else
            mFailed = true;
    }
    if (ok) *ok = !mFailed;
    QByteArray out = mFailed ? QByteArray() : std::move(mOut);
    mOut = QByteArray();
    mPending.clear();
    mFailed = false;
    return out;
}

}  // namespace zpc::platform
