#pragma once

#include "platform/FolderItem.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>
#include <vector>

namespace zpc::platform {

struct ResourceEntry {
    QByteArray type;  // four bytes
    int id = 0;
    QString name;  // decoded from Mac Roman
    bool hasName = false;
    quint8 attributes = 0;
    QByteArray data;
};

// The resources of a classic Mac OS resource fork, read from its bytes. Every
// offset and length in the fork is checked against the bytes at hand: a fork
// whose header or map does not fit is refused, and a resource whose reference,
// name or data does not fit (or whose data overlaps another's) is left out.
class ResourceFork {
public:
    // Nil when the bytes are no resource fork or it holds no resources.
    static std::shared_ptr<ResourceFork> parse(const QByteArray& fork);

    // The types that hold resources, in the order of the fork's map.
    QList<QByteArray> types() const;
    // Every resource of the type, ordered by id; none for an unknown type.
    std::vector<ResourceEntry> resources(const QByteArray& type) const;
    int count() const;

private:
    struct Ref {
        int id;
        quint8 attributes;
        bool hasName;
        QString name;
        qint64 dataStart;  // after the length prefix
        qint64 dataLength;
    };
    struct Type {
        QByteArray code;
        std::vector<Ref> refs;
    };

    ResourceFork() = default;

    QByteArray mBytes;
    std::vector<Type> mTypes;
};

// Where a file's resource fork was found.
enum class ResourceCarrier {
    None,
    AppleDoubleCompanion,  // "._NAME" beside the file
    MacOSXFolder,          // "._NAME" under a "__MACOSX" folder of an unpacked zip
    AppleSingle,           // the file itself is AppleSingle or AppleDouble
    MacBinary,             // MacBinary II or III
    Raw,                   // the file's data is the resource fork
    NamedFork,             // the file's own resource fork (macOS)
};

// Larger files are not read: a fork is never near this size, and a hostile
// file must not make the reader exhaust memory.
constexpr qint64 kMaxResourceFileSize = 256LL * 1024 * 1024;

// Looks for the file's resource fork in every carrier above, in that order,
// and answers the first that holds resources; nil when none does.
std::shared_ptr<ResourceFork> openResourceFork(const FolderItemPtr& file,
                                               ResourceCarrier* foundIn = nullptr);

// The resource fork inside an AppleSingle or AppleDouble file (entry 2);
// empty when there is none or the entry table does not fit the bytes.
QByteArray appleSingleResourceFork(const QByteArray& file);
// The resource fork of a MacBinary II or III file; empty when the header is
// not valid (its CRC must match) or the fork does not fit the bytes.
QByteArray macBinaryResourceFork(const QByteArray& file);
// CRC-16/XMODEM (polynomial 0x1021, start 0), as MacBinary headers use it.
quint16 crc16Xmodem(QByteArrayView bytes);

}  // namespace zpc::platform
