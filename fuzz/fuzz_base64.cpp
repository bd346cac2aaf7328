// Base64 as the project file carries it: decoding any text, and encoding
// any bytes at any line length, must round-trip.
#include "FuzzSupport.h"
#include "platform/Base64.h"

using namespace zpc::platform;
using zpc::fuzz::bytesOf;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray text = bytesOf(data, size);

    bool ok = true;
    const QByteArray decoded = DecodeBase64(text, &ok);
    FUZZ_CHECK(ok || decoded.isEmpty());
    if (ok) {
        for (int lineLength : {0, 4, 76}) {
            bool again = false;
            FUZZ_CHECK(DecodeBase64(EncodeBase64(decoded, lineLength), &again) == decoded);
            FUZZ_CHECK(again);
        }
    }

    // The input as data, at a line length it picks (negative ones included).
    const int lineLength = size > 0 ? int(qint8(data[0])) : 76;
    const QByteArray encoded = EncodeBase64(text, lineLength);
    for (qsizetype at = 0, line = 0; at < encoded.size(); ++at, ++line) {
        if (encoded[at] == '\n') {
            FUZZ_CHECK(lineLength > 0 && line == lineLength);
            line = -1;
        }
    }
    FUZZ_CHECK(!encoded.endsWith('\n'));
    bool back = false;
    FUZZ_CHECK(DecodeBase64(encoded, &back) == text);
    FUZZ_CHECK(back);
    return 0;
}
