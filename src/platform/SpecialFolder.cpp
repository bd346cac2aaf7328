#include "platform/SpecialFolder.h"

#include <QDir>
#include <QStandardPaths>

namespace zpc::platform::SpecialFolder {

FolderItemPtr Documents() {
    QString path = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (path.isEmpty()) path = QDir::homePath() + QStringLiteral("/Documents");
    return folderItemForPath(path);
}

FolderItemPtr Temporary() { return folderItemForPath(QDir::tempPath()); }

}  // namespace zpc::platform::SpecialFolder
