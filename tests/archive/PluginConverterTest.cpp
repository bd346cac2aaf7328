#include "archive/PluginConverter.h"
#include "archive/PluginSearch.h"
#include "platform/VirtualVolume.h"
#include "support/TestSupport.h"

#include <unistd.h>
#include <QDir>
#include <QFile>

using namespace zpc::archive;
using namespace zpc::platform;
using zpc::test::runProcess;
using zpc::test::snapshotTree;
using zpc::test::TempDir;

namespace {

// Converts source into DEST/out.kvx; answers Convert's result.
bool convert(const TempDir& dir, const QString& source) {
    auto volume = dir.item("out.kvx")->CreateVirtualVolume();
    PluginConverter converter(dir.item(source), volume);
    return converter.Convert();
}

// The package as the standard tool unpacks it.
QMap<QString, QByteArray> unpacked(const TempDir& dir) {
    dir.mkdir("unpacked");
    const auto r =
        runProcess("sqlite3", {dir.path("out.kvx"), "-A", "-x", "-C", dir.path("unpacked")});
    EXPECT_EQ(r.exitCode, 0) << r.output.toStdString();
    return snapshotTree(dir.path("unpacked"));
}

}  // namespace

TEST(PluginConverter, AFolderHierarchyIsCopiedUnderOneFolderNamedAfterThePlugin) {
    TempDir dir;
    dir.write("src/Tools/Build Resources/Linux X86/libtools.so", QByteArray(3 << 20, 'L'));
    dir.write("src/Tools/Build Resources/Windows/tools.dll", "dll");
    dir.mkdir("src/Tools/IDE Resources/Help");
    dir.write("src/Tools/IDE Resources/Help/index.html", "<p>help</p>");
    dir.write("src/Tools/IDE Resources/.DS_Store", "hidden files stay behind");
    dir.write("src/Tools/.hiddendir/kept.txt", "a hidden folder is read like any other");
    dir.write("elsewhere/target.txt", "through a link");
    ASSERT_EQ(
        ::symlink(
            QFile::encodeName(dir.path("elsewhere/target.txt")).constData(),
            QFile::encodeName(dir.path("src/Tools/IDE Resources/Help/linked.txt")).constData()),
        0);
    ASSERT_EQ(
        ::symlink("..", QFile::encodeName(dir.path("src/Tools/IDE Resources/up")).constData()), 0);

    ASSERT_TRUE(convert(dir, "src/Tools"));
    const auto got = unpacked(dir);
    const QMap<QString, QByteArray> expected = {
        {"Tools", "<dir>"},
        {"Tools/.hiddendir", "<dir>"},
        {"Tools/.hiddendir/kept.txt", "a hidden folder is read like any other"},
        {"Tools/Build Resources", "<dir>"},
        {"Tools/Build Resources/Linux X86", "<dir>"},
        {"Tools/Build Resources/Linux X86/libtools.so", QByteArray(3 << 20, 'L')},
        {"Tools/Build Resources/Windows", "<dir>"},
        {"Tools/Build Resources/Windows/tools.dll", "dll"},
        {"Tools/IDE Resources", "<dir>"},
        {"Tools/IDE Resources/Help", "<dir>"},
        {"Tools/IDE Resources/Help/index.html", "<p>help</p>"},
        {"Tools/IDE Resources/Help/linked.txt", "through a link"},
    };
    EXPECT_EQ(got, expected);
}

TEST(PluginConverter, AFolderHoldingAPluginConvertsTheOneAnOpenWouldFind) {
    TempDir dir;
    dir.write("src/A/First/Build Resources/a.txt", "a");
    dir.write("src/B/Second/IDE Resources/b.txt", "b");
    ASSERT_TRUE(convert(dir, "src"));
    EXPECT_EQ(unpacked(dir).keys(),
              (QStringList{"Second", "Second/IDE Resources", "Second/IDE Resources/b.txt"}));
}

TEST(PluginConverter, NothingToConvertOrAFailedWriteLeavesNoPackage) {
    struct Case {
        const char* what;
        std::function<void(const TempDir&)> make;
        const char* source;
    };
    const Case cases[] = {
        {"a folder without a plugin",
         [](const TempDir& d) { d.write("src/x/readme.txt", "no plugin"); }, "src"},
        {"an empty folder", [](const TempDir& d) { d.mkdir("src"); }, "src"},
        // The old single-file form is not converted yet.
        {"a plain file", [](const TempDir& d) { d.write("src", "old plugin"); }, "src"},
        // The package refuses a second name that differs only in case.
        {"names differing in case",
         [](const TempDir& d) {
             d.write("src/P/IDE Resources/Help/a.txt", "1");
             d.write("src/P/IDE Resources/Help/A.txt", "2");
         },
         "src"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        c.make(dir);
        EXPECT_FALSE(convert(dir, c.source)) << c.what;
        // Neither the package nor its temporary file.
        EXPECT_EQ(QDir(dir.path()).entryList({"*out.kvx*"}, QDir::Hidden | QDir::Files),
                  QStringList())
            << c.what;
    }
}

TEST(PluginConverter, AVolumeThatCouldNotBeMadeIsAFailure) {
    TempDir dir;
    dir.write("P/Build Resources/a", "a");
    PluginConverter converter(dir.item("P"), nullptr);
    EXPECT_FALSE(converter.Convert());
}

TEST(PluginSearch, DepthFirstWithTheHighestIndexFirst) {
    struct Case {
        QStringList plugins;  // plugin folders made (each gets "Build Resources")
        QString expected;     // relative to the searched folder; "" for none
    };
    const Case cases[] = {
        {{"."}, "."},
        {{"A", "B"}, "B"},
        {{"A", "B/x/y"}, "B/x/y"},
        {{"a/x", "B"}, "B"},
        {{"A/P", "Z/readme"}, "A/P"},
        {{}, ""},
    };
    for (const Case& c : cases) {
        TempDir dir;
        dir.mkdir("root");
        for (const QString& p : c.plugins) {
            if (p.endsWith("readme"))
                dir.write("root/" + p, "not a folder");
            else
                dir.mkdir("root/" + p + "/Build Resources");
        }
        const FolderItemPtr found = findPluginDirectory(dir.item("root"));
        if (c.expected.isEmpty()) {
            EXPECT_EQ(found, nullptr) << c.plugins.join(",").toStdString();
        } else {
            ASSERT_NE(found, nullptr) << c.plugins.join(",").toStdString();
            EXPECT_EQ(found->NativePath(), QDir::cleanPath(dir.path("root/" + c.expected)));
        }
    }
}
