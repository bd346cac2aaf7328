#include "platform/ResourceFork.h"

#include "platform/BinaryStream.h"
#include "platform/DiskFolderItem.h"
#include "platform/MacRoman.h"
#include "platform/Yield.h"

#include <sys/stat.h>
#include <algorithm>
#include <optional>
#include <set>
#include <tuple>
#include <utility>

namespace zpc::platform {

namespace {

// Callers check the range first; these never look past it.
quint32 be16(const QByteArray& b, qint64 at) {
    return (quint32(quint8(b[at])) << 8) | quint32(quint8(b[at + 1]));
}
quint32 be24(const QByteArray& b, qint64 at) {
    return (quint32(quint8(b[at])) << 16) | be16(b, at + 1);
}
quint32 be32(const QByteArray& b, qint64 at) {
    return (quint32(quint8(b[at])) << 24) | be24(b, at + 1);
}

constexpr qint64 kForkHeaderSize = 16;
constexpr qint64 kMapHeaderSize = 28;  // header copy, next map, file ref, attributes, 2 offsets
constexpr qint64 kTypeEntrySize = 8;
constexpr qint64 kRefEntrySize = 12;
constexpr quint32 kNoName = 0xFFFF;

constexpr quint32 kAppleSingleMagic = 0x00051600;
constexpr quint32 kAppleDoubleMagic = 0x00051607;
constexpr qint64 kAppleHeaderSize = 26;
constexpr qint64 kAppleEntrySize = 12;
constexpr quint32 kAppleResourceForkId = 2;

constexpr qint64 kMacBinaryBlock = 128;

qint64 padded(qint64 length) {
    return (length + kMacBinaryBlock - 1) / kMacBinaryBlock * kMacBinaryBlock;
}

bool isAppleHeader(const QByteArray& b) {
    if (b.size() < kAppleHeaderSize) return false;
    const quint32 magic = be32(b, 0);
    const quint32 version = be32(b, 4);
    return (magic == kAppleSingleMagic || magic == kAppleDoubleMagic) &&
           (version == 0x00010000 || version == 0x00020000);
}

bool isMacBinaryHeader(const QByteArray& b) {
    if (b.size() < kMacBinaryBlock) return false;
    const int nameLength = quint8(b[1]);
    if (b[0] != 0 || b[74] != 0 || nameLength < 1 || nameLength > 63) return false;
    // Version II and III keep the same CRC; version I had none and is not read.
    return crc16Xmodem(QByteArrayView(b.constData(), 124)) == be16(b, 124);
}

// The first bytes of a fork already say whether it could fit the file.
bool couldBeFork(const QByteArray& head, qint64 size) {
    if (head.size() < kForkHeaderSize) return false;
    const qint64 dataOffset = be32(head, 0), mapOffset = be32(head, 4);
    const qint64 dataLength = be32(head, 8), mapLength = be32(head, 12);
    return dataOffset + dataLength <= size && mapOffset + mapLength <= size &&
           mapLength >= kMapHeaderSize + 2;
}

// The whole file, or nothing when it is missing, no regular file (a fifo
// would block, a device never end) or larger than the limit.
std::optional<QByteArray> readSmallFile(const FolderItemPtr& item, bool onlyIfCarrier = false) {
    if (!item || !item->Exists() || item->Directory()) return std::nullopt;
    if (auto disk = std::dynamic_pointer_cast<DiskFolderItem>(item)) {
        struct stat st {};
        if (::stat(disk->encodedPath().constData(), &st) != 0 || !S_ISREG(st.st_mode))
            return std::nullopt;
    }
    const qint64 length = item->Length();
    if (length > kMaxResourceFileSize) return std::nullopt;
    auto stream = BinaryStream::Open(item);
    if (!stream) return std::nullopt;
    QByteArray bytes;
    if (onlyIfCarrier) {
        // Only a file whose first bytes fit some carrier is read in full.
        bytes = stream->Read(kMacBinaryBlock);
        if (!isAppleHeader(bytes) && !isMacBinaryHeader(bytes) && !couldBeFork(bytes, length))
            return std::nullopt;
    }
    // It may have grown since Length(); never take more than the limit.
    bytes += stream->Read(std::min(length, kMaxResourceFileSize) + 1 - bytes.size());
    if (bytes.size() > kMaxResourceFileSize) return std::nullopt;
    return bytes;
}

// Where an AppleDouble companion of the file may be, in lookup order: "._NAME"
// beside it, then, for a file at R/sub/NAME of an unpacked zip,
// R/__MACOSX/sub/._NAME for every ancestor R from the nearest up. On disk the
// paths are built from their bytes, so names that are no UTF-8 still match.
std::vector<std::pair<FolderItemPtr, ResourceCarrier>> companions(const FolderItemPtr& file) {
    std::vector<std::pair<FolderItemPtr, ResourceCarrier>> out;
    if (auto disk = std::dynamic_pointer_cast<DiskFolderItem>(file)) {
        QList<QByteArray> parts = disk->encodedPath().split('/');
        parts.removeAll(QByteArray());
        if (parts.isEmpty()) return out;
        const QByteArray companionName = "._" + parts.takeLast();
        auto path = [](const QList<QByteArray>& pieces) {
            QByteArray p;
            for (const QByteArray& piece : pieces) p += '/' + piece;
            return p;
        };
        out.emplace_back(DiskFolderItem::fromBytes(path(parts + QList{companionName})),
                         ResourceCarrier::AppleDoubleCompanion);
        for (qsizetype k = parts.size(); k >= 0; --k) {
            QList<QByteArray> pieces = parts.mid(0, k);
            pieces += QByteArray("__MACOSX");
            pieces += parts.mid(k);
            pieces += companionName;
            out.emplace_back(DiskFolderItem::fromBytes(path(pieces)),
                             ResourceCarrier::MacOSXFolder);
        }
        return out;
    }
    const FolderItemPtr parent = file->Parent();
    if (!parent) return out;
    const QString companionName = QStringLiteral("._") + file->Name();
    out.emplace_back(parent->Child(companionName), ResourceCarrier::AppleDoubleCompanion);
    QStringList below;
    for (FolderItemPtr root = parent; root; root = root->Parent()) {
        FolderItemPtr candidate = root->Child(QStringLiteral("__MACOSX"));
        for (const QString& name : below) candidate = candidate->Child(name);
        out.emplace_back(candidate->Child(companionName), ResourceCarrier::MacOSXFolder);
        below.prepend(root->Name());
    }
    return out;
}

std::shared_ptr<ResourceFork> parseIfAny(const QByteArray& fork) {
    return fork.isEmpty() ? nullptr : ResourceFork::parse(fork);
}

}  // namespace

quint16 crc16Xmodem(QByteArrayView bytes) {
    quint16 crc = 0;
    for (char c : bytes) {
        crc ^= quint16(quint8(c)) << 8;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? quint16((crc << 1) ^ 0x1021) : quint16(crc << 1);
    }
    return crc;
}

std::shared_ptr<ResourceFork> ResourceFork::parse(const QByteArray& bytes) {
    const qint64 size = bytes.size();
    if (size < kForkHeaderSize) return nullptr;
    const qint64 dataOffset = be32(bytes, 0), mapOffset = be32(bytes, 4);
    const qint64 dataLength = be32(bytes, 8), mapLength = be32(bytes, 12);
    const qint64 dataEnd = dataOffset + dataLength;
    const qint64 mapEnd = mapOffset + mapLength;
    if (dataEnd > size || mapEnd > size || mapLength < kMapHeaderSize + 2) return nullptr;

    const qint64 typeList = mapOffset + be16(bytes, mapOffset + 24);
    const qint64 nameList = mapOffset + be16(bytes, mapOffset + 26);
    if (typeList + 2 > mapEnd) return nullptr;
    const quint32 typesMinusOne = be16(bytes, typeList);
    if (typesMinusOne == 0xFFFF) return nullptr;  // how an empty map is written
    const qint64 typeCount = qint64(typesMinusOne) + 1;
    const qint64 typeListEnd = typeList + 2 + typeCount * kTypeEntrySize;
    if (typeListEnd > mapEnd) return nullptr;

    // Reference lists must lie in the map, clear of the type list and of one
    // another; a type whose list does not is left out, so every reference is
    // read at most once and each costs twelve bytes of the map.
    struct Candidate {
        qint64 start, end;
        int index;
    };
    std::vector<Candidate> lists;
    std::set<QByteArray> seenCodes;
    for (int i = 0; i < typeCount; ++i) {
        const qint64 at = typeList + 2 + i * kTypeEntrySize;
        const QByteArray code = bytes.mid(at, 4);
        const qint64 start = typeList + be16(bytes, at + 6);
        const qint64 end = start + (qint64(be16(bytes, at + 4)) + 1) * kRefEntrySize;
        if (!seenCodes.insert(code).second) continue;
        if (start < typeListEnd || end > mapEnd) continue;
        lists.push_back({start, end, i});
    }
    std::sort(lists.begin(), lists.end(), [](const Candidate& a, const Candidate& b) {
        return a.start != b.start ? a.start < b.start : a.index < b.index;
    });
    std::vector<Candidate> accepted;
    qint64 reached = 0;
    for (const Candidate& c : lists) {
        if (c.start < reached) continue;
        accepted.push_back(c);
        reached = c.end;
    }
    std::sort(accepted.begin(), accepted.end(),
              [](const Candidate& a, const Candidate& b) { return a.index < b.index; });

    std::shared_ptr<ResourceFork> fork(new ResourceFork());
    fork->mBytes = bytes;
    for (const Candidate& list : accepted) {
        Type type;
        type.code = bytes.mid(typeList + 2 + list.index * kTypeEntrySize, 4);
        for (qint64 at = list.start; at < list.end; at += kRefEntrySize) {
            // A hostile map may list millions of references.
            yield();
            Ref ref;
            ref.id = qint16(be16(bytes, at));
            ref.attributes = quint8(bytes[at + 4]);
            const qint64 lengthAt = dataOffset + be24(bytes, at + 5);
            if (lengthAt + 4 > dataEnd) continue;
            ref.dataStart = lengthAt + 4;
            ref.dataLength = be32(bytes, lengthAt);
            if (ref.dataStart + ref.dataLength > dataEnd) continue;
            const quint32 nameOffset = be16(bytes, at + 2);
            ref.hasName = nameOffset != kNoName;
            if (ref.hasName) {
                const qint64 nameAt = nameList + nameOffset;
                if (nameAt + 1 > mapEnd) continue;
                const qint64 nameLength = quint8(bytes[nameAt]);
                if (nameAt + 1 + nameLength > mapEnd) continue;
                ref.name =
                    macroman::toUnicode(QByteArrayView(bytes.constData() + nameAt + 1, nameLength));
            }
            type.refs.push_back(std::move(ref));
        }
        // The first of two resources with one id is the one a Mac would find.
        std::stable_sort(type.refs.begin(), type.refs.end(),
                         [](const Ref& a, const Ref& b) { return a.id < b.id; });
        type.refs.erase(std::unique(type.refs.begin(), type.refs.end(),
                                    [](const Ref& a, const Ref& b) { return a.id == b.id; }),
                        type.refs.end());
        fork->mTypes.push_back(std::move(type));
    }

    // Resources sharing data would let a small fork hand out its largest
    // resource many times over; only the first of overlapping ones is kept.
    struct Span {
        qint64 start, end;
        size_t type, ref;
    };
    std::vector<Span> spans;
    for (size_t t = 0; t < fork->mTypes.size(); ++t) {
        const auto& refs = fork->mTypes[t].refs;
        for (size_t r = 0; r < refs.size(); ++r)
            spans.push_back({refs[r].dataStart - 4, refs[r].dataStart + refs[r].dataLength, t, r});
    }
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) {
        return a.start != b.start ? a.start < b.start
                                  : std::tie(a.type, a.ref) < std::tie(b.type, b.ref);
    });
    std::vector<std::vector<bool>> dropped(fork->mTypes.size());
    for (size_t t = 0; t < fork->mTypes.size(); ++t)
        dropped[t].assign(fork->mTypes[t].refs.size(), false);
    reached = 0;
    for (const Span& s : spans) {
        if (s.start < reached) {
            dropped[s.type][s.ref] = true;
            continue;
        }
        reached = s.end;
    }
    for (size_t t = 0; t < fork->mTypes.size(); ++t) {
        auto& refs = fork->mTypes[t].refs;
        size_t kept = 0;
        for (size_t r = 0; r < refs.size(); ++r)
            if (!dropped[t][r]) refs[kept++] = std::move(refs[r]);
        refs.resize(kept);
    }
    std::erase_if(fork->mTypes, [](const Type& t) { return t.refs.empty(); });
    if (fork->mTypes.empty()) return nullptr;
    return fork;
}

QList<QByteArray> ResourceFork::types() const {
    QList<QByteArray> out;
    for (const Type& t : mTypes) out.append(t.code);
    return out;
}

std::vector<ResourceEntry> ResourceFork::resources(const QByteArray& type) const {
    std::vector<ResourceEntry> out;
    for (const Type& t : mTypes) {
        if (t.code != type) continue;
        for (const Ref& r : t.refs)
            out.push_back({t.code, r.id, r.name, r.hasName, r.attributes,
                           mBytes.mid(r.dataStart, r.dataLength)});
    }
    return out;
}

int ResourceFork::count() const {
    int n = 0;
    for (const Type& t : mTypes) n += int(t.refs.size());
    return n;
}

QByteArray appleSingleResourceFork(const QByteArray& file) {
    if (!isAppleHeader(file)) return {};
    const qint64 size = file.size();
    const qint64 entries = be16(file, 24);
    const qint64 tableEnd = kAppleHeaderSize + entries * kAppleEntrySize;
    if (tableEnd > size) return {};
    for (qint64 i = 0; i < entries; ++i) {
        const qint64 at = kAppleHeaderSize + i * kAppleEntrySize;
        if (be32(file, at) != kAppleResourceForkId) continue;
        const qint64 offset = be32(file, at + 4), length = be32(file, at + 8);
        if (offset < tableEnd || offset + length > size) return {};
        return file.mid(offset, length);
    }
    return {};
}

QByteArray macBinaryResourceFork(const QByteArray& file) {
    if (!isMacBinaryHeader(file)) return {};
    const qint64 dataLength = be32(file, 83), forkLength = be32(file, 87);
    const qint64 secondaryHeader = be16(file, 120);
    const qint64 forkAt = kMacBinaryBlock + padded(secondaryHeader) + padded(dataLength);
    // The last fork of the file need not be padded.
    if (forkAt + forkLength > file.size()) return {};
    return file.mid(forkAt, forkLength);
}

std::shared_ptr<ResourceFork> openResourceFork(const FolderItemPtr& file,
                                               ResourceCarrier* foundIn) {
    if (foundIn) *foundIn = ResourceCarrier::None;
    if (!file || !file->Exists() || file->Directory()) return nullptr;
    auto found = [&](std::shared_ptr<ResourceFork> fork, ResourceCarrier carrier) {
        if (fork && foundIn) *foundIn = carrier;
        return fork;
    };
    for (const auto& [companion, carrier] : companions(file))
        if (auto bytes = readSmallFile(companion))
            if (auto fork = parseIfAny(appleSingleResourceFork(*bytes)))
                return found(fork, carrier);

    if (auto bytes = readSmallFile(file, true)) {
        if (auto fork = parseIfAny(appleSingleResourceFork(*bytes)))
            return found(fork, ResourceCarrier::AppleSingle);
        if (auto fork = parseIfAny(macBinaryResourceFork(*bytes)))
            return found(fork, ResourceCarrier::MacBinary);
        if (auto fork = ResourceFork::parse(*bytes)) return found(fork, ResourceCarrier::Raw);
    }

#ifdef __APPLE__
    if (auto bytes = readSmallFile(
            file->Child(QStringLiteral("..namedfork"))->Child(QStringLiteral("rsrc"))))
        if (auto fork = parseIfAny(*bytes)) return found(fork, ResourceCarrier::NamedFork);
#endif
    return nullptr;
}

}  // namespace zpc::platform
