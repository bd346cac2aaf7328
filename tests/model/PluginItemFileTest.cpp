#include "model/PluginItemFile.h"
#include "platform/BundlePictures.h"
#include "support/TestSupport.h"

#include <unistd.h>
#include <QDir>
#include <QFile>

using namespace zpc::model;
using namespace zpc::platform;
using zpc::test::TempDir;

namespace {
QByteArray pattern(int size) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i) bytes[i] = char((i * 131 + i / 7) & 0xff);
    return bytes;
}
}  // namespace

TEST(PluginItemFile, LinkedAndStoredNodes) {
    TempDir dir;
    dir.write("lib.dll", "code");
    dir.write("empty", "");
    dir.mkdir("folder");

    auto linked = PluginItemFile::create(dir.item("lib.dll"), false);
    EXPECT_EQ(linked->name(), "lib.dll");
    EXPECT_FALSE(linked->isStored());
    EXPECT_TRUE(linked->rawData().isEmpty());
    EXPECT_EQ(linked->urlData(), dir.item("lib.dll")->URLPath());
    ASSERT_NE(linked->dataSource(), nullptr);
    EXPECT_EQ(linked->dataSource()->NativePath(), dir.path("lib.dll"));
    EXPECT_TRUE(linked->isValid());
    EXPECT_EQ(linked->count(), 1);
    EXPECT_EQ(linked->icon(), pictures::fileicon());

    auto stored = PluginItemFile::create(dir.item("lib.dll"), true);
    EXPECT_EQ(stored->name(), "lib.dll");
    EXPECT_TRUE(stored->isStored());
    EXPECT_EQ(stored->rawData(), "code");
    EXPECT_TRUE(stored->urlData().isEmpty());
    EXPECT_EQ(stored->dataSource(), nullptr);
    EXPECT_TRUE(stored->isValid());

    // An empty file is a file, linked or copied: dropping it would lose it.
    EXPECT_TRUE(PluginItemFile::create(dir.item("empty"), false)->isValid());
    auto emptyCopy = PluginItemFile::create(dir.item("empty"), true);
    EXPECT_TRUE(emptyCopy->isValid());
    EXPECT_TRUE(emptyCopy->isStored());
    EXPECT_EQ(emptyCopy->count(), 1);
    dir.mkdir("out");
    EXPECT_TRUE(emptyCopy->store(dir.item("out")));
    EXPECT_TRUE(dir.exists("out/empty"));
    EXPECT_EQ(dir.read("out/empty"), "");

    for (const FolderItemPtr& bad : {FolderItemPtr(), dir.item("missing"), dir.item("folder")}) {
        for (bool copy : {false, true}) {
            auto node = PluginItemFile::create(bad, copy);
            EXPECT_EQ(node->name(), "");
            EXPECT_FALSE(node->isValid());
        }
    }
}

TEST(PluginItemFile, LinkingKeepsAnExistingNameAndRefusesFolders) {
    TempDir dir;
    dir.write("a.txt", "a");
    dir.write("b.txt", "b");
    dir.mkdir("sub");
    auto node = PluginItemFile::create(QStringLiteral("Readme"), true);
    EXPECT_FALSE(node->isValid()) << "a name without contents";
    node->setDataSource(dir.item("a.txt"));
    EXPECT_EQ(node->name(), "Readme");
    EXPECT_EQ(node->dataSource()->Name(), "a.txt");
    node->setDataSource(dir.item("sub"));
    node->setDataSource(dir.item("missing"));
    node->setDataSource(nullptr);
    EXPECT_EQ(node->dataSource()->Name(), "a.txt") << "invalid sources change nothing";
    node->setDataSource(dir.item("b.txt"));
    EXPECT_EQ(node->dataSource()->Name(), "b.txt");
}

TEST(PluginItemFile, TheLinkIsResolvedOnEveryCall) {
    TempDir dir;
    dir.write("lib.dll", "1");
    auto node = PluginItemFile::create(dir.item("lib.dll"), false);
    ASSERT_TRUE(QFile::rename(dir.path("lib.dll"), dir.path("moved.dll")));
    EXPECT_EQ(node->dataSource(), nullptr);
    EXPECT_FALSE(node->isValid());
    EXPECT_EQ(node->count(), 0);
    dir.write("lib.dll", "2");
    EXPECT_NE(node->dataSource(), nullptr);
    EXPECT_TRUE(node->isValid());

    node->setUrlData(dir.item("moved.dll")->URLPath());
    ASSERT_NE(node->dataSource(), nullptr);
    EXPECT_EQ(node->dataSource()->Name(), "moved.dll");
    for (const char* unusable : {"relative/path", "http://host/x", "file:///bad%zzescape"}) {
        node->setUrlData(unusable);
        EXPECT_EQ(node->dataSource(), nullptr) << unusable;
    }
}

TEST(PluginItemFile, BundlesAreTheirExecutable) {
    struct Case {
        const char* name;
        QStringList files;  // relative to the bundle
        QStringList dirs;
        const char* expected;  // the node's name, or "" for an invalid node
    };
    const Case cases[] = {
        {"Foo.bundle", {"Contents/MacOS/Foo", "Contents/Info.plist"}, {}, "Foo"},
        {"Foo.BUNDLE", {"Contents/MacOS/.hidden", "Contents/MacOS/Bar"}, {}, "Bar"},
        {"Foo.bundles", {"Contents/MacOS/Foo"}, {}, "Foo"},
        {"NoMacOS.bundle", {"Contents/Resources/x"}, {}, ""},
        {"OnlyHidden.bundle", {"Contents/MacOS/.Foo"}, {}, ""},
        {"FirstIsFolder.bundle", {"Contents/MacOS/b"}, {"Contents/MacOS/a"}, ""},
        {"ContentsIsFile.bundle", {"Contents"}, {}, ""},
    };
    for (const Case& c : cases) {
        TempDir dir;
        dir.mkdir(c.name);
        for (const QString& f : c.files) dir.write(QString(c.name) + "/" + f, "exe:" + f.toUtf8());
        for (const QString& d : c.dirs) dir.mkdir(QString(c.name) + "/" + d);
        for (bool copy : {false, true}) {
            auto node = PluginItemFile::create(dir.item(c.name), copy);
            EXPECT_EQ(node->name(), c.expected) << c.name;
            EXPECT_EQ(node->isValid(), *c.expected != 0) << c.name;
            EXPECT_FALSE(node->isStored()) << "a bundle is always linked";
        }
    }

    TempDir dir;
    dir.write("Foo.bundle/Contents/MacOS/Foo", "binary");
    dir.write("Foo.bundle/Contents/Info.plist", "plist");
    dir.mkdir("out");
    auto node = PluginItemFile::create(dir.item("Foo.bundle"), false);
    EXPECT_TRUE(node->store(dir.item("out")));
    EXPECT_EQ(zpc::test::snapshotTree(dir.path("out")),
              (QMap<QString, QByteArray>{{"Foo", "binary"}}));
}

TEST(PluginItemFile, StoreCopiesEveryByteWhateverTheSize) {
    TempDir dir;
    dir.mkdir("out");
    for (int size : {0, 1, 4095, 4096, 4097, 3 * 4096 + 5, (1 << 20) + 3}) {
        const QByteArray bytes = pattern(size);
        dir.write("src/f", bytes);
        auto linked = PluginItemFile::create(dir.item("src/f"), false);
        ASSERT_TRUE(linked->store(dir.item("out"))) << size;
        EXPECT_EQ(dir.read("out/f"), bytes) << size;
        if (size == 0) continue;
        auto stored = PluginItemFile::create(dir.item("src/f"), true);
        QFile::remove(dir.path("out/f"));
        ASSERT_TRUE(stored->store(dir.item("out"))) << size;
        EXPECT_EQ(dir.read("out/f"), bytes) << size;
    }
}

TEST(PluginItemFile, BytesInMemoryWinOverTheLinkAndOutliveTheFile) {
    TempDir dir;
    dir.write("a", "on disk");
    dir.mkdir("out");
    auto node = PluginItemFile::create(dir.item("a"), false);
    node->setRawData("in memory");
    ASSERT_TRUE(node->store(dir.item("out")));
    EXPECT_EQ(dir.read("out/a"), "in memory");

    auto copy = PluginItemFile::create(dir.item("a"), true);
    QFile::remove(dir.path("a"));
    QFile::remove(dir.path("out/a"));
    ASSERT_TRUE(copy->store(dir.item("out")));
    EXPECT_EQ(dir.read("out/a"), "on disk");

    copy->setName("renamed");
    ASSERT_TRUE(copy->store(dir.item("out")));
    EXPECT_EQ(dir.read("out/renamed"), "on disk") << "written under its new name";
}

TEST(PluginItemFile, StoreNeverDestroysOrHalfWritesAFile) {
    TempDir dir;
    dir.write("src/lib.dll", "precious");
    dir.write("src/other", "x");

    // Onto itself, directly and through a second name of the same file.
    auto node = PluginItemFile::create(dir.item("src/lib.dll"), false);
    EXPECT_TRUE(node->store(dir.item("src")));
    EXPECT_EQ(dir.read("src/lib.dll"), "precious");
    dir.mkdir("linked");
    ASSERT_EQ(::link(QFile::encodeName(dir.path("src/lib.dll")).constData(),
                     QFile::encodeName(dir.path("linked/lib.dll")).constData()),
              0);
    EXPECT_TRUE(node->store(dir.item("linked")));
    EXPECT_EQ(dir.read("src/lib.dll"), "precious");

    // A source that became a folder: no file appears, and an existing one stays.
    auto other = PluginItemFile::create(dir.item("src/other"), false);
    QFile::remove(dir.path("src/other"));
    dir.mkdir("src/other");
    dir.mkdir("out");
    EXPECT_FALSE(other->store(dir.item("out")));
    EXPECT_FALSE(dir.exists("out/other"));
    dir.write("out/other", "older");
    EXPECT_FALSE(other->store(dir.item("out")));
    EXPECT_EQ(dir.read("out/other"), "older");

    // No destination, or one that is no folder.
    EXPECT_FALSE(node->store(nullptr));
    EXPECT_FALSE(node->store(dir.item("missing")));
    EXPECT_FALSE(node->store(dir.item("src/lib.dll")));
    dir.mkdir("taken/lib.dll");
    EXPECT_FALSE(node->store(dir.item("taken"))) << "a folder holds the name";
}
