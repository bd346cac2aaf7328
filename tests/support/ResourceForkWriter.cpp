#include "support/ResourceForkWriter.h"

#include "platform/MacRoman.h"

namespace zpc::test {

namespace {

constexpr qint64 kHeaderArea = 256;  // 16 bytes of header, the rest reserved
constexpr qint64 kMapHeader = 28;

QByteArray pad128(QByteArray b) {
    b.append(QByteArray((128 - b.size() % 128) % 128, '\0'));
    return b;
}

quint16 crc16(const QByteArray& bytes) {
    quint16 crc = 0;
    for (char c : bytes) {
        crc ^= quint16(quint8(c)) << 8;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? quint16((crc << 1) ^ 0x1021) : quint16(crc << 1);
    }
    return crc;
}

}  // namespace

quint32 getBE16(const QByteArray& b, qint64 at) {
    return (quint32(quint8(b[at])) << 8) | quint8(b[at + 1]);
}
quint32 getBE32(const QByteArray& b, qint64 at) {
    return (getBE16(b, at) << 16) | getBE16(b, at + 2);
}
void putBE16(QByteArray& b, qint64 at, quint32 value) {
    b[at] = char(value >> 8);
    b[at + 1] = char(value);
}
void putBE24(QByteArray& b, qint64 at, quint32 value) {
    b[at] = char(value >> 16);
    putBE16(b, at + 1, value);
}
void putBE32(QByteArray& b, qint64 at, quint32 value) {
    putBE16(b, at, value >> 16);
    putBE16(b, at + 2, value);
}

ResourceForkWriter& ResourceForkWriter::add(const QByteArray& type, int id, const QByteArray& data,
                                            std::optional<QString> name, quint8 attributes) {
    mResources.push_back({type.leftJustified(4, ' ', true), id, data, std::move(name), attributes});
    return *this;
}

QByteArray ResourceForkWriter::fork(Layout* layout) const {
    Layout l;
    std::vector<QByteArray> types;
    std::vector<std::vector<size_t>> members;
    for (size_t i = 0; i < mResources.size(); ++i) {
        size_t t = 0;
        while (t < types.size() && types[t] != mResources[i].type) ++t;
        if (t == types.size()) {
            types.push_back(mResources[i].type);
            members.emplace_back();
        }
        members[t].push_back(i);
    }

    QByteArray out(kHeaderArea, '\0');
    l.dataOffset = kHeaderArea;
    std::vector<qint64> dataAt;
    for (const Resource& r : mResources) {
        dataAt.push_back(out.size() - l.dataOffset);
        l.data.push_back(out.size());
        QByteArray length(4, '\0');
        putBE32(length, 0, quint32(r.data.size()));
        out += length + r.data;
    }
    l.dataLength = out.size() - l.dataOffset;

    QByteArray names;
    std::vector<qint64> nameAt;
    for (const Resource& r : mResources) {
        if (!r.name) {
            nameAt.push_back(-1);
            continue;
        }
        const QByteArray bytes = platform::macroman::fromUnicode(*r.name).left(255);
        nameAt.push_back(names.size());
        names += char(bytes.size()) + bytes;
    }

    const qint64 typeListSize = 2 + qint64(types.size()) * 8;
    const qint64 refsSize = qint64(mResources.size()) * 12;
    l.mapOffset = out.size();
    l.typeList = l.mapOffset + kMapHeader;
    l.nameList = l.typeList + typeListSize + refsSize;
    QByteArray map(kMapHeader + typeListSize + refsSize, '\0');
    putBE16(map, 24, quint32(kMapHeader));
    putBE16(map, 26, quint32(kMapHeader + typeListSize + refsSize));
    putBE16(map, kMapHeader, quint32(types.size() - 1));  // 0xFFFF when empty
    l.references.assign(mResources.size(), 0);
    l.names.assign(mResources.size(), -1);
    qint64 ref = typeListSize;
    for (size_t t = 0; t < types.size(); ++t) {
        const qint64 entry = kMapHeader + 2 + qint64(t) * 8;
        l.typeEntries.push_back(l.mapOffset + entry);
        map.replace(entry, 4, types[t]);
        putBE16(map, entry + 4, quint32(members[t].size() - 1));
        putBE16(map, entry + 6, quint32(ref));
        for (size_t i : members[t]) {
            const qint64 at = kMapHeader + ref;
            l.references[i] = l.mapOffset + at;
            putBE16(map, at, quint32(mResources[i].id));
            putBE16(map, at + 2, nameAt[i] < 0 ? 0xFFFF : quint32(nameAt[i]));
            if (nameAt[i] >= 0) l.names[i] = l.nameList + nameAt[i];
            map[at + 4] = char(mResources[i].attributes);
            putBE24(map, at + 5, quint32(dataAt[i]));
            ref += 12;
        }
    }
    map += names;
    l.mapLength = map.size();
    out += map;

    putBE32(out, 0, quint32(l.dataOffset));
    putBE32(out, 4, quint32(l.mapOffset));
    putBE32(out, 8, quint32(l.dataLength));
    putBE32(out, 12, quint32(l.mapLength));
    out.replace(l.mapOffset, 16, out.left(16));  // the map starts with a copy of the header
    if (layout) *layout = l;
    return out;
}

namespace {

// AppleSingle and AppleDouble share the layout: magic, version, 16 bytes of
// filler, the entry table, then the entries.
QByteArray appleFile(quint32 magic, const std::vector<std::pair<quint32, QByteArray>>& entries) {
    QByteArray out(26 + qint64(entries.size()) * 12, '\0');
    putBE32(out, 0, magic);
    putBE32(out, 4, 0x00020000);
    putBE16(out, 24, quint32(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
        const qint64 at = 26 + qint64(i) * 12;
        putBE32(out, at, entries[i].first);
        putBE32(out, at + 4, quint32(out.size()));
        putBE32(out, at + 8, quint32(entries[i].second.size()));
        out += entries[i].second;
    }
    return out;
}

}  // namespace

QByteArray ResourceForkWriter::appleDouble(const QByteArray& fork) {
    return appleFile(0x00051607, {{9, QByteArray(32, '\0')}, {2, fork}});
}

QByteArray ResourceForkWriter::appleSingle(const QByteArray& fork, const QByteArray& dataFork) {
    return appleFile(0x00051600, {{1, dataFork}, {2, fork}});
}

QByteArray ResourceForkWriter::macBinary(const QByteArray& fork, const QByteArray& dataFork,
                                         const QString& name, MacBinary version) {
    QByteArray header(128, '\0');
    const QByteArray nameBytes = platform::macroman::fromUnicode(name).left(63);
    header[1] = char(nameBytes.size());
    header.replace(2, nameBytes.size(), nameBytes);
    header.replace(65, 8, "BINAxxxx");  // file type and creator
    putBE32(header, 83, quint32(dataFork.size()));
    putBE32(header, 87, quint32(fork.size()));
    if (version == MacBinary::III) header.replace(102, 4, "mBIN");
    header[122] = char(version == MacBinary::III ? 130 : 129);
    header[123] = char(129);
    sealMacBinaryHeader(header);
    return header + pad128(dataFork) + pad128(fork);
}

void ResourceForkWriter::sealMacBinaryHeader(QByteArray& file) {
    putBE16(file, 124, crc16(file.left(124)));
}

}  // namespace zpc::test
