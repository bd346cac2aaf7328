#pragma once

#include "model/PluginItem.h"

#include <QByteArray>
#include <QMap>
#include <QString>

namespace zpc::test {

// Deterministic bytes that do not compress much.
QByteArray noise(qint64 size, quint32 seed);

// A plugin tree as relative path -> contents ("<dir>" for folders), whether
// its files hold their bytes or link to files on disk ("<missing>" then).
QMap<QString, QByteArray> contentsOf(const model::PluginItemPtr& root);

// Names in a folder, hidden ones included, sorted.
QStringList entriesIn(const QString& folder);

}  // namespace zpc::test
