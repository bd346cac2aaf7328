#include "archive/PluginArchive.h"
#include "model/PluginItemFile.h"
#include "platform/BundlePictures.h"
#include "support/ModelOutline.h"
#include "support/TestSupport.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <csignal>
#include <cstdio>

using namespace zpc::archive;
using namespace zpc::model;
using namespace zpc::platform;
using zpc::test::kModernTree;
using zpc::test::noise;
using zpc::test::runProcess;
using zpc::test::ScriptedUITest;
using zpc::test::snapshotTree;
using zpc::test::storedOutline;
using zpc::test::TempDir;

namespace {

using Tree = QMap<QString, QByteArray>;
const QByteArray kDir = "<dir>";

int countFiles(const PluginItemPtr& node, bool storedOnly) {
    int n = 0;
    for (const PluginItemPtr& child : node->asFolder()->items()) {
        if (child->asFolder()) {
            n += countFiles(child, storedOnly);
        } else {
            auto file = std::dynamic_pointer_cast<PluginItemFile>(child);
            n += !storedOnly || (file && file->isStored()) ? 1 : 0;
        }
    }
    return n;
}

// Writes a tree below dir (paths relative to it, "<dir>" for folders).
void writeTree(const TempDir& dir, const Tree& tree) {
    for (auto it = tree.begin(); it != tree.end(); ++it) {
        if (it.value() == kDir)
            dir.mkdir(it.key());
        else
            dir.write(it.key(), it.value());
    }
}

// A plugin "P" with every standard folder, so a saved copy adds none.
Tree standardPlugin(const QString& plugin) {
    Tree tree{{plugin, kDir}};
    for (const QString& top : PluginArchive::defaultTopHierarchyPluginItemsName())
        tree[plugin + "/" + top] = kDir;
    for (const QString& sub : PluginArchive::modernBuildResourcesFoldersListName())
        tree[plugin + "/Build Resources/" + sub] = kDir;
    for (const QString& sub : PluginArchive::defaultIDEResourcesFoldersListName())
        tree[plugin + "/IDE Resources/" + sub] = kDir;
    return tree;
}

QStringList filesIn(const TempDir& dir, const QString& folder = QString()) {
    return QDir(dir.path(folder))
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// "mode size name" for every row, as the standard tool lists the package.
QStringList standardListing(const QString& package) {
    const auto listing = runProcess("sqlite3", {package, "-A", "-tv"});
    EXPECT_EQ(listing.exitCode, 0) << listing.output.toStdString();
    static const QRegularExpression line(
        R"(^(\S+)\s+(\d+)\s+\d{4}-\d\d-\d\d \d\d:\d\d:\d\d  (.+)$)");
    QStringList out;
    for (const QString& text : QString::fromUtf8(listing.output).split('\n', Qt::SkipEmptyParts)) {
        const auto m = line.match(text);
        EXPECT_TRUE(m.hasMatch()) << text.toStdString();
        out << m.captured(1) + ' ' + m.captured(2) + ' ' + m.captured(3);
    }
    out.sort();
    return out;
}

class KvxPackage : public ScriptedUITest {};

}  // namespace

TEST_F(KvxPackage, FolderToPackageToFolderKeepsEveryByte) {
    TempDir dir;
    const QString plugin = "Plug 'in' $x";
    Tree source = standardPlugin(plugin);
    int seed = 0;
    for (const QString& n :
         QStringList{"with blank", "it's \"quoted\"", "$(touch pwned) `id`", "Ünïcødé 日本語",
                     "back\\slash;|&", "line\nbreak", "%41 percent"}) {
        source[plugin + "/Build Resources/Windows/" + n + ".dll"] = noise(100 + seed * 3000, seed);
        source[plugin + "/IDE Resources/Help/" + n] = kDir;
        source[plugin + "/IDE Resources/Help/" + n + "/page.html"] = "<html>" + n.toUtf8();
        ++seed;
    }
    // Larger than what a package buffers, so it goes into its row in pieces.
    source[plugin + "/Build Resources/Linux X86/big.so"] = noise(3 << 20, 99);
    source[plugin + "/IDE Resources/Help/empty folder"] = kDir;
    source[plugin + "/IDE Resources/Help/empty folder/and below"] = kDir;
    source[plugin + "/Custom"] = kDir;
    source[plugin + "/readme.txt"] = "top-level file";
    source[plugin + "/IDE Resources/Controls Palette/empty.png"] = "";
    writeTree(dir, source);

    auto fromFolder = PluginArchive::create(dir.item(plugin), false, nullptr);
    ASSERT_EQ(fromFolder->name(), plugin);
    dir.mkdir("kvx");
    EXPECT_TRUE(fromFolder->saveAsPluginFile(dir.item("kvx")));
    EXPECT_EQ(filesIn(dir, "kvx"), QStringList{plugin + ".kvx"}) << "one file, nothing left over";

    auto fromPackage = PluginArchive::create(dir.item("kvx/" + plugin + ".kvx"), false, nullptr);
    EXPECT_EQ(fromPackage->name(), plugin);
    EXPECT_EQ(fromPackage->dataSource()->NativePath(), dir.path("kvx/" + plugin + ".kvx"));
    EXPECT_EQ(countFiles(fromPackage, true), 17) << "every file node holds a copy, empty ones too";
    // The copies stand on their own: the package may go.
    ASSERT_TRUE(QFile::remove(dir.path("kvx/" + plugin + ".kvx")));

    dir.mkdir("out");
    EXPECT_TRUE(fromPackage->saveAsFolder(dir.item("out")));
    EXPECT_EQ(snapshotTree(dir.path("out")), source);
    EXPECT_TRUE(ui->messages().isEmpty()) << ui->messages().join('|').toStdString();
    EXPECT_FALSE(dir.exists("pwned"));
}

TEST_F(KvxPackage, StandardToolListsThePluginFolderAsTheOnlyRoot) {
    TempDir dir;
    writeTree(dir, {{"src/Sample/IDE Resources/Help/index.html", "<html>"},
                    {"src/Sample/Build Resources/Windows/lib.dll", noise(5000, 1)}});
    auto archive = PluginArchive::create(dir.item("src/Sample"), false, nullptr);
    EXPECT_TRUE(archive->saveAsPluginFile(dir.item()));

    QStringList expected = {"drwxr-xr-x 0 Sample",
                            "drwxr-xr-x 0 Sample/Build Resources",
                            "drwxr-xr-x 0 Sample/IDE Resources",
                            "drwxr-xr-x 0 Sample/IDE Resources/Controls Palette",
                            "drwxr-xr-x 0 Sample/IDE Resources/Help",
                            "-rw-r--r-- 6 Sample/IDE Resources/Help/index.html",
                            "-rw-r--r-- 5000 Sample/Build Resources/Windows/lib.dll"};
    for (const QString& sub : PluginArchive::modernBuildResourcesFoldersListName())
        expected << "drwxr-xr-x 0 Sample/Build Resources/" + sub;
    expected.sort();
    EXPECT_EQ(standardListing(dir.path("Sample.kvx")), expected);

    // An unnamed plugin is written as "Untitled".
    EXPECT_TRUE(PluginArchive::create(true)->saveAsPluginFile(dir.item()));
    EXPECT_TRUE(standardListing(dir.path("Untitled.kvx")).contains("drwxr-xr-x 0 Untitled"));
    EXPECT_EQ(standardListing(dir.path("Untitled.kvx")).filter(" Untitled/").size(), 11)
        << "the classic folders, all below the plugin's folder";
}

TEST_F(KvxPackage, OpensAPackageTheStandardToolCompressed) {
    TempDir dir;
    writeTree(dir, {{"src/P/IDE Resources/Help/long.html", QByteArray(20000, 'a') + "end"},
                    {"src/P/Build Resources/Mac Cocoa/lib", noise(3000, 4)},
                    {"src/P/Build Resources/Extra", kDir}});
    const auto made =
        runProcess("sqlite3", {dir.path("P.kvx"), "-A", "-c", "-C", dir.path("src"), "P"});
    ASSERT_EQ(made.exitCode, 0) << made.output.toStdString();
    const auto packed = runProcess(
        "sqlite3", {dir.path("P.kvx"), "SELECT count(*) FROM sqlar WHERE length(data) < sz"});
    ASSERT_EQ(packed.output.trimmed(), "1") << "the tool compressed the page";

    auto archive = PluginArchive::create(dir.item("P.kvx"), false, nullptr);
    EXPECT_EQ(archive->name(), "P");
    EXPECT_EQ(storedOutline(archive),
              "Build Resources/\n"
              "  Mac Carbon Mach-O Universal/\n"
              "  Mac Cocoa/\n"
              "    lib*\n"
              "  Windows/\n"
              "  Linux X86/\n"
              "  Extra/\n"
              "IDE Resources/\n"
              "  Controls Palette/\n"
              "  Help/\n"
              "    long.html*\n");
    auto page =
        std::dynamic_pointer_cast<PluginItemFile>(archive->hasItem(QStringLiteral("long.html")));
    ASSERT_TRUE(page);
    EXPECT_EQ(page->rawData(), QByteArray(20000, 'a') + "end");
}

// Packages from elsewhere: whatever is wrong in one is left out, and a file
// that is no package at all gives an empty plugin. Never a crash.
TEST_F(KvxPackage, ForeignPackagesOpenWhatIsSound) {
    const char* table =
        "CREATE TABLE sqlar(name TEXT PRIMARY KEY, mode INT, mtime INT, sz INT, data BLOB);";
    const QByteArray sound =
        "INSERT INTO sqlar VALUES('P', 16877, 0, 0, NULL),"
        "('P/IDE Resources/Help/ok.html', 33188, 0, 2, X'6f6b');";
    const QString soundTree = QString(kModernTree) + "    ok.html*\n";
    struct Case {
        const char* what;
        QByteArray rows;   // added to the sound rows
        QString outline;   // what the archive holds
        const char* name;  // the plugin's name
        int dropped = 0;   // rows that give no entry
    };
    const std::vector<Case> cases = {
        {"traversal names",
         "INSERT INTO sqlar VALUES('../evil', 33188, 0, 1, X'41'), ('/abs', 33188, 0, 1, X'41'),"
         "('P/../up', 33188, 0, 1, X'41'), ('P//IDE Resources/x', 33188, 0, 1, X'41'),"
         "('', 16877, 0, 0, NULL);",
         soundTree, "P", 5},
        {"case duplicates",
         "INSERT INTO sqlar VALUES('P/IDE Resources/help/ok.html', 33188, 0, 1, X'41'),"
         "('p', 16877, 0, 0, NULL);",
         soundTree, "P", 1},
        {"parent is a file",
         "INSERT INTO sqlar VALUES('P/IDE Resources/Help/ok.html/x', 33188, 0, 1, X'41');",
         soundTree, "P", 1},
        {"huge declared size",
         "INSERT INTO sqlar VALUES('P/IDE Resources/Help/huge', 33188, 0, 1099511627776, X'00');",
         soundTree, "P", 1},
        {"blob that does not inflate",
         "INSERT INTO sqlar VALUES('P/IDE Resources/Help/bad', 33188, 0, 100, X'0011223344');",
         soundTree, "P", 1},
        {"files and other folders at the top",
         "INSERT INTO sqlar VALUES('readme', 33188, 0, 1, X'41'), ('Q/Help/x', 33188, 0, 1, "
         "X'41');",
         soundTree, "P"},
        {"two plugin folders, read one after the other",
         "INSERT INTO sqlar VALUES('R/Build Resources/Windows/r.dll', 33188, 0, 1, X'41');",
         "Build Resources/\n"
         "  Mac Carbon Mach-O Universal/\n"
         "  Mac Cocoa/\n"
         "  Windows/\n"
         "    r.dll*\n"
         "  Linux X86/\n"
         "IDE Resources/\n"
         "  Controls Palette/\n"
         "  Help/\n"
         "    ok.html*\n",
         "R"},
    };
    TempDir dir;
    for (size_t i = 0; i < cases.size(); ++i) {
        const QString path = dir.path(QStringLiteral("case%1.kvx").arg(i));
        const auto made = runProcess("sqlite3", {path, table + sound + cases[i].rows});
        ASSERT_EQ(made.exitCode, 0) << cases[i].what << made.output.toStdString();
        ui->clear();
        auto archive = PluginArchive::create(folderItemForPath(path), false, nullptr);
        EXPECT_EQ(storedOutline(archive), cases[i].outline) << cases[i].what;
        EXPECT_EQ(archive->name(), cases[i].name) << cases[i].what;
        // What is left out is counted, so that no save passes it off as the whole plugin.
        EXPECT_EQ(ui->messages().join("|"),
                  cases[i].dropped
                      ? QStringLiteral("Can't read %1 of the entries of \"case%2.kvx\"")
                            .arg(cases[i].dropped)
                            .arg(i)
                      : QString())
            << cases[i].what;
    }
    ui->clear();

    // Files that are no package, or no longer a whole one.
    dir.write("text.kvx", "just some text\n");
    dir.write("zipped/P/IDE Resources/a.txt", "hello");
    ASSERT_EQ(runProcess("sh", {"-c", "cd '" + dir.path("zipped") + "' && zip -qr ../zip.kvx P"})
                  .exitCode,
              0);
    ASSERT_EQ(runProcess("sqlite3", {dir.path("notable.kvx"), "CREATE TABLE t(a);"}).exitCode, 0);
    dir.write("truncated.kvx", dir.read("case0.kvx").left(100));
    for (const char* name : {"text.kvx", "zip.kvx", "notable.kvx", "truncated.kvx"}) {
        auto archive = PluginArchive::create(dir.item(name), false, nullptr);
        EXPECT_EQ(storedOutline(archive), kModernTree) << name;
        EXPECT_EQ(archive->name(), "Untitled") << name;
        EXPECT_EQ(archive->dataSource(), nullptr) << name;
    }
    EXPECT_TRUE(ui->messages().isEmpty());
}

TEST_F(KvxPackage, ReadFromAPackageTheArchiveIsClassicAndRevertReadsTheFileAgain) {
    TempDir dir;
    writeTree(dir, {{"src/X/IDE Resources/Help/old.html", "old"}});
    ASSERT_TRUE(
        PluginArchive::create(dir.item("src/X"), false, nullptr)->saveAsPluginFile(dir.item()));
    ASSERT_TRUE(
        ::rename(QFile::encodeName(dir.path("X.kvx")), QFile::encodeName(dir.path("X.KVX"))) == 0);

    auto archive = PluginArchive::create(dir.item("X.KVX"), false, nullptr);
    EXPECT_TRUE(archive->classicHierarchyStyle());
    EXPECT_EQ(archive->icon(), pictures::kvxplugin());
    EXPECT_EQ(archive->name(), "X");

    // Another save of the same name changes the file behind the archive.
    writeTree(dir, {{"src2/X/IDE Resources/Help/new.html", "new"},
                    {"src2/X/Build Resources/Mac Classic/classic.lib", "c"}});
    ASSERT_TRUE(
        PluginArchive::create(dir.item("src2/X"), false, nullptr)->saveAsPluginFile(dir.item()));
    ASSERT_TRUE(
        ::rename(QFile::encodeName(dir.path("X.kvx")), QFile::encodeName(dir.path("X.KVX"))) == 0);
    archive->revert();
    EXPECT_EQ(storedOutline(archive),
              "Build Resources/\n"
              "  Mac Classic/\n"
              "    classic.lib*\n"
              "  Mac Carbon/\n"
              "  Mac Carbon Mach-O/\n"
              "  Mac Carbon Mach-O Universal/\n"
              "  Mac Cocoa/\n"
              "  Windows/\n"
              "  Linux X86/\n"
              "IDE Resources/\n"
              "  Controls Palette/\n"
              "  Help/\n"
              "    new.html*\n");
    EXPECT_EQ(archive->name(), "X");
    EXPECT_TRUE(archive->classicHierarchyStyle());

    auto fromFolder = PluginArchive::create(dir.item("src/X"), false, nullptr);
    EXPECT_FALSE(fromFolder->classicHierarchyStyle());
    EXPECT_EQ(fromFolder->icon(), pictures::kvplugin());
}

TEST_F(KvxPackage, SavingOverItsOwnPackageReplacesItWhole) {
    TempDir dir;
    writeTree(dir, {{"src/P/IDE Resources/Help/keep.html", "keep"},
                    {"src/P/IDE Resources/Help/drop.html", "drop"},
                    {"src/P/Build Resources/Windows/big.dll", noise(2 << 20, 5)}});
    ASSERT_TRUE(
        PluginArchive::create(dir.item("src/P"), false, nullptr)->saveAsPluginFile(dir.item()));

    auto archive = PluginArchive::create(dir.item("P.kvx"), false, nullptr);
    auto help = archive->hasItem(QStringLiteral("Help"))->asFolder();
    ASSERT_TRUE(help->remove(archive->hasItem(QStringLiteral("drop.html"))));
    dir.write("added.txt", "added");
    help->add(PluginItemFile::create(dir.item("added.txt"), false));
    EXPECT_TRUE(archive->saveAsPluginFile(dir.item()));
    EXPECT_TRUE(ui->messages().isEmpty());
    EXPECT_EQ(filesIn(dir), QStringList({"P.kvx", "added.txt", "src"}));

    dir.mkdir("out");
    EXPECT_TRUE(
        PluginArchive::create(dir.item("P.kvx"), false, nullptr)->saveAsFolder(dir.item("out")));
    Tree expected = standardPlugin("P");
    expected["P/IDE Resources/Help/keep.html"] = "keep";
    expected["P/IDE Resources/Help/added.txt"] = "added";
    expected["P/Build Resources/Windows/big.dll"] = noise(2 << 20, 5);
    EXPECT_EQ(snapshotTree(dir.path("out")), expected);
}

TEST_F(KvxPackage, NothingToSaveOrNowhereToSaveItIsSilent) {
    TempDir dir;
    dir.write("file", "x");
    auto archive = PluginArchive::create(false);
    EXPECT_FALSE(archive->saveAsPluginFile(nullptr));
    EXPECT_FALSE(archive->saveAsPluginFile(dir.item("missing")));
    EXPECT_FALSE(archive->saveAsPluginFile(dir.item("file")));
    archive->items().clear();
    EXPECT_FALSE(archive->saveAsPluginFile(dir.item()));
    EXPECT_EQ(filesIn(dir), QStringList{"file"});
    EXPECT_TRUE(ui->messages().isEmpty());
}

TEST_F(KvxPackage, APackageThatCannotBeMadeIsReported) {
    TempDir dir;
    dir.mkdir("Untitled.kvx");
    EXPECT_FALSE(PluginArchive::create(false)->saveAsPluginFile(dir.item()));
    EXPECT_EQ(ui->messages(), QStringList{"Can't store file \"Untitled.kvx\""});
    EXPECT_EQ(filesIn(dir), QStringList{"Untitled.kvx"});
    EXPECT_TRUE(filesIn(dir, "Untitled.kvx").isEmpty());
}

TEST_F(KvxPackage, ASaveThatRunsOutOfSpaceIsReportedAndKeepsThePreviousPackage) {
    TempDir dir;
    writeTree(dir, {{"src/P/IDE Resources/Help/index.html", "old"}});
    ASSERT_TRUE(
        PluginArchive::create(dir.item("src/P"), false, nullptr)->saveAsPluginFile(dir.item()));
    const QByteArray before = dir.read("P.kvx");
    dir.write("src/P/Build Resources/Windows/big.dll", noise(4 << 20, 7));
    auto archive = PluginArchive::create(dir.item("src/P"), false, nullptr);

    // A file-size limit stands in for a full disk; the child reports in its exit code.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlim_t size = rlim_t(before.size() + (256 << 10));
        const struct rlimit limit = {size, size};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const bool saved = archive->saveAsPluginFile(dir.item());
        const QStringList shown = ui->messages();
        ::_exit(saved                                                             ? 1
                : shown.isEmpty() || shown.last() != "Can't store file \"P.kvx\"" ? 2
                                                                                  : 0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: answered true, 2: not reported";
    EXPECT_EQ(dir.read("P.kvx"), before);
    EXPECT_EQ(filesIn(dir), QStringList({"P.kvx", "src"}));
}
