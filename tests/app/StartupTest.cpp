#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

using zpc::test::TempDir;

namespace {

QString appExecutable() { return zpc::test::binaryDir() + "/src/app/ZanthPluginConverter"; }

// Starts the program with HOME in the temporary folder, waits until its
// working folder appears (the Open event ran), lets it idle, then asks it to
// quit and answers its exit code.
int startAndQuit(const QString& program, const TempDir& home, const QString& expectFolder) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", home.path());
    env.remove("XDG_CONFIG_HOME");
    env.remove("XDG_DOCUMENTS_DIR");
    p.setProcessEnvironment(env);
    p.start(program, {});
    if (!p.waitForStarted(10000)) return -100;
    QElapsedTimer t;
    t.start();
    while (!QFileInfo(home.path(expectFolder)).isDir() && t.elapsed() < 20000) QThread::msleep(20);
    QThread::msleep(300);  // idle a moment
    if (p.state() != QProcess::Running) return -101;
    p.terminate();
    if (!p.waitForFinished(10000)) {
        p.kill();
        return -102;
    }
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -103;
}

}  // namespace

TEST(Startup, FirstStartMakesTheWorkingFolderAndSecondLeavesItAlone) {
    ASSERT_TRUE(QFileInfo(appExecutable()).isExecutable()) << appExecutable().toStdString();
    TempDir home;
    EXPECT_EQ(startAndQuit(appExecutable(), home, "Documents/ZanthPluginConverter"), 0);
    EXPECT_TRUE(home.exists("Documents/ZanthPluginConverter"));
    home.write("Documents/ZanthPluginConverter/mine.txt", "keep");
    EXPECT_EQ(startAndQuit(appExecutable(), home, "Documents/ZanthPluginConverter"), 0);
    EXPECT_EQ(home.read("Documents/ZanthPluginConverter/mine.txt"), "keep");
}

TEST(Startup, WorkingFolderIsNamedUpToTheFirstDot) {
    TempDir home;
    const QString copy = home.path("Tool.beta.app");
    ASSERT_TRUE(QFile::copy(appExecutable(), copy));
    ASSERT_TRUE(QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    EXPECT_EQ(startAndQuit(copy, home, "Documents/Tool"), 0);
    EXPECT_TRUE(home.exists("Documents/Tool"));
    EXPECT_FALSE(home.exists("Documents/Tool.beta"));
}
