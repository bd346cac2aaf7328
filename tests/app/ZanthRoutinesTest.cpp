#include "app/App.h"
#include "archive/PluginArchive.h"
#include "model/ZanthPackage.h"
#include "platform/Shell.h"
#include "support/ModelOutline.h"
#include "support/TestSupport.h"

#include <sys/wait.h>
#include <unistd.h>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

using namespace zpc;
using namespace zpc::platform;
using archive::PluginArchive;
using test::snapshotTree;
using test::ScopedEnv;
using test::outline;
using test::TempDir;

namespace {

}  // namespace

// The archives reach zip and unzip through the application's routines, bound
// as their delegates the way the application binds them.
class ZanthRoutines : public test::ScriptedUITest {
protected:
    ~ZanthRoutines() override { model::ZanthPackage::removeExtractionFolders(); }

    std::shared_ptr<PluginArchive> open(const QString& relative) {
        auto archive = PluginArchive::create(
            dir.item(relative), false,
            [this](const FolderItemPtr& package, const FolderItemPtr& folder) {
                return application.decompressZanthFolder(package, folder);
            });
        archive->compressorAgent = [this](const FolderItemPtr& folder,
                                          const FolderItemPtr& package) {
            return application.compressZanthFolder(folder, package);
        };
        return archive;
    }

    app::App application;
    TempDir dir;
    TempDir tmp;
    ScopedEnv tmpdir{"TMPDIR", QFile::encodeName(tmp.path())};
};

TEST_F(ZanthRoutines, SaveAndOpenThroughTheApplication) {
    const QString plugin = "My 'plugin' $(touch canary)";
    dir.write("src/" + plugin + "/Build Resources/Windows/lib.dll", QByteArray(50000, 'w'));
    dir.write("src/" + plugin + "/IDE Resources/Help/index.html", "<html>");
    dir.write("dest/" + plugin + "/the user's.txt", "an entry of the plugin's name");
    auto archive = open("src/" + plugin);
    EXPECT_TRUE(archive->saveAsZanthPluginFile(dir.item("dest")));
    EXPECT_EQ(
        QDir(dir.path("dest")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        QStringList({plugin, plugin + ".zanth_plugin"}));
    EXPECT_EQ(dir.read("dest/" + plugin + "/the user's.txt"), "an entry of the plugin's name");

    auto back = open("dest/" + plugin + ".zanth_plugin");
    EXPECT_EQ(outline(back), outline(archive));
    EXPECT_EQ(back->name(), plugin);
    EXPECT_EQ(back->dataSource()->NativePath(), dir.path("dest/" + plugin + ".zanth_plugin"));
    EXPECT_TRUE(ui->messages().isEmpty());
    for (const QString& path : snapshotTree(dir.path()).keys() + snapshotTree(tmp.path()).keys())
        EXPECT_FALSE(path.endsWith("canary")) << path.toStdString();

    EXPECT_FALSE(application.compressZanthFolder(nullptr, dir.item("x.zanth_plugin")));
    EXPECT_FALSE(application.compressZanthFolder(dir.item("dest/" + plugin + ".zanth_plugin"),
                                                 dir.item("x.zanth_plugin")));
    EXPECT_FALSE(dir.exists("x.zanth_plugin"));
    EXPECT_TRUE(ui->messages().isEmpty());
}

TEST_F(ZanthRoutines, FailuresShowTheApplicationsMessages) {
    dir.write("src/P/IDE Resources/Help/index.html", "<html>");
    auto archive = open("src/P");
    dir.mkdir("dest");
    {
        // zip is nowhere to be found: the routine answers false.
        ScopedEnv noZip("PATH", "/nonexistent");
        Shell shell;
        shell.Execute("zip");
        EXPECT_FALSE(archive->saveAsZanthPluginFile(dir.item("dest")));
        EXPECT_EQ(ui->messages(), QStringList{shell.Result()});
        EXPECT_EQ(dir.read("dest/P/IDE Resources/Help/index.html"), "<html>")
            << "the working folder stays";
        EXPECT_FALSE(dir.exists("dest/P.zanth_plugin"));
    }

    ui->clear();
    dir.write("text.zanth_plugin", "no zip archive");
    dir.mkdir("scratch");
    const auto unzip =
        test::runProcess("/bin/sh", {"-c", "unzip -u " + shellQuote(dir.path("text.zanth_plugin")) +
                                               " -d " + shellQuote(dir.path("scratch"))});
    auto notZip = open("text.zanth_plugin");
    ASSERT_EQ(ui->shown().size(), 1u);
    EXPECT_EQ(ui->shown()[0].icon, kIconStop);
    EXPECT_EQ(ui->shown()[0].text, QString::fromUtf8(unzip.output));
    EXPECT_EQ(ui->shown()[0].explanation, "Error code: " + QString::number(unzip.exitCode));
    EXPECT_EQ(outline(notZip), outline(PluginArchive::create(false)));
    EXPECT_EQ(notZip->dataSource(), nullptr);
    EXPECT_TRUE(snapshotTree(tmp.path()).isEmpty());
}

TEST(ZanthStartup, TheProgramRemovesFoldersThatEndedProcessesLeft) {
    TempDir home, tmp;
    const pid_t ended = fork();
    if (ended == 0) _exit(0);
    waitpid(ended, nullptr, 0);
    const QString stale = tmp.path(QString("ZanthPluginConverter-%1-abcdef").arg(ended));
    const QString running = tmp.path("ZanthPluginConverter-1-abcdef");
    ASSERT_TRUE(QDir().mkpath(stale + "/20240101000000.000001.000002/P"));
    ASSERT_TRUE(QDir().mkpath(running + "/x"));

    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("TMPDIR", tmp.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", home.path());
    p.setProcessEnvironment(env);
    p.start(test::binaryDir() + "/src/app/ZanthPluginConverter", {});
    ASSERT_TRUE(p.waitForStarted(10000));
    QElapsedTimer t;
    t.start();
    while (QFile::exists(stale) && t.elapsed() < 20000) QThread::msleep(20);
    EXPECT_FALSE(QFile::exists(stale));
    EXPECT_TRUE(QFile::exists(running + "/x")) << "that process still runs";
    p.terminate();
    EXPECT_TRUE(p.waitForFinished(10000));
}
