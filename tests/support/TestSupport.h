#pragma once

#include "platform/FolderItem.h"
#include "platform/UIServices.h"

#include <gtest/gtest.h>
#include <QByteArray>
#include <QMap>
#include <QString>
#include <QTemporaryDir>
#include <memory>

#include <ostream>

// Readable failure messages for Qt texts.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QByteArray& b, std::ostream* os) {
    *os << '"' << (b.size() > 200 ? b.left(200).toStdString() + "..." : b.toStdString()) << '"';
}
inline void PrintTo(const QStringList& l, std::ostream* os) {
    *os << "{";
    for (const QString& s : l) *os << " \"" << s.toStdString() << "\"";
    *os << " }";
}
QT_END_NAMESPACE

namespace zpc::test {

// A fresh temporary folder per test, removed afterwards.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    QString path() const { return mDir.path(); }
    QString path(const QString& relative) const {
        return mDir.path() + QLatin1Char('/') + relative;
    }
    platform::FolderItemPtr item(const QString& relative = QString()) const;
    // Writes a file, making its parent folders.
    void write(const QString& relative, const QByteArray& bytes) const;
    void mkdir(const QString& relative) const;
    QByteArray read(const QString& relative) const;
    bool exists(const QString& relative) const;

private:
    QTemporaryDir mDir;
};

// Every file and folder below root: relative path -> contents (folders map to
// the marker "<dir>", links to "<link>target"), for diff -r style comparisons.
QMap<QString, QByteArray> snapshotTree(const QString& root);

// Test fixture with the scripted UI services installed.
class ScriptedUITest : public ::testing::Test {
protected:
    ScriptedUITest();
    std::shared_ptr<platform::ScriptedUIServices> ui;

private:
    platform::ScopedUI mScope;
};

// Runs a program and waits; answers its exit code (-1 when it did not run).
struct ProcessResult {
    int exitCode = -1;
    QByteArray output;  // stdout and stderr together
};
ProcessResult runProcess(const QString& program, const QStringList& args,
                         const QMap<QString, QString>& env = {}, int timeoutMs = 60000);

// The build folder (set by CTest), to find executables under test.
QString binaryDir();

// Deterministic bytes that do not compress.
QByteArray noise(qint64 size, quint32 seed);
// Deterministic bytes with a pattern, different for each seed.
QByteArray bytesOf(int size, int seed);

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value)
        : mName(name), mWasSet(qEnvironmentVariableIsSet(name)), mOld(qgetenv(name)) {
        qputenv(name, value);
    }
    ~ScopedEnv() {
        if (mWasSet)
            qputenv(mName, mOld);
        else
            qunsetenv(mName);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* mName;
    bool mWasSet;
    QByteArray mOld;
};

}  // namespace zpc::test
