#pragma once

#include "model/PluginItem.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <vector>

namespace zpc::test {

// A plugin tree as relative path -> contents ("<dir>" for folders), whether
// its files hold their bytes or link to files on disk ("<missing>" then).
QMap<QString, QByteArray> contentsOf(const model::PluginItemPtr& root);

// Names in a folder, hidden ones included, sorted.
QStringList entriesIn(const QString& folder);

}  // namespace zpc::test

namespace zpc::test {

// Zip archives byte by byte, for packages no zip command would make.
struct ZipEntry {
    QByteArray name;
    QByteArray data;  // a link's target for links
    bool link = false;
    bool deflate = false;
};
QByteArray makeZip(const std::vector<ZipEntry>& entries);
// One deflated file of zeros, listed copies times in the central directory,
// every listing pointing at the same bytes: a small package that claims
// copies * size bytes once unpacked.
QByteArray makeOverlappingZip(const QByteArray& folder, int copies, qint64 size);

}  // namespace zpc::test
