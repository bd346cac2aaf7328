#include "archive/PluginArchive.h"
#include "model/PluginItemFile.h"
#include "platform/BundlePictures.h"
#include "support/ModelOutline.h"
#include "support/TestSupport.h"

#include <sys/resource.h>
#include <QDir>
#include <QFile>
#include <csignal>

using namespace zpc::archive;
using namespace zpc::model;
using namespace zpc::platform;
using zpc::test::bytesOf;
using zpc::test::kModernTree;
using zpc::test::outline;
using zpc::test::ScriptedUITest;
using zpc::test::snapshotTree;
using zpc::test::TempDir;

namespace {

const char kClassicTree[] =
    "Build Resources/\n"
    "  Mac Classic/\n"
    "  Mac Carbon/\n"
    "  Mac Carbon Mach-O/\n"
    "  Mac Carbon Mach-O Universal/\n"
    "  Mac Cocoa/\n"
    "  Windows/\n"
    "  Linux X86/\n"
    "IDE Resources/\n"
    "  Controls Palette/\n"
    "  Help/\n";

// Every standard folder of the modern set, so a saved copy adds none.
void writeStandardFolders(const TempDir& dir, const QString& plugin) {
    for (const QString& sub : PluginArchive::modernBuildResourcesFoldersListName())
        dir.mkdir(plugin + "/Build Resources/" + sub);
    for (const QString& sub : PluginArchive::defaultIDEResourcesFoldersListName())
        dir.mkdir(plugin + "/IDE Resources/" + sub);
}

bool isHiddenFile(const QString& relative, const QByteArray& contents) {
    return contents != "<dir>" && relative.section('/', -1).startsWith('.');
}

}  // namespace

TEST(PluginArchive, NewArchivesHoldTheStandardFolders) {
    for (bool classic : {false, true}) {
        auto archive = PluginArchive::create(classic);
        EXPECT_EQ(outline(archive), classic ? kClassicTree : kModernTree);
        EXPECT_EQ(archive->classicHierarchyStyle(), classic);
        EXPECT_EQ(archive->name(), "Untitled");
        EXPECT_TRUE(archive->isValid());
        EXPECT_TRUE(archive->mutableName());
        EXPECT_EQ(archive->dataSource(), nullptr);
        EXPECT_EQ(archive->icon(), classic ? pictures::kvxplugin() : pictures::kvplugin());
        EXPECT_FALSE(archive->hasItem(QStringLiteral("Help"))->mutableName());
        EXPECT_FALSE(archive->item(0)->mutableName());
        EXPECT_EQ(archive->hasItem(QStringLiteral("Windows"))->identation(), 2);
    }
    EXPECT_EQ(PluginArchive::fileExtension(), "kvx");
    EXPECT_EQ(PluginArchive::zanthFileExtension(), "zanth_plugin");
    QStringList top = PluginArchive::defaultTopHierarchyPluginItemsName();
    top.clear();
    EXPECT_EQ(PluginArchive::defaultTopHierarchyPluginItemsName().size(), 2)
        << "a fresh list each call";
}

TEST(PluginArchive, NameRules) {
    struct Case {
        const char* written;
        const char* stored;
    };
    for (const Case& c :
         {Case{"Plugin.kvx", "Plugin"}, Case{"My.Plugin.v2", "My"}, Case{"Plain", "Plain"},
          Case{".hidden", "Untitled"}, Case{"", "Before"}}) {
        auto archive = PluginArchive::create(false);
        archive->setName("Before");
        archive->setName(c.written);
        EXPECT_EQ(archive->name(), c.stored) << c.written;
    }
}

TEST(PluginArchive, RecognisesPluginDirectories) {
    TempDir dir;
    dir.mkdir("both/Build Resources");
    dir.mkdir("both/IDE Resources");
    dir.mkdir("ide/IDE Resources");
    dir.write("plainfile/Build Resources", "a file will do");
    dir.mkdir("neither/Help");
    dir.write("file", "x");
    EXPECT_TRUE(PluginArchive::isPluginDirectory(dir.item("both")));
    EXPECT_TRUE(PluginArchive::isPluginDirectory(dir.item("ide")));
    EXPECT_TRUE(PluginArchive::isPluginDirectory(dir.item("plainfile")));
    EXPECT_FALSE(PluginArchive::isPluginDirectory(dir.item("neither")));
    EXPECT_FALSE(PluginArchive::isPluginDirectory(dir.item("file")));
    EXPECT_FALSE(PluginArchive::isPluginDirectory(dir.item("missing")));
    EXPECT_FALSE(PluginArchive::isPluginDirectory(nullptr));
}

TEST(PluginArchive, AFolderIsMergedIntoTheStandardFolders) {
    TempDir dir;
    dir.write("My.Plugin/Build Resources/Windows/win.dll", "w");
    dir.write("My.Plugin/Build Resources/Mac OS X PPC/ppc", "p");
    dir.write("My.Plugin/Build Resources/Mac Cocoa/Foo.bundle/Contents/MacOS/Foo", "exe");
    dir.write("My.Plugin/Build Resources/Mac Cocoa/Foo.bundle/Contents/Info.plist", "plist");
    dir.write("My.Plugin/Windows/stray.dll", "s");
    dir.write("My.Plugin/Build Resources/Windows/Extras/e.txt", "e");
    dir.write("My.Plugin/extras/f.txt", "f");
    dir.write("My.Plugin/IDE Resources/Help/index.html", "h");
    dir.write("My.Plugin/readme.txt", "r");

    auto archive = PluginArchive::create(dir.item("My.Plugin"), false, nullptr);
    EXPECT_EQ(outline(archive),
              "Build Resources/\n"
              "  Mac Carbon Mach-O Universal/\n"
              "  Mac Cocoa/\n"
              "    Foo\n"
              "  Windows/\n"
              "    Extras/\n"
              "      e.txt\n"
              "    win.dll\n"
              "    stray.dll\n"
              "  Linux X86/\n"
              "  Mac OS X PPC/\n"
              "    ppc\n"
              "IDE Resources/\n"
              "  Controls Palette/\n"
              "  Help/\n"
              "    index.html\n"
              "extras/\n"
              "  f.txt\n"
              "readme.txt\n")
        << "a folder the plugin brings along takes no directory from another level";
    EXPECT_EQ(archive->name(), "My");
    EXPECT_EQ(archive->dataSource()->NativePath(), dir.path("My.Plugin"));
    EXPECT_FALSE(archive->mutableName());
    EXPECT_FALSE(archive->classicHierarchyStyle());
    EXPECT_FALSE(archive->hasItem(QStringLiteral("Windows"))->mutableName()) << "the standard node";
    EXPECT_TRUE(archive->hasItem(QStringLiteral("Mac OS X PPC"))->mutableName());

    dir.mkdir("out");
    EXPECT_TRUE(archive->saveAsFolder(dir.item("out")));
    EXPECT_EQ(dir.read("out/My/Build Resources/Mac Cocoa/Foo"), "exe");
    EXPECT_FALSE(dir.exists("out/My/Build Resources/Mac Cocoa/Foo.bundle"));
    EXPECT_EQ(dir.read("out/My/Build Resources/Windows/stray.dll"), "s");
    EXPECT_FALSE(dir.exists("out/My/Windows"));
}

TEST(PluginArchive, SourcesThatAreNoPluginFolder) {
    TempDir dir;
    dir.mkdir("notaplugin/Help");
    dir.write("old.KVX", "not a package");
    dir.write("zipped.zanth_plugin", "not a zip");
    struct Case {
        FolderItemPtr source;
        bool classic;
    };
    for (const Case& c : {Case{nullptr, false}, Case{dir.item("missing"), false},
                          Case{dir.item("notaplugin"), false}, Case{dir.item("old.KVX"), true},
                          Case{dir.item("zipped.zanth_plugin"), false}}) {
        const QString what = c.source ? c.source->Name() : "nil";
        auto archive = PluginArchive::create(c.source, true, nullptr);
        EXPECT_EQ(outline(archive), kModernTree) << what.toStdString();
        EXPECT_EQ(archive->name(), "Untitled") << what.toStdString();
        EXPECT_EQ(archive->dataSource(), nullptr) << what.toStdString();
        EXPECT_EQ(archive->classicHierarchyStyle(), c.classic) << what.toStdString();
        archive->revert();
        EXPECT_EQ(outline(archive), c.classic ? kClassicTree : kModernTree)
            << "revert rebuilds the standard folders of the archive's style";
    }
}

TEST(PluginArchive, RevertReadsTheFolderAgain) {
    TempDir dir;
    dir.write("P/Build Resources/Windows/a.dll", "a");
    dir.write("P/IDE Resources/Help/old.html", "o");
    auto archive = PluginArchive::create(dir.item("P"), false, nullptr);
    archive->hasItem(QStringLiteral("Help"))
        ->asFolder()
        ->add(PluginItemFolder::create(QStringLiteral("by hand"), true));
    QFile::remove(dir.path("P/IDE Resources/Help/old.html"));
    dir.write("P/IDE Resources/Help/new.html", "n");
    dir.write("P/Build Resources/Linux X86/b.so", "b");
    archive->revert();
    EXPECT_EQ(outline(archive),
              "Build Resources/\n"
              "  Mac Carbon Mach-O Universal/\n"
              "  Mac Cocoa/\n"
              "  Windows/\n"
              "    a.dll\n"
              "  Linux X86/\n"
              "    b.so\n"
              "IDE Resources/\n"
              "  Controls Palette/\n"
              "  Help/\n"
              "    new.html\n");
    EXPECT_EQ(archive->name(), "P");
}

TEST(PluginArchive, NeverHoldsItself) {
    auto archive = PluginArchive::create(false);
    auto windows = archive->hasItem(QStringLiteral("Windows"))->asFolder();
    windows->add(archive);
    windows->add(archive->item(0));
    EXPECT_TRUE(windows->empty());
    EXPECT_EQ(archive->hasItem(QStringLiteral("Untitled")), nullptr);

    // Another archive can be taken; its stored name is empty, yet it is found.
    auto other = PluginArchive::create(true);
    windows->add(other);
    EXPECT_EQ(archive->hasItem(QStringLiteral("untitled")), other);
}

class PluginArchiveSave : public ScriptedUITest {};

TEST_F(PluginArchiveSave, RoundTripWithHostileNames) {
    const QStringList names = {"with blank",     "it's \"quoted\"", "$HOME $(touch pwned) `id`",
                               "Ünïcødé 日本語", "back\\slash;|&",  "*?[glob]",
                               "line\nbreak",    "-leading dash",   "%41 percent"};
    TempDir dir;
    const QString plugin = "Plug 'in' $x";
    writeStandardFolders(dir, plugin);
    int seed = 0;
    for (const QString& n : names) {
        dir.write(plugin + "/Build Resources/Windows/" + n + ".dll",
                  bytesOf(1000 + seed * 3000, seed));
        dir.write(plugin + "/IDE Resources/Help/" + n + "/" + n + ".html",
                  bytesOf(seed * 17, seed + 1));
        ++seed;
    }
    dir.write(plugin + "/Build Resources/Linux X86/big.so", bytesOf(300000, 99));
    dir.write(plugin + "/IDE Resources/Help/empty.html", "");
    dir.write(plugin + "/IDE Resources/Help/.hidden folder/shown.html", "s");
    dir.write(plugin + "/IDE Resources/Help/.hidden folder/.skipped", "x");
    dir.write(plugin + "/IDE Resources/.DS_Store", "x");
    dir.mkdir(plugin + "/IDE Resources/Help/empty folder");

    auto archive = PluginArchive::create(dir.item(plugin), false, nullptr);
    ASSERT_EQ(archive->name(), plugin);
    dir.mkdir("out dir");
    EXPECT_TRUE(archive->saveAsFolder(dir.item("out dir")));

    QMap<QString, QByteArray> expected = snapshotTree(dir.path(plugin));
    for (auto it = expected.begin(); it != expected.end();)
        it = isHiddenFile(it.key(), it.value()) ? expected.erase(it) : std::next(it);
    EXPECT_EQ(snapshotTree(dir.path("out dir/" + plugin)), expected);
    EXPECT_EQ(expected.size(), 40);
    EXPECT_TRUE(ui->messages().isEmpty());
    EXPECT_FALSE(dir.exists("pwned"));
    EXPECT_FALSE(QFile::exists("pwned"));
}

TEST_F(PluginArchiveSave, OntoItsOwnSourceLeavesEveryByte) {
    TempDir dir;
    writeStandardFolders(dir, "plugins/Sample");
    dir.write("plugins/Sample/Build Resources/Windows/lib.dll", bytesOf(100000, 1));
    dir.write("plugins/Sample/IDE Resources/Help/index.html", "<html>");
    dir.write("plugins/Sample/readme", "top-level file");
    const auto before = snapshotTree(dir.path("plugins"));

    auto archive = PluginArchive::create(dir.item("plugins/Sample"), false, nullptr);
    EXPECT_TRUE(archive->saveAsFolder(dir.item("plugins")));
    EXPECT_EQ(snapshotTree(dir.path("plugins")), before);
    EXPECT_TRUE(ui->messages().isEmpty());

    // The same files reached through a link to the plugins folder.
    ASSERT_TRUE(QFile::link(dir.path("plugins"), dir.path("alias")));
    EXPECT_TRUE(archive->saveAsFolder(dir.item("alias")));
    EXPECT_EQ(snapshotTree(dir.path("plugins")), before);
}

TEST_F(PluginArchiveSave, NothingToSaveOrNowhereToSaveIt) {
    TempDir dir;
    dir.write("file", "x");
    auto archive = PluginArchive::create(false);
    EXPECT_FALSE(archive->saveAsFolder(nullptr));
    EXPECT_FALSE(archive->saveAsFolder(dir.item("missing")));
    EXPECT_FALSE(archive->saveAsFolder(dir.item("file")));
    EXPECT_TRUE(archive->store(dir.item("missing"))) << "store always answers true";
    archive->items().clear();
    EXPECT_FALSE(archive->saveAsFolder(dir.item()));
    EXPECT_EQ(snapshotTree(dir.path()), (QMap<QString, QByteArray>{{"file", "x"}}));
    EXPECT_TRUE(ui->messages().isEmpty());

    EXPECT_TRUE(PluginArchive::create(false)->saveAsFolder(dir.item()));
    QMap<QString, QByteArray> expected{{"file", "x"}, {"Untitled", "<dir>"}};
    for (const QString& top : PluginArchive::defaultTopHierarchyPluginItemsName())
        expected["Untitled/" + top] = "<dir>";
    for (const QString& sub : PluginArchive::modernBuildResourcesFoldersListName())
        expected["Untitled/Build Resources/" + sub] = "<dir>";
    for (const QString& sub : PluginArchive::defaultIDEResourcesFoldersListName())
        expected["Untitled/IDE Resources/" + sub] = "<dir>";
    EXPECT_EQ(snapshotTree(dir.path()), expected);
}

TEST_F(PluginArchiveSave, AFileThatCannotBeWrittenIsNamedAndLeftOut) {
    enum Fault { Vanished, BecameAFolder, DiskFull };
    for (Fault fault : {Vanished, BecameAFolder, DiskFull}) {
        ui->clear();
        TempDir dir;
        dir.write("P/Build Resources/Windows/a.dll", "small");
        dir.write("P/Build Resources/Windows/lib.dll", bytesOf(600000, 3));
        dir.write("P/Build Resources/Windows/z.dll", "later");
        dir.write("P/IDE Resources/Help/index.html", "help");
        auto archive = PluginArchive::create(dir.item("P"), false, nullptr);
        dir.mkdir("out");

        struct rlimit limit {};
        getrlimit(RLIMIT_FSIZE, &limit);
        auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        if (fault == Vanished) {
            QFile::remove(dir.path("P/Build Resources/Windows/lib.dll"));
        } else if (fault == BecameAFolder) {
            QFile::remove(dir.path("P/Build Resources/Windows/lib.dll"));
            dir.mkdir("P/Build Resources/Windows/lib.dll");
        } else {
            struct rlimit small = limit;
            small.rlim_cur = 100000;
            setrlimit(RLIMIT_FSIZE, &small);
        }
        const bool ok = archive->saveAsFolder(dir.item("out"));
        setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, oldHandler);

        EXPECT_FALSE(ok) << fault;
        EXPECT_EQ(ui->messages(),
                  QStringList({"Can't store file \"lib.dll\"", "Can't store file \"Windows\""}))
            << fault;
        EXPECT_EQ(dir.read("out/P/Build Resources/Windows/a.dll"), "small") << fault;
        EXPECT_FALSE(dir.exists("out/P/Build Resources/Windows/lib.dll")) << fault;
        EXPECT_FALSE(dir.exists("out/P/Build Resources/Windows/z.dll")) << fault;
        EXPECT_EQ(dir.read("out/P/IDE Resources/Help/index.html"), "help")
            << "the archive goes on with the next top-level folder";
    }
}

// A package missing one of the plugin's files would pass for a good one: the
// save fails, says so, and the package that was there stays as it was.
TEST_F(PluginArchiveSave, APackageMissingAFileNeverReplacesTheOldOne) {
    for (const QString extension : {"kvx", "zanth_plugin"}) {
        ui->clear();
        TempDir dir;
        dir.write("P/Build Resources/Windows/a.dll", "small");
        dir.write("P/Build Resources/Windows/lib.dll", "library");
        const QByteArray old = "the good package of yesterday";
        dir.write("out/P." + extension, old);
        auto archive = PluginArchive::create(dir.item("P"), false, nullptr);
        QFile::remove(dir.path("P/Build Resources/Windows/lib.dll"));

        const bool ok = extension == "kvx" ? archive->saveAsPluginFile(dir.item("out"))
                                           : archive->saveAsZanthPluginFile(dir.item("out"));
        EXPECT_FALSE(ok) << extension.toStdString();
        EXPECT_EQ(ui->messages(),
                  QStringList({"Can't store file \"lib.dll\"", "Can't store file \"Windows\"",
                               "Can't store file \"P." + extension + "\""}));
        EXPECT_EQ(
            QDir(dir.path("out")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            QStringList{"P." + extension})
            << "nothing else left behind";
        EXPECT_EQ(dir.read("out/P." + extension), old);
    }
}

// Two items of one name would be written to one entry, the second replacing
// the first: names on disk that are not UTF-8 can read as the same text, and
// a tree can hold two children of one name. The save fails instead of losing
// one of them.
TEST_F(PluginArchiveSave, TwoItemsOfOneNameNeverReplaceEachOther) {
    for (const QString extension : {"", "kvx", "zanth_plugin"}) {
        for (bool topLevel : {false, true}) {
            SCOPED_TRACE(extension.toStdString() + (topLevel ? " top level" : " in Help"));
            ui->clear();
            TempDir dir;
            dir.write("P/IDE Resources/Help/index.html", "help");
            for (const char* name : {"a\xff", "a\xfe"}) {
                if (topLevel) break;
                const QByteArray path = QFile::encodeName(dir.path("P/IDE Resources/Help/")) + name;
                FILE* f = std::fopen(path.constData(), "wb");
                ASSERT_TRUE(f);
                std::fputs(name, f);
                std::fclose(f);
            }
            auto archive = PluginArchive::create(dir.item("P"), false, nullptr);
            if (topLevel) {
                for (const char* bytes : {"one", "two"}) {
                    auto file = PluginItemFile::create("readme", true);
                    file->setRawData(bytes);
                    archive->add(file);
                }
            }
            const QString dup = topLevel ? "readme" : QString::fromUtf8("a\xef\xbf\xbd");
            dir.mkdir("out");
            const bool ok = extension.isEmpty()  ? archive->saveAsFolder(dir.item("out"))
                            : extension == "kvx" ? archive->saveAsPluginFile(dir.item("out"))
                                                 : archive->saveAsZanthPluginFile(dir.item("out"));
            EXPECT_FALSE(ok);
            QStringList expected{"Can't store file \"" + dup + "\""};
            if (!topLevel) expected << "Can't store file \"Help\"";
            if (!extension.isEmpty()) expected << "Can't store file \"P." + extension + "\"";
            EXPECT_EQ(ui->messages(), expected);
            if (extension.isEmpty() && topLevel) {
                EXPECT_EQ(dir.read("out/P/readme"), "one");
            }
        }
    }
}

// Two folders of one name (added twice in the editor) share one entry on
// disk: their files go together, and only a file of a name written already
// fails the save.
TEST_F(PluginArchiveSave, TwoFoldersOfOneNameShareTheirEntry) {
    for (bool clash : {false, true}) {
        SCOPED_TRACE(clash ? "a file in both" : "different files");
        ui->clear();
        TempDir dir;
        auto archive = PluginArchive::create(false);
        auto help = archive->hasItem(QStringLiteral("Help"))->asFolder();
        for (const char* file : {"one", clash ? "one" : "two"}) {
            auto folder = PluginItemFolder::create(QStringLiteral("Untitled"), true);
            auto item = PluginItemFile::create(QString::fromLatin1(file), true);
            item->setRawData(QByteArray("from folder ") + file);
            folder->add(item);
            help->add(folder);
        }
        const bool ok = archive->saveAsFolder(dir.item());
        EXPECT_EQ(ok, !clash);
        EXPECT_EQ(dir.read("Untitled/IDE Resources/Help/Untitled/one"), "from folder one");
        if (clash) {
            EXPECT_EQ(ui->messages(),
                      QStringList({"Can't store file \"one\"", "Can't store file \"Untitled\"",
                                   "Can't store file \"Help\""}));
        } else {
            EXPECT_EQ(dir.read("Untitled/IDE Resources/Help/Untitled/two"), "from folder two");
            EXPECT_TRUE(ui->messages().isEmpty());
        }
    }
}

// Two files of the plugin swapped their names in the editor, then the plugin
// is saved over its own folder: writing one would overwrite the other's source
// before it is read. The save fails and both files keep their bytes.
TEST_F(PluginArchiveSave, OverItsOwnFolderAFileNeverOverwritesAnotherOnesSource) {
    TempDir dir;
    dir.write("P/IDE Resources/Help/a.html", "page A");
    dir.write("P/IDE Resources/Help/b.html", "page B");
    auto archive = PluginArchive::create(dir.item("P"), false, nullptr);
    auto a = archive->hasItem(QStringLiteral("a.html"));
    auto b = archive->hasItem(QStringLiteral("b.html"));
    a->setName(QStringLiteral("b.html"));
    b->setName(QStringLiteral("a.html"));

    EXPECT_FALSE(archive->saveAsFolder(dir.item()));
    EXPECT_EQ(ui->messages(),
              QStringList({"Can't store file \"b.html\"", "Can't store file \"Help\""}));
    EXPECT_EQ(dir.read("P/IDE Resources/Help/a.html"), "page A");
    EXPECT_EQ(dir.read("P/IDE Resources/Help/b.html"), "page B");

    // Renamed one after the other, each file is written before its source is
    // overwritten: the save goes through.
    ui->clear();
    b->setName(QStringLiteral("c.html"));
    auto help = archive->hasItem(QStringLiteral("Help"))->asFolder();
    std::reverse(help->items().begin(), help->items().end());  // c.html first
    EXPECT_TRUE(archive->saveAsFolder(dir.item()));
    EXPECT_TRUE(ui->messages().isEmpty());
    EXPECT_EQ(dir.read("P/IDE Resources/Help/c.html"), "page B");
    EXPECT_EQ(dir.read("P/IDE Resources/Help/b.html"), "page A");
}
