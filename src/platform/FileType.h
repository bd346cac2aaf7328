#pragma once

#include <QString>
#include <QStringList>

namespace zpc::platform {

// A kind of file: name, extensions (with their dot), Mac type and creator.
// The names "special/any" and "special/folder" stand for any file and any folder.
struct FileType {
    QString Name;
    QStringList Extensions;
    QString MacType;
    QString MacCreator;
};

}  // namespace zpc::platform
