#include "archive/PluginArchive.h"
#include "archive/PluginConverter.h"
#include "archive/PluginSearch.h"
#include "model/PluginItemFile.h"
#include "platform/VirtualVolume.h"
#include "support/ResourceForkWriter.h"
#include "support/ModelOutline.h"
#include "support/TestSupport.h"

#include <unistd.h>
#include <QDir>
#include <QFile>

using namespace zpc::archive;
using namespace zpc::platform;
using zpc::test::ResourceForkWriter;
using zpc::test::contentOutline;
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
        // Files with no library of the old form.
        {"a plain file", [](const TempDir& d) { d.write("src", "old plugin"); }, "src"},
        {"resources of no platform",
         [](const TempDir& d) { d.write("src", ResourceForkWriter().add("ICN#", 1, "i").fork()); },
         "src"},
        {"a damaged fork",
         [](const TempDir& d) {
             d.write("src", ResourceForkWriter().add("PL86", 1, "w").fork().chopped(1));
         },
         "src"},
        // The package refuses a second name that differs only in case.
        {"names differing in case",
         [](const TempDir& d) {
             d.write("src/P/IDE Resources/Help/a.txt", "1");
             d.write("src/P/IDE Resources/Help/A.txt", "2");
         },
         "src"},
        // Names that are not UTF-8 can read as one name; the second would replace the first.
        {"names that read alike",
         [](const TempDir& d) {
             d.mkdir("src/P/IDE Resources/Help");
             for (const char* name : {"a\xff", "a\xfe"}) {
                 const QByteArray path =
                     QFile::encodeName(d.path("src/P/IDE Resources/Help/")) + name;
                 FILE* out = std::fopen(path.constData(), "wb");
                 ASSERT_TRUE(out);
                 std::fputs(name, out);
                 std::fclose(out);
             }
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
    dir.write("Old", ResourceForkWriter().add("PL86", 1, "w").fork());
    for (const char* source : {"P", "Old"}) {
        PluginConverter converter(dir.item(source), nullptr);
        EXPECT_FALSE(converter.Convert()) << source;
    }
}

namespace {

}  // namespace

TEST(PluginConverter, AnOldPluginBecomesAPackageWithItsLibrariesInTheirPlatformFolders) {
    const QByteArray fork = ResourceForkWriter()
                                .add("PL86", 128, "win", QStringLiteral("Tools.dll"))
                                .add("PLCN", 5, QByteArray("carbon\0\xff", 8))
                                .add("PLPC", 9, "", QStringLiteral("Empty PPC"))
                                .add("ICN#", 128, "icon")
                                .fork();
    for (const bool macBinary : {false, true}) {
        TempDir dir;
        dir.write("Tools.v1.rsrc",
                  macBinary ? ResourceForkWriter::macBinary(fork, "data", "Tools") : fork);
        ASSERT_TRUE(convert(dir, "Tools.v1.rsrc")) << macBinary;
        const QMap<QString, QByteArray> files = unpacked(dir);
        QStringList folders;
        for (auto it = files.begin(); it != files.end(); ++it)
            if (it.value() == "<dir>") folders << it.key();
        EXPECT_EQ(folders.size(), 12) << "the plugin, its two top folders and their 9 folders";
        EXPECT_TRUE(folders.contains("Tools/IDE Resources/Controls Palette"));
        EXPECT_TRUE(folders.contains("Tools/Build Resources/Mac Carbon Mach-O"));
        EXPECT_EQ(files.value("Tools/Build Resources/Windows/Tools.dll"), "win");
        EXPECT_EQ(files.value("Tools/Build Resources/Mac Carbon/Tools.v15"),
                  QByteArray("carbon\0\xff", 8));
        EXPECT_EQ(files.value("Tools/Build Resources/Mac Classic/Empty PPC", "missing"), "");
        EXPECT_EQ(files.size(), 15);

        // Opened, the package is the plugin the old file opens as. A package is
        // first read into the modern tree; reverted, into the classic one, in
        // the order of the old plugin's.
        const auto package = PluginArchive::create(dir.item("out.kvx"), false, nullptr);
        const auto old = PluginArchive::create(dir.item("Tools.v1.rsrc"), false, nullptr);
        EXPECT_EQ(package->name(), "Tools");
        package->revert();
        EXPECT_EQ(contentOutline(package), contentOutline(old));
        EXPECT_TRUE(contentOutline(package).contains("  Windows/\n    Tools.dll=win\n"));
    }
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
