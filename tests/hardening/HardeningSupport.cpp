#include "HardeningSupport.h"

#include "model/PluginItemFile.h"
#include "model/PluginItemFolder.h"
#include "platform/BinaryStream.h"

#include <QDir>
#include <QRandomGenerator>

namespace zpc::test {

namespace {

void collect(const model::PluginItemPtr& node, const QString& prefix,
             QMap<QString, QByteArray>& into) {
    for (const model::PluginItemPtr& child : node->asFolder()->items()) {
        const QString path = prefix + child->name();
        if (child->asFolder()) {
            into[path] = "<dir>";
            collect(child, path + '/', into);
            continue;
        }
        const auto file = std::static_pointer_cast<model::PluginItemFile>(child);
        if (file->holdsBytes()) {
            into[path] = file->rawData();
        } else if (const auto source = file->dataSource()) {
            auto stream = platform::BinaryStream::Open(source);
            into[path] = stream ? stream->Read(stream->Length()) : QByteArray("<unreadable>");
        } else {
            into[path] = "<missing>";
        }
    }
}

}  // namespace

QMap<QString, QByteArray> contentsOf(const model::PluginItemPtr& root) {
    QMap<QString, QByteArray> out;
    collect(root, QString(), out);
    return out;
}

QStringList entriesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                      QDir::NoDotAndDotDot,
                                  QDir::Name);
}

}  // namespace zpc::test

#include <zlib.h>

namespace zpc::test {

namespace {

void put16(QByteArray& out, quint32 v) {
    out.append(char(v & 0xff)).append(char((v >> 8) & 0xff));
}
void put32(QByteArray& out, quint32 v) {
    put16(out, v & 0xffff);
    put16(out, v >> 16);
}

QByteArray rawDeflate(const QByteArray& data) {
    z_stream zs{};
    deflateInit2(&zs, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    QByteArray out(qsizetype(deflateBound(&zs, uLong(data.size()))), '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    zs.avail_in = uInt(data.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = uInt(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(qsizetype(zs.total_out));
    deflateEnd(&zs);
    return out;
}

struct Stored {
    QByteArray name;
    quint32 crc, compressedSize, size, offset, mode;
    quint16 method;
};

QByteArray localHeader(const Stored& s) {
    QByteArray out;
    put32(out, 0x04034b50);
    put16(out, 20);
    put16(out, 0);
    put16(out, s.method);
    put32(out, 0);  // time and date
    put32(out, s.crc);
    put32(out, s.compressedSize);
    put32(out, s.size);
    put16(out, quint16(s.name.size()));
    put16(out, 0);
    return out + s.name;
}

QByteArray centralDirectory(const std::vector<Stored>& stored, quint32 at) {
    QByteArray out;
    for (const Stored& s : stored) {
        put32(out, 0x02014b50);
        put16(out, 0x0314);  // made on Unix, so the mode counts
        put16(out, 20);
        put16(out, 0);
        put16(out, s.method);
        put32(out, 0);
        put32(out, s.crc);
        put32(out, s.compressedSize);
        put32(out, s.size);
        put16(out, quint16(s.name.size()));
        put32(out, 0);  // extra and comment lengths
        put32(out, 0);  // disk, internal attributes
        put32(out, s.mode << 16);
        put32(out, s.offset);
        out += s.name;
    }
    const quint32 size = quint32(out.size());
    put32(out, 0x06054b50);
    put32(out, 0);
    put16(out, quint16(stored.size()));
    put16(out, quint16(stored.size()));
    put32(out, size);
    put32(out, at);
    put16(out, 0);
    return out;
}

}  // namespace

QByteArray makeZip(const std::vector<ZipEntry>& entries) {
    QByteArray out;
    std::vector<Stored> stored;
    for (const ZipEntry& e : entries) {
        const bool folder = e.name.endsWith('/');
        const QByteArray body = e.deflate ? rawDeflate(e.data) : e.data;
        Stored s{e.name,
                 quint32(crc32(0, reinterpret_cast<const Bytef*>(e.data.constData()),
                               uInt(e.data.size()))),
                 quint32(body.size()),
                 quint32(e.data.size()),
                 quint32(out.size()),
                 e.link ? 0120777u : folder ? 040755u : 0100644u,
                 quint16(e.deflate ? 8 : 0)};
        out += localHeader(s) + body;
        stored.push_back(s);
    }
    return out + centralDirectory(stored, quint32(out.size()));
}

QByteArray makeOverlappingZip(const QByteArray& folder, int copies, qint64 size) {
    const QByteArray zeros(size, '\0');
    const QByteArray body = rawDeflate(zeros);
    const quint32 crc =
        quint32(crc32(0, reinterpret_cast<const Bytef*>(zeros.constData()), uInt(zeros.size())));
    QByteArray out;
    std::vector<Stored> stored;
    stored.push_back({folder + '/', 0, 0, 0, 0, 040755u, 0});
    out += localHeader(stored.back());
    const quint32 at = quint32(out.size());
    const Stored first{folder + "/f0", crc, quint32(body.size()), quint32(size), at, 0100644u, 8};
    out += localHeader(first) + body;
    for (int i = 0; i < copies; ++i) {
        Stored s = first;
        s.name = folder + "/f" + QByteArray::number(i);
        stored.push_back(s);
    }
    return out + centralDirectory(stored, quint32(out.size()));
}

}  // namespace zpc::test
