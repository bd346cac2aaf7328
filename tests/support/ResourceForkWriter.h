#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

namespace zpc::test {

// Writes classic Mac OS resource forks in Apple's layout (a 256-byte header
// area, the data, then the map with its type list, reference lists and name
// list), and wraps them in the carriers that take a fork to other systems.
class ResourceForkWriter {
public:
    struct Resource {
        QByteArray type;  // four bytes
        int id = 0;
        QByteArray data;
        std::optional<QString> name;  // written in Mac Roman
        quint8 attributes = 0;
    };

    // Where the parts of a written fork lie (absolute offsets), for tests that
    // damage them. Per resource, in the order added.
    struct Layout {
        qint64 dataOffset = 0, dataLength = 0, mapOffset = 0, mapLength = 0;
        qint64 typeList = 0;  // the count field
        qint64 nameList = 0;
        std::vector<qint64> typeEntries;  // per type, in map order
        std::vector<qint64> references;   // per resource
        std::vector<qint64> data;         // per resource: its length prefix
        std::vector<qint64> names;        // per resource: its length byte, or -1
    };

    ResourceForkWriter& add(const QByteArray& type, int id, const QByteArray& data,
                            std::optional<QString> name = std::nullopt, quint8 attributes = 0);

    // Types go in the order first added, references and data in the order
    // added. With no resources the map is empty (a type count of 0xFFFF).
    QByteArray fork(Layout* layout = nullptr) const;

    // The "._NAME" companion: Finder info and the resource fork.
    static QByteArray appleDouble(const QByteArray& fork);
    // Data fork and resource fork in one file.
    static QByteArray appleSingle(const QByteArray& fork, const QByteArray& dataFork = {});
    enum class MacBinary { II, III };
    // Header (with its CRC), then data and resource fork, each padded to 128.
    static QByteArray macBinary(const QByteArray& fork, const QByteArray& dataFork,
                                const QString& name, MacBinary version = MacBinary::II);
    // Writes the header's CRC again, after a test changed the header.
    static void sealMacBinaryHeader(QByteArray& file);

private:
    std::vector<Resource> mResources;
};

quint32 getBE16(const QByteArray& b, qint64 at);
quint32 getBE32(const QByteArray& b, qint64 at);
void putBE16(QByteArray& b, qint64 at, quint32 value);
void putBE24(QByteArray& b, qint64 at, quint32 value);
void putBE32(QByteArray& b, qint64 at, quint32 value);

}  // namespace zpc::test
