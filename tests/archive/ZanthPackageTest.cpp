#include "archive/PluginArchive.h"
#include "model/PluginItemFile.h"
#include "model/ZanthPackage.h"
#include "platform/Exceptions.h"
#include "platform/Shell.h"
#include "support/TestSupport.h"

#include <sys/wait.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

using namespace zpc::archive;
using namespace zpc::model;
using namespace zpc::platform;
using zpc::test::runProcess;
using zpc::test::ScriptedUITest;
using zpc::test::bytesOf;
using zpc::test::ScopedEnv;
using zpc::test::snapshotTree;
using zpc::test::TempDir;

namespace {

// The tree as indented lines; folders end in "/".
QString outline(const PluginItemPtr& node, int depth = 0) {
    QString out;
    for (const PluginItemPtr& child : node->asFolder()->items()) {
        out += QString(depth * 2, ' ') + child->name() + (child->asFolder() ? "/" : "") +
               (child->mutableName() ? "\n" : " (fixed)\n");
        if (child->asFolder()) out += outline(child, depth + 1);
    }
    return out;
}

QString standardTree() {
    return outline(PluginArchive::create(false));
}

void writePlugin(const TempDir& dir, const QString& root) {
    dir.write(root + "/Build Resources/Windows/lib.dll", bytesOf(70000, 1));
    dir.write(root + "/Build Resources/Linux X86/lib.so", bytesOf(3000, 2));
    dir.write(root + "/Build Resources/Mac Cocoa/Plug.bundle/Contents/MacOS/Plug", "exe");
    dir.write(root + "/IDE Resources/Help/index.html", "<html>help</html>");
    dir.write(root + "/IDE Resources/Help/topics/a b.html", "a");
    dir.write(root + "/IDE Resources/Controls Palette/.hidden", "h");
    dir.write(root + "/readme.txt", "r");
}

// Runs a command line in a folder with the real shell.
void run(const QString& folder, const QString& commandLine) {
    const auto r = runProcess("/bin/sh", {"-c", "cd " + shellQuote(folder) + " && " + commandLine});
    ASSERT_EQ(r.exitCode, 0) << commandLine.toStdString() << "\n" << r.output.toStdString();
}

// Through a link: unzip takes wildcards in the name of a package as a pattern.
QStringList entriesOf(const TempDir& dir, const QString& package) {
    QFile::remove(dir.path("listed.zip"));
    EXPECT_TRUE(QFile::link(package, dir.path("listed.zip")));
    return QString::fromUtf8(runProcess("unzip", {"-Z1", dir.path("listed.zip")}).output)
        .split('\n', Qt::SkipEmptyParts);
}

// The plugin's files as a folder written from the tree, to compare bytes.
QMap<QString, QByteArray> writtenOut(const std::shared_ptr<PluginArchive>& archive,
                                     const TempDir& dir, const QString& where) {
    dir.mkdir(where);
    EXPECT_TRUE(archive->saveAsFolder(dir.item(where)));
    return snapshotTree(dir.path(where + "/" + archive->name()));
}

}  // namespace

// Packages are unpacked into a temporary folder of the test's own, so a test
// sees everything the program leaves there.
class ZanthPackageTest : public ScriptedUITest {
protected:
    ~ZanthPackageTest() override { ZanthPackage::removeExtractionFolders(); }

    std::shared_ptr<PluginArchive> open(const QString& relative) {
        return PluginArchive::create(dir.item(relative), false, nullptr);
    }

    TempDir dir;
    TempDir tmp;
    ScopedEnv tmpdir{"TMPDIR", QFile::encodeName(tmp.path())};
};

TEST_F(ZanthPackageTest, RoundTripWithHostileNamesRunsNothingElse) {
    const QString inject = "$(touch canary);touch canary`touch canary`";
    struct Case {
        QString plugin;
        QString destination;
    };
    const Case cases[] = {{"Plain", "out"},
                          {"with blank", "out dir"},
                          {"it's \"quoted\"", "it's \"out\""},
                          {inject, inject},
                          {QString::fromUtf8("Ünïcødé 日本語"), QString::fromUtf8("dést ñ")},
                          {"-leading dash", "-out"},
                          {"x[1]*?", "glob [1]*?"}};
    // unzip would take the last name as a pattern and read this one instead.
    dir.write("decoy/Decoy/IDE Resources/Help/decoy.html", "decoy");
    run(dir.path("decoy"), "zip -q -r decoy.zip Decoy");

    int n = 0;
    for (const Case& c : cases) {
        const std::string what = c.plugin.toStdString();
        const QString source = QString("src%1/").arg(n) + c.plugin;
        const QString dest = QString("dest%1/").arg(n) + c.destination;
        writePlugin(dir, source);
        // unzip keeps control characters in names only when told to.
        dir.write(source + "/IDE Resources/Help/topics/line\nbreak\ttab", "c");
        dir.mkdir(dest);
        QFile::copy(dir.path("decoy/decoy.zip"), dir.path(dest + "/x1ab.zanth_plugin"));
        const auto before = snapshotTree(dir.path(dest));

        auto archive = open(source);
        ASSERT_EQ(archive->name(), c.plugin) << what;
        EXPECT_TRUE(archive->saveAsZanthPluginFile(dir.item(dest))) << what;

        const QString packageName = c.plugin + ".zanth_plugin";
        auto after = snapshotTree(dir.path(dest));
        const QByteArray package = after.take(packageName);
        EXPECT_FALSE(package.isEmpty()) << what;
        EXPECT_EQ(after, before) << what << ": one new file, nothing else";
        const QStringList entries = entriesOf(dir, dir.path(dest + "/" + packageName));
        EXPECT_TRUE(entries.contains(c.plugin + "/Build Resources/Windows/lib.dll")) << what;
        for (const QString& entry : entries)
            EXPECT_TRUE(entry.startsWith(c.plugin + "/")) << what << ": " << entry.toStdString();

        auto back = open(dest + "/" + packageName);
        EXPECT_EQ(outline(back), outline(archive)) << what;
        EXPECT_EQ(back->name(), c.plugin) << what;
        ASSERT_TRUE(back->dataSource()) << what;
        EXPECT_EQ(back->dataSource()->NativePath(), dir.path(dest + "/" + packageName)) << what;
        EXPECT_FALSE(back->classicHierarchyStyle()) << what;
        EXPECT_EQ(writtenOut(back, dir, QString("copy%1").arg(n)),
                  writtenOut(archive, dir, QString("original%1").arg(n)))
            << what;
        ++n;
    }
    EXPECT_TRUE(ui->messages().isEmpty()) << ui->messages().join("\n").toStdString();
    for (const auto& tree : {snapshotTree(dir.path()), snapshotTree(tmp.path())})
        for (const QString& path : tree.keys())
            EXPECT_FALSE(path.endsWith("canary")) << path.toStdString();
    EXPECT_FALSE(QFile::exists("canary"));
}

TEST_F(ZanthPackageTest, ASecondSaveReplacesThePackageAndLeavesTheUsersEntry) {
    writePlugin(dir, "src/P");
    dir.write("dest/P/mine.txt", "the user's own folder");
    dir.write("dest/P.zanth_plugin", "an old package");
    QFile::setPermissions(dir.path("dest/P.zanth_plugin"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    const auto mine = snapshotTree(dir.path("dest/P"));
    auto archive = open("src/P");
    const QString package = dir.path("dest/P.zanth_plugin");

    EXPECT_TRUE(archive->saveAsZanthPluginFile(dir.item("dest")));
    EXPECT_TRUE(entriesOf(dir, package).contains("P/Build Resources/Linux X86/lib.so"));
    archive->hasItem(QStringLiteral("Linux X86"))->asFolder()->remove(0);
    EXPECT_TRUE(archive->saveAsZanthPluginFile(dir.item("dest")));

    const QStringList entries = entriesOf(dir, package);
    EXPECT_FALSE(entries.contains("P/Build Resources/Linux X86/lib.so")) << "removed since";
    EXPECT_TRUE(entries.contains("P/Build Resources/Windows/lib.dll"));
    for (const QString& entry : entries) EXPECT_TRUE(entry.startsWith("P/")) << entry.toStdString();
    EXPECT_EQ(snapshotTree(dir.path("dest/P")), mine);
    EXPECT_EQ(
        QDir(dir.path("dest")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        QStringList({"P", "P.zanth_plugin"}));
    EXPECT_EQ(
        QFile::permissions(package) & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther),
        QFile::ReadGroup)
        << "the replaced package's permissions are kept";

    // Beside the plugin's own folder: that folder is the entry of its name.
    const auto source = snapshotTree(dir.path("src"));
    EXPECT_TRUE(archive->saveAsZanthPluginFile(dir.item("src")));
    auto after = snapshotTree(dir.path("src"));
    EXPECT_FALSE(after.take("P.zanth_plugin").isEmpty());
    EXPECT_EQ(after, source);
    EXPECT_TRUE(ui->messages().isEmpty());
}

TEST_F(ZanthPackageTest, AFailingZipKeepsTheOldPackageAndTheWorkingFolder) {
    writePlugin(dir, "src/P");
    auto archive = open("src/P");
    dir.mkdir("dest");
    ASSERT_TRUE(archive->saveAsZanthPluginFile(dir.item("dest")));
    const QByteArray old = dir.read("dest/P.zanth_plugin");
    archive->hasItem(QStringLiteral("Linux X86"))->asFolder()->remove(0);

    ScopedEnv noZip("PATH", "/nonexistent");
    Shell shell;
    shell.Execute("zip");
    EXPECT_FALSE(archive->saveAsZanthPluginFile(dir.item("dest")));
    EXPECT_EQ(ui->messages(), QStringList{shell.Result()});
    EXPECT_EQ(dir.read("dest/P.zanth_plugin"), old);
    EXPECT_EQ(dir.read("dest/P/Build Resources/Windows/lib.dll"), bytesOf(70000, 1))
        << "the working folder stays";
    EXPECT_EQ(
        QDir(dir.path("dest")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        QStringList({"P", "P.zanth_plugin"}));
}

TEST_F(ZanthPackageTest, WithoutAShellTheFailurePassesToTheCaller) {
    writePlugin(dir, "src/P");
    run(dir.path("src"), "zip -q -r ../p.zanth_plugin P");
    auto archive = open("src/P");
    dir.mkdir("dest");
    const QString shell = Shell::shellProgram();
    Shell::setShellProgram(dir.path("no such shell"));
    EXPECT_THROW(archive->saveAsZanthPluginFile(dir.item("dest")), ShellNotAvailableException);
    EXPECT_THROW(open("p.zanth_plugin"), ShellNotAvailableException);
    Shell::setShellProgram(shell);
    EXPECT_EQ(QDir(dir.path("dest")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"P"})
        << "the working folder stays, nothing else";
    EXPECT_TRUE(snapshotTree(tmp.path()).isEmpty());
    EXPECT_TRUE(ui->messages().isEmpty());
}

TEST_F(ZanthPackageTest, NothingToSaveOrNowhereToSaveIt) {
    dir.write("file", "x");
    auto archive = PluginArchive::create(false);
    EXPECT_FALSE(archive->saveAsZanthPluginFile(nullptr));
    EXPECT_FALSE(archive->saveAsZanthPluginFile(dir.item("missing")));
    EXPECT_FALSE(archive->saveAsZanthPluginFile(dir.item("file")));
    archive->items().clear();
    EXPECT_FALSE(archive->saveAsZanthPluginFile(dir.item()));
    EXPECT_EQ(snapshotTree(dir.path()), (QMap<QString, QByteArray>{{"file", "x"}}));
    EXPECT_TRUE(ui->messages().isEmpty());
}

TEST_F(ZanthPackageTest, PackagesMadeByOtherTools) {
    writePlugin(dir, "stage/P");
    dir.write("stage/P/Build Resources/Windows/._lib.dll", "Mac metadata");
    dir.write("stage/__MACOSX/P/Build Resources/Windows/._lib.dll", "Mac metadata");
    dir.write("stage/__MACOSX/._P", "Mac metadata");
    dir.write("stage/.hidden/x", "h");
    dir.write("stage/readme.txt", "beside the plugin");
    const QString expected = outline(open("stage/P"));
    const QString filesLastFirst =
        "P/readme.txt 'P/IDE Resources/Help/topics/a b.html' 'P/IDE Resources/Help/index.html' "
        "'P/Build Resources/Mac Cocoa/Plug.bundle/Contents/MacOS/Plug' "
        "'P/Build Resources/Linux X86/lib.so' 'P/Build Resources/Windows/lib.dll'";
    struct Case {
        const char* name;
        QString commands;
    };
    const Case cases[] = {
        {"no folder entries", "zip -q -r -D ../pkg P"},
        {"a Mac's Compress", "zip -q -r ../pkg __MACOSX P"},
        {"files first, some folders after",
         "zip -q -D ../pkg " + filesLastFirst + " && zip -q ../pkg 'P/IDE Resources/' P/"},
        {"hidden and plain entries beside it", "zip -q -r ../pkg .hidden readme.txt P"},
    };
    for (const Case& c : cases) {
        QFile::remove(dir.path("pkg.zip"));
        run(dir.path("stage"), c.commands);
        QFile::remove(dir.path("pkg.zanth_plugin"));
        ASSERT_TRUE(QFile::rename(dir.path("pkg.zip"), dir.path("pkg.zanth_plugin")));
        auto archive = open("pkg.zanth_plugin");
        EXPECT_EQ(outline(archive), expected) << c.name;
        EXPECT_EQ(archive->name(), "P") << c.name;
    }
    EXPECT_TRUE(ui->messages().isEmpty());
}

TEST_F(ZanthPackageTest, PackagesThatGiveNoPlugin) {
    dir.write("stage/readme.txt", "no folder");
    dir.write("stage/.hidden/x", "h");
    dir.write("stage/__MACOSX/P/._x", "Mac metadata");
    run(dir.path("stage"), "zip -q ../files.zanth_plugin readme.txt");
    run(dir.path("stage"), "zip -q -r ../metadata.zanth_plugin .hidden __MACOSX");
    run(dir.path("stage"),
        "zip -q ../empty.zip readme.txt && zip -q -d ../empty.zip readme.txt "
        "&& mv ../empty.zip ../empty.zanth_plugin");
    dir.write("text.ZANTH_PLUGIN", "this is no zip archive");
    struct Case {
        const char* package;
        bool failed;  // unzip ends with a non-zero code
    };
    for (const Case& c : {Case{"files.zanth_plugin", false}, Case{"metadata.zanth_plugin", false},
                          Case{"empty.zanth_plugin", true}, Case{"text.ZANTH_PLUGIN", true}}) {
        ui->clear();
        auto archive = open(c.package);
        EXPECT_EQ(outline(archive), standardTree()) << c.package;
        EXPECT_EQ(archive->name(), "Untitled") << c.package;
        EXPECT_EQ(archive->dataSource(), nullptr) << c.package;
        EXPECT_TRUE(snapshotTree(tmp.path()).isEmpty()) << c.package << ": nothing left unpacked";
        if (!c.failed) {
            EXPECT_TRUE(ui->messages().isEmpty()) << c.package;
            continue;
        }
        // What unzip itself says for this file.
        dir.mkdir("scratch");
        const auto expected =
            runProcess("/bin/sh", {"-c", "unzip -u " + shellQuote(dir.path(c.package)) + " -d " +
                                             shellQuote(dir.path("scratch"))});
        ASSERT_EQ(ui->shown().size(), 1u) << c.package;
        EXPECT_EQ(ui->shown()[0].icon, kIconStop);
        EXPECT_EQ(ui->shown()[0].text, QString::fromUtf8(expected.output)) << c.package;
        EXPECT_EQ(ui->shown()[0].explanation, "Error code: " + QString::number(expected.exitCode))
            << c.package;
        EXPECT_NE(expected.exitCode, 0);
    }
}

TEST_F(ZanthPackageTest, LinksOutOfThePackageAreNotFollowed) {
    writePlugin(dir, "stage/P");
    // Reached from the unpacked Help folder, five levels up is the temporary folder.
    QFile secret(tmp.path("secret"));
    ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
    secret.write("outside the package");
    secret.close();
    dir.write("outside/kept.txt", "k");
    const QString help = dir.path("stage/P/IDE Resources/Help/");
    ASSERT_TRUE(QFile::link("/etc/passwd", help + "passwd"));
    ASSERT_TRUE(QFile::link("../../../../../secret", help + "up"));
    ASSERT_TRUE(QFile::link("/etc", help + "folder"));
    ASSERT_TRUE(QFile::link("index.html", help + "same.html"));
    ASSERT_TRUE(QFile::link("topics", help + "topics link"));
    dir.mkdir("stage/P/IDE Resources/Help/locked");
    ASSERT_TRUE(QFile::link("/etc/hostname", help + "locked/leak"));
    QFile::setPermissions(help + "locked", QFile::ReadOwner | QFile::ExeOwner);
    run(dir.path("stage"), "zip -q -r -y ../links.zanth_plugin P");
    QFile::setPermissions(help + "locked", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    // A link to a folder outside, then files to be written through it.
    dir.mkdir("stage2/P");
    ASSERT_TRUE(QFile::link(dir.path("outside"), dir.path("stage2/P/IDE Resources")));
    run(dir.path("stage2"), "zip -q -y ../through.zanth_plugin 'P/IDE Resources'");
    QFile::remove(dir.path("stage2/P/IDE Resources"));
    dir.write("stage2/P/IDE Resources/Help/planted.html", "planted");
    run(dir.path("stage2"), "zip -q -r ../through.zanth_plugin P");
    const auto outside = snapshotTree(dir.path("outside"));

    auto archive = open("links.zanth_plugin");
    EXPECT_EQ(outline(archive->hasItem(QStringLiteral("Help"))),
              "index.html\n"
              "locked/\n"
              "same.html\n"
              "topics/\n"
              "  a b.html\n");
    auto copy = writtenOut(archive, dir, "copy");
    EXPECT_EQ(copy.value("IDE Resources/Help/same.html"), "<html>help</html>");
    for (auto it = copy.begin(); it != copy.end(); ++it) {
        EXPECT_FALSE(it.value().contains("outside the package")) << it.key().toStdString();
        EXPECT_FALSE(it.value().contains("root:")) << it.key().toStdString();
    }
    open("through.zanth_plugin");
    EXPECT_EQ(snapshotTree(dir.path("outside")), outside);

    ZanthPackage::removeExtractionFolders();
    EXPECT_EQ(snapshotTree(tmp.path()).keys(), QStringList{"secret"})
        << "read-only folders are removed too";
}

TEST_F(ZanthPackageTest, EntriesLeadingOutAreNeverWrittenThere) {
    // zip keeps names as given, so the hostile names are written over others
    // of the same length.
    const QString absolute = dir.path("absolute.txt");
    const QString stand = QString(absolute.size() - 4, 'a') + ".txt";
    dir.write("stage/P/IDE Resources/Help/index.html", "h");
    dir.write("stage/zz/parent.txt", "up");
    dir.write("stage/" + stand, "abs");
    run(dir.path("stage"), "zip -q -r ../evil.zip P zz " + shellQuote(stand));
    QByteArray bytes = dir.read("evil.zip");
    bytes.replace("zz/parent.txt", "../parent.txt");
    bytes.replace(stand.toUtf8(), absolute.toUtf8());
    dir.write("evil.zanth_plugin", bytes);

    auto archive = open("evil.zanth_plugin");
    EXPECT_FALSE(QFile::exists(absolute));
    EXPECT_TRUE(snapshotTree(tmp.path()).isEmpty());
    for (const QString& path : snapshotTree(dir.path()).keys())
        EXPECT_FALSE(path.endsWith("parent.txt") && !path.startsWith("stage/"))
            << path.toStdString();
    // unzip strips such names and warns, which counts as a failure.
    ASSERT_EQ(ui->shown().size(), 1u);
    EXPECT_EQ(ui->shown()[0].explanation, "Error code: 1");
    EXPECT_TRUE(ui->shown()[0].text.contains("skipped \"../\" path component"));
    EXPECT_EQ(outline(archive), standardTree());
}

TEST_F(ZanthPackageTest, APackageLargerThanTheFreeSpaceIsRefused) {
    for (int i = 0; i < 1100; ++i) dir.write(QString("stage/P/IDE Resources/Help/%1").arg(i), "x");
    run(dir.path("stage"), "zip -q -r -D ../big.zanth_plugin P");
    // Each entry now claims almost 4 GB once unpacked: 4 TB in all.
    QByteArray bytes = dir.read("big.zanth_plugin");
    for (qsizetype at = bytes.indexOf("PK\x01\x02"); at >= 0;
         at = bytes.indexOf("PK\x01\x02", at + 4))
        bytes.replace(at + 24, 4, QByteArray("\xf0\xff\xff\xff", 4));
    dir.write("big.zanth_plugin", bytes);

    auto archive = open("big.zanth_plugin");
    ASSERT_EQ(ui->shown().size(), 1u);
    EXPECT_EQ(ui->shown()[0].icon, kIconStop);
    EXPECT_TRUE(QRegularExpression("^The package \"big.zanth_plugin\" needs \\d+ MB once unpacked, "
                                   "more than the \\d+ MB free in the temporary folder.$")
                    .match(ui->shown()[0].text)
                    .hasMatch())
        << ui->shown()[0].text.toStdString();
    EXPECT_EQ(ui->shown()[0].explanation, "Error code: 50");
    EXPECT_TRUE(snapshotTree(tmp.path()).isEmpty()) << "nothing was unpacked";
    EXPECT_EQ(outline(archive), standardTree());
}

TEST_F(ZanthPackageTest, ExtractionFoldersLiveInOneFolderOfTheProcess) {
    writePlugin(dir, "stage/P");
    run(dir.path("stage"), "zip -q -r ../p.zanth_plugin P");
    auto first = open("p.zanth_plugin");
    auto second = open("p.zanth_plugin");
    auto linkOf = [](const std::shared_ptr<PluginArchive>& archive) {
        return archive->hasItem(QStringLiteral("index.html"))->dataSource()->NativePath();
    };
    const QRegularExpression where(
        "^" + QRegularExpression::escape(tmp.path()) + "/ZanthPluginConverter-" +
        QString::number(getpid()) +
        "-\\w{6}/\\d{14}\\.\\d{6}\\.\\d{6}/P/IDE Resources/Help/index.html$");
    EXPECT_TRUE(where.match(linkOf(first)).hasMatch()) << linkOf(first).toStdString();
    EXPECT_TRUE(where.match(linkOf(second)).hasMatch()) << linkOf(second).toStdString();
    EXPECT_NE(linkOf(first), linkOf(second));
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), 1);

    // Revert unpacks the package again; the source stays the package.
    const QString before = outline(first);
    first->hasItem(QStringLiteral("Help"))->asFolder()->remove(0);
    first->revert();
    EXPECT_EQ(outline(first), before);
    EXPECT_EQ(first->dataSource()->NativePath(), dir.path("p.zanth_plugin"));

    // Folders of processes that ended are removed at start; others are not.
    const pid_t ended = fork();
    if (ended == 0) _exit(0);
    waitpid(ended, nullptr, 0);
    const QString stale = QString("ZanthPluginConverter-%1-abcdef").arg(ended);
    QDir(tmp.path()).mkpath(stale + "/20240101000000.000001.000002/P");
    QDir(tmp.path()).mkpath("ZanthPluginConverter-1-abcdef/x");
    QDir(tmp.path()).mkpath("Unrelated-1/x");
    ZanthPackage::removeStaleExtractionFolders();
    EXPECT_FALSE(QFile::exists(tmp.path(stale)));
    EXPECT_TRUE(QFile::exists(tmp.path("ZanthPluginConverter-1-abcdef/x")));
    EXPECT_TRUE(QFile::exists(linkOf(first))) << "this process's folder stays";

    ZanthPackage::removeExtractionFolders();
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList({"Unrelated-1", "ZanthPluginConverter-1-abcdef"}));
}
