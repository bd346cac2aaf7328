#include "platform/Application.h"

#include <QCoreApplication>
#include <QFile>
#include <climits>
#include <unistd.h>

namespace zpc::platform::Application {

namespace {
QString& longVersion() {
    static QString text;
    return text;
}
}  // namespace

FolderItemPtr ExecutableFile() {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n > 0) return folderItemForPath(QFile::decodeName(QByteArray(buf, int(n))));
    if (QCoreApplication::instance()) return folderItemForPath(QCoreApplication::applicationFilePath());
    return nullptr;
}

QString LongVersion() { return longVersion(); }
void setLongVersion(const QString& text) { longVersion() = text; }

}  // namespace zpc::platform::Application
