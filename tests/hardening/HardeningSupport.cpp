#include "HardeningSupport.h"

#include "model/PluginItemFile.h"
#include "model/PluginItemFolder.h"
#include "platform/BinaryStream.h"

#include <QDir>
#include <QRandomGenerator>

namespace zpc::test {

QByteArray noise(qint64 size, quint32 seed) {
    QByteArray out(size, Qt::Uninitialized);
    QRandomGenerator random(seed);
    random.fillRange(reinterpret_cast<quint32*>(out.data()), size / 4);
    for (qint64 i = size / 4 * 4; i < size; ++i) out[i] = char(i);
    return out;
}

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
