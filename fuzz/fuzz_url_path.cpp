// URL paths as project files and the desktop hand them over: any text either
// names one clean absolute entry or is refused, and every entry's URL leads
// back to it. Nothing here touches the disk beyond stat.
#include "FuzzSupport.h"
#include "platform/DiskFolderItem.h"
#include "platform/Exceptions.h"

#include <QList>
#include <cctype>
#include <cstring>

using namespace zpc::platform;
using zpc::fuzz::bytesOf;

namespace {

bool isCleanAbsolute(const QByteArray& path) {
    if (path == "/") return true;
    if (!path.startsWith('/') || path.endsWith('/') || path.contains('\0')) return false;
    for (const QByteArray& part : path.mid(1).split('/'))
        if (part.isEmpty() || part == "." || part == "..") return false;
    return true;
}

QByteArray encodedPath(const FolderItemPtr& item) {
    auto disk = std::dynamic_pointer_cast<DiskFolderItem>(item);
    FUZZ_CHECK(disk);
    return disk->encodedPath();
}

void checkEntry(const FolderItemPtr& item, const QString& childName) {
    const QByteArray path = encodedPath(item);
    FUZZ_CHECK(isCleanAbsolute(path));
    FUZZ_CHECK(encodedPath(GetFolderItem(item->URLPath())) == path);

    const FolderItemPtr parent = item->Parent();
    FUZZ_CHECK((path == "/") == !parent);
    if (parent) {
        const QByteArray up = encodedPath(parent);
        FUZZ_CHECK(path.startsWith(up == "/" ? up : up + '/'));
        FUZZ_CHECK(!path.mid(up == "/" ? 1 : up.size() + 1).contains('/'));
    }

    FUZZ_CHECK(!item->Directory() || item->Exists());
    FUZZ_CHECK(item->Length() >= 0);

    const FolderItemPtr child = item->Child(childName);
    if (isValidEntryName(childName)) {
        FUZZ_CHECK(encodedPath(child->Parent()) == path);
    } else {
        // A name that cannot be an entry must not reach one.
        FUZZ_CHECK(!child->Exists() && !child->Directory() && child->Length() == 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = bytesOf(data, size);

    const QString encoded = encodeUrlPath(bytes);
    for (QChar c : encoded) {
        const char a = c.toLatin1();
        FUZZ_CHECK(c.unicode() < 128 &&
                   (std::isalnum(uchar(a)) || (a && std::strchr("-._~/%", a))));
    }
    QByteArray back;
    FUZZ_CHECK(decodeUrlPath(encoded, back) && back == bytes);

    // The same bytes as UTF-8 text and, with lone surrogates, as UTF-16.
    const QString texts[] = {
        QString::fromUtf8(bytes),
        QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2),
    };
    for (const QString& text : texts) {
        QByteArray decoded;
        if (decodeUrlPath(text, decoded)) FUZZ_CHECK(decoded.size() <= text.toUtf8().size());

        FolderItemPtr item;
        try {
            item = GetFolderItem(text);
        } catch (const UnsupportedFormatException&) {
            continue;
        }
        const QString name = text.mid(text.lastIndexOf(QLatin1Char('/')) + 1);
        checkEntry(item, name);
        checkEntry(item, text);
        if (item->Parent()) checkEntry(item->Parent(), name);
    }
    return 0;
}
