#include "support/TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <ftw.h>
#include <unistd.h>

namespace zpc::test {

TempDir::TempDir() {
    EXPECT_TRUE(mDir.isValid());
}

// QDir cannot remove names that are not UTF-8 (they do not decode and encode
// back to the same bytes), so the tree goes by its bytes first.
TempDir::~TempDir() {
    const QByteArray root = QFile::encodeName(mDir.path());
    if (root.isEmpty()) return;
    ::nftw(
        root.constData(),
        [](const char* path, const struct stat*, int type, struct FTW*) {
            if (type == FTW_DP)
                ::rmdir(path);
            else
                ::unlink(path);
            return 0;
        },
        16, FTW_DEPTH | FTW_PHYS);
}

platform::FolderItemPtr TempDir::item(const QString& relative) const {
    return platform::folderItemForPath(relative.isEmpty() ? path() : path(relative));
}

void TempDir::write(const QString& relative, const QByteArray& bytes) const {
    const QString full = path(relative);
    QDir().mkpath(QFileInfo(full).path());
    QFile f(full);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << full.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size());
}

void TempDir::mkdir(const QString& relative) const {
    ASSERT_TRUE(QDir().mkpath(path(relative)));
}

QByteArray TempDir::read(const QString& relative) const {
    QFile f(path(relative));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

bool TempDir::exists(const QString& relative) const {
    return QFileInfo::exists(path(relative));
}

QMap<QString, QByteArray> snapshotTree(const QString& root) {
    QMap<QString, QByteArray> out;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    const QDir base(root);
    while (it.hasNext()) {
        const QString p = it.next();
        const QFileInfo info(p);
        const QString rel = base.relativeFilePath(p);
        if (info.isSymLink()) {
            out[rel] = "<link>" + QFile::encodeName(info.symLinkTarget());
        } else if (info.isDir()) {
            out[rel] = "<dir>";
        } else {
            QFile f(p);
            out[rel] = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
        }
    }
    return out;
}

ScriptedUITest::ScriptedUITest()
    : ui(std::make_shared<platform::ScriptedUIServices>()), mScope(ui) {}

ProcessResult runProcess(const QString& program, const QStringList& args,
                         const QMap<QString, QString>& env, int timeoutMs) {
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (auto it = env.begin(); it != env.end(); ++it) {
        if (it.value().isNull())
            e.remove(it.key());
        else
            e.insert(it.key(), it.value());
    }
    p.setProcessEnvironment(e);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    ProcessResult r;
    if (!p.waitForStarted(10000)) return r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.output = p.readAll();
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return r;
}

QString binaryDir() {
    return QStringLiteral(ZPC_TEST_BINARY_DIR);
}

QByteArray noise(qint64 size, quint32 seed) {
    QByteArray out(size, Qt::Uninitialized);
    for (char& c : out) {
        seed = seed * 1664525u + 1013904223u;
        c = char(seed >> 24);
    }
    return out;
}

QByteArray bytesOf(int size, int seed) {
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i) b[i] = char((i * 7 + seed * 31 + (i >> 9)) & 0xff);
    return b;
}

}  // namespace zpc::test
