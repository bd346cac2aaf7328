#include "model/PluginItemFile.h"
#include "model/PluginItemFolder.h"
#include "platform/BundlePictures.h"
#include "platform/Exceptions.h"
#include "support/ModelOutline.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>

using namespace zpc::model;
using namespace zpc::platform;
using zpc::test::ScriptedUITest;
using zpc::test::storedOutline;
using zpc::test::TempDir;

namespace {

// A folder whose scan can be run on a tree that already has children.
class ScanFolder : public PluginItemFolder {
public:
    static std::shared_ptr<ScanFolder> make(const QString& name) {
        auto folder = std::shared_ptr<ScanFolder>(new ScanFolder());
        folder->constructNamed(name, true);
        return folder;
    }
    using PluginItemFolder::_scanDirectory;
};

std::shared_ptr<PluginItemFolder> folder(const QString& name) {
    return PluginItemFolder::create(name, true);
}

QStringList names(const std::shared_ptr<PluginItemFolder>& f) {
    QStringList out;
    for (const PluginItemPtr& child : f->items()) out << child->name();
    return out;
}

}  // namespace

TEST(PluginItemFolder, ListOperations) {
    auto root = folder("root");
    EXPECT_EQ(root->count(), 0);
    EXPECT_TRUE(root->empty());
    EXPECT_EQ(root->dataSource(), nullptr);
    EXPECT_EQ(root->icon(), pictures::foldericon());

    auto a = folder("a"), b = folder("b"), x = folder("x");
    a->add(x);
    root->add(a);
    root->add(b);
    root->add(b);
    root->add(nullptr);
    root->add(folder(""));
    EXPECT_EQ(names(root), QStringList({"a", "b", "b"}))
        << "duplicates are kept, invalid nodes not";
    EXPECT_EQ(b->owner(), root);
    EXPECT_EQ(x->identation(), 2);

    for (int bad : {-1, 3}) {
        EXPECT_THROW(root->item(bad), OutOfBoundsException) << bad;
        EXPECT_THROW(root->setItem(bad, a), OutOfBoundsException) << bad;
        EXPECT_THROW(root->remove(bad), OutOfBoundsException) << bad;
    }
    EXPECT_THROW(root->setItem(0, nullptr), NilObjectException);
    EXPECT_THROW(root->remove(PluginItemPtr()), NilObjectException);
    root->setItem(0, folder(""));
    EXPECT_EQ(names(root), QStringList({"a", "b", "b"})) << "an invalid node replaces nothing";
    EXPECT_EQ(root->item(2), b);

    EXPECT_EQ(root->hasItem(x), x) << "found below a child";
    EXPECT_EQ(root->hasItem(PluginItemPtr()), nullptr);
    EXPECT_EQ(root->hasItem(folder("")), nullptr);
    EXPECT_FALSE(root->remove(x)) << "only direct children are removed";
    EXPECT_TRUE(root->remove(b));
    EXPECT_EQ(names(root), QStringList({"a", "b"})) << "only the first occurrence";
    root->remove(0);
    EXPECT_EQ(names(root), QStringList({"b"}));
    EXPECT_EQ(a->owner(), root) << "a removed node keeps its owner link";

    auto c = folder("c");
    root->setItem(0, c);
    EXPECT_EQ(names(root), QStringList({"c"}));
    EXPECT_EQ(c->owner(), root);

    root->setItems({nullptr, a, folder(""), b});
    EXPECT_EQ(names(root), QStringList({"a", "b"}));
    root->setItems(root->items());
    EXPECT_EQ(names(root), QStringList({"a", "b"})) << "its own list is read before it is emptied";
    root->items().clear();
    EXPECT_TRUE(root->empty()) << "items() is the list itself";
}

TEST(PluginItemFolder, NameSearchIsDeepPreOrderAndIgnoresCase) {
    auto root = folder("root");
    auto first = folder("first");
    auto nested = folder("Help");
    first->add(nested);
    auto direct = folder("help");
    root->add(first);
    root->add(direct);
    EXPECT_EQ(root->hasItem(QStringLiteral("HELP")), nested)
        << "a grandchild of an earlier branch wins";
    EXPECT_EQ(root->hasItem(QStringLiteral("First")), first);
    EXPECT_EQ(root->hasItem(QStringLiteral("root")), nullptr)
        << "the folder itself is not compared";
    EXPECT_EQ(root->hasItem(QString()), nullptr);
    EXPECT_EQ(root->hasItem(QStringLiteral("Straße")), nullptr);
    auto strasse = folder("STRASSE");
    direct->add(strasse);
    EXPECT_EQ(root->hasItem(QStringLiteral("strasse")), strasse);
}

TEST(PluginItemFolder, CyclesAreRefused) {
    auto root = folder("root"), mid = folder("mid"), leaf = folder("leaf");
    root->add(mid);
    mid->add(leaf);
    leaf->add(leaf);
    leaf->add(root);
    leaf->add(mid);
    mid->setItem(0, root);
    leaf->setItems({root, folder("fine")});
    EXPECT_EQ(names(leaf), QStringList({"fine"}));
    EXPECT_EQ(names(mid), QStringList({"leaf"}));

    // A node may still sit in two places that do not contain each other.
    auto shared = folder("shared");
    root->add(shared);
    leaf->add(shared);
    EXPECT_EQ(names(leaf), QStringList({"fine", "shared"}));

    // The recursive walks end.
    EXPECT_EQ(root->hasItem(QStringLiteral("nowhere")), nullptr);
    EXPECT_EQ(leaf->identation(), 2);
    TempDir dir;
    EXPECT_TRUE(root->store(dir.item()));
    EXPECT_TRUE(dir.exists("root/mid/leaf/shared"));
}

TEST(PluginItemFolder, ReadsADirectory) {
    TempDir dir;
    dir.write("plugin/.DS_Store", "hidden");
    dir.write("plugin/.hidden dir/visible.txt", "v");
    dir.write("plugin/.hidden dir/.invisible", "i");
    dir.write("plugin/a/x/one", "1");
    dir.write("plugin/a/y", "file y");
    dir.write("plugin/Lib.BUNDLE/Contents/MacOS/Lib", "lib");
    dir.write("plugin/odd.bundles/Contents/MacOS/Odd", "odd");
    dir.write("plugin/x/two", "2");
    dir.write("plugin/Y/three", "3");
    dir.mkdir("plugin/Broken.bundle/Contents");

    auto plugin = PluginItemFolder::create(dir.item("plugin"), false, nullptr);
    EXPECT_EQ(plugin->name(), "plugin");
    EXPECT_FALSE(plugin->mutableName());
    EXPECT_EQ(plugin->dataSource()->NativePath(), dir.path("plugin"));
    EXPECT_EQ(storedOutline(plugin),
              ".hidden dir/\n"
              "  visible.txt\n"
              "a/\n"
              "  x/\n"
              "    one\n"
              "  y\n"
              "Lib\n"
              "Odd\n"
              "x/\n"
              "  two\n"
              "Y/\n"
              "  three\n")
        << "x stays out of a/x, which is no standard folder; Y finds the file a/y and gets a "
           "folder of its own";

    auto a = plugin->hasItem(QStringLiteral("a"));
    auto ax = plugin->hasItem(QStringLiteral("x"));
    EXPECT_EQ(a->dataSource()->NativePath(), dir.path("plugin/a"));
    EXPECT_TRUE(a->mutableName());
    EXPECT_EQ(ax->dataSource()->NativePath(), dir.path("plugin/a/x"))
        << "the search finds the deeper x first";
    EXPECT_EQ(ax->owner(), a);
    EXPECT_EQ(plugin->hasItem(QStringLiteral("two"))->dataSource()->NativePath(),
              dir.path("plugin/x/two"));
}

TEST(PluginItemFolder, ScanMergesIntoExistingFoldersAtAnyDepth) {
    TempDir dir;
    dir.write("disk/Windows/w.dll", "w");
    dir.write("disk/m.bundle/inside", "in");
    dir.write("disk/new/n.txt", "n");
    dir.write("disk/top.txt", "t");

    for (bool stored : {false, true}) {
        auto root = ScanFolder::make("root");
        auto deep = folder("Build Resources");
        deep->add(PluginItemFolder::create(QStringLiteral("Windows"), false));
        root->add(deep);
        root->add(folder("m.bundle"));
        root->_scanDirectory(dir.item("disk"), stored);
        const QString star = stored ? "*" : "";
        EXPECT_EQ(storedOutline(root),
                  "Build Resources/\n"
                  "  Windows/\n"
                  "    w.dll" +
                      star +
                      "\n"
                      "m.bundle/\n"
                      "  inside" +
                      star +
                      "\n"
                      "new/\n"
                      "  n.txt" +
                      star +
                      "\n"
                      "top.txt" +
                      star + "\n")
            << stored;
        auto created = root->hasItem(QStringLiteral("new"));
        EXPECT_EQ(created->dataSource() != nullptr, !stored)
            << "folders made by name have no source";
        EXPECT_TRUE(created->mutableName());
        EXPECT_FALSE(root->hasItem(QStringLiteral("Windows"))->mutableName());
        auto file =
            std::static_pointer_cast<PluginItemFile>(root->hasItem(QStringLiteral("w.dll")));
        EXPECT_EQ(file->rawData(), stored ? "w" : "");
    }
}

TEST(PluginItemFolder, SourcesThatGiveNothing) {
    // A plain folder reads directories only; packages and project files are
    // the archive's.
    TempDir dir;
    dir.write("file.bin", "x");
    dir.write("a.zanth_plugin", "x");
    dir.write("p.prjkvx", "x");
    for (const FolderItemPtr& source : {FolderItemPtr(), dir.item("missing"), dir.item("file.bin"),
                                        dir.item("a.zanth_plugin"), dir.item("p.prjkvx")}) {
        auto f = PluginItemFolder::create(source, true, nullptr);
        EXPECT_EQ(f->name(), "");
        EXPECT_TRUE(f->empty());
        EXPECT_EQ(f->dataSource(), nullptr);
        EXPECT_FALSE(f->isValid());
    }
}

class PluginItemFolderStore : public ScriptedUITest {};

TEST_F(PluginItemFolderStore, EmptyFoldersAndMissingDestinations) {
    TempDir dir;
    auto empty = folder("Empty");
    EXPECT_TRUE(empty->store(dir.item()));
    EXPECT_EQ(zpc::test::snapshotTree(dir.path()), (QMap<QString, QByteArray>{{"Empty", "<dir>"}}));
    EXPECT_FALSE(empty->store(nullptr));
    EXPECT_FALSE(empty->store(dir.item("missing")));
    EXPECT_FALSE(folder("")->store(dir.item()));
    EXPECT_TRUE(ui->messages().isEmpty());
}

TEST_F(PluginItemFolderStore, AFailureIsReportedAtEveryLevelAndStopsTheFolder) {
    TempDir dir;
    dir.write("src/good", "g");
    dir.write("src/gone", "x");
    dir.write("src/after", "a");
    auto root = folder("root");
    auto sub = folder("sub \"quoted\"");
    for (const char* n : {"good", "gone", "after"})
        sub->add(PluginItemFile::create(dir.item(QString("src/") + n), false));
    root->add(sub);
    root->add(PluginItemFile::create(dir.item("src/after"), false));
    ASSERT_TRUE(QFile::remove(dir.path("src/gone")));
    dir.mkdir("out");

    EXPECT_FALSE(root->store(dir.item("out")));
    EXPECT_EQ(ui->messages(),
              QStringList({"Can't store file \"gone\"", "Can't store file \"sub \"quoted\"\""}));
    EXPECT_EQ(zpc::test::snapshotTree(dir.path("out")),
              (QMap<QString, QByteArray>{{"root", "<dir>"},
                                         {"root/sub \"quoted\"", "<dir>"},
                                         {"root/sub \"quoted\"/good", "g"}}));

    ui->clear();
    dir.write("out/blocked", "a file where the folder goes");
    EXPECT_FALSE(folder("blocked")->store(dir.item("out")));
    EXPECT_FALSE(folder("a/b")->store(dir.item("out")));
    EXPECT_EQ(ui->messages(),
              QStringList({"Can't store file \"blocked\"", "Can't store file \"a/b\""}));
}

TEST(PluginItemFolder, RevertReadsTheSourceAgain) {
    TempDir dir;
    dir.write("plugin/a/one", "1");
    dir.write("plugin/b", "b");
    auto plugin = PluginItemFolder::create(dir.item("plugin"), false, nullptr);
    bool called = false;
    plugin->decompressorAgent = [&](const FolderItemPtr&, const FolderItemPtr&) {
        called = true;
        return FolderItemPtr();
    };
    const QString before = plugin->uid();
    const PluginItemPtr oldA = plugin->hasItem(QStringLiteral("a"));

    QFile::remove(dir.path("plugin/b"));
    dir.write("plugin/c", "c");
    dir.write("plugin/a/two", "2");
    plugin->revert();
    EXPECT_EQ(storedOutline(plugin), "a/\n  one\n  two\nc\n");
    EXPECT_NE(plugin->uid(), before);
    EXPECT_NE(plugin->hasItem(QStringLiteral("a")), oldA);
    EXPECT_EQ(plugin->name(), "plugin");
    EXPECT_FALSE(plugin->mutableName());
    EXPECT_TRUE(bool(plugin->decompressorAgent));
    EXPECT_FALSE(called);

    QDir(dir.path("plugin")).removeRecursively();
    plugin->revert();
    EXPECT_TRUE(plugin->empty()) << "a source that is gone gives nothing";

    auto byName = folder("named");
    byName->add(folder("child"));
    byName->revert();
    EXPECT_TRUE(byName->empty());
    EXPECT_EQ(byName->name(), "named");
}
