#include "archive/PluginArchive.h"
#include "model/PluginItemFile.h"
#include "platform/BundlePictures.h"
#include "platform/ResourceFork.h"
#include "support/ModelOutline.h"
#include "support/ResourceForkWriter.h"
#include "support/TestSupport.h"

#include <functional>

using namespace zpc::archive;
using namespace zpc::model;
using namespace zpc::platform;
using zpc::test::contentOutline;
using zpc::test::kModernTree;
using zpc::test::putBE16;
using zpc::test::putBE32;
using zpc::test::ResourceForkWriter;
using zpc::test::ScriptedUITest;
using zpc::test::TempDir;
using Layout = ResourceForkWriter::Layout;

namespace {

// Two Windows libraries (one unnamed), one for each Mac, and an icon that
// belongs to no platform.
ResourceForkWriter plugin() {
    ResourceForkWriter w;
    w.add("PLCN", 200, "carbon code", QStringLiteral("Tools Carbon"));
    w.add("PL86", 129, "win code 2", std::nullopt);
    w.add("PL86", 128, "win code", QStringLiteral("Tools.dll"));
    w.add("PLPC", 300, "ppc code", QStringLiteral("Tools PPC"));
    w.add("ICN#", 128, "icon");
    return w;
}

const char kPluginTree[] =
    "Build Resources/\n"
    "  Mac Classic/\n"
    "    Tools PPC=ppc code\n"
    "  Mac Carbon/\n"
    "    Tools Carbon=carbon code\n"
    "  Mac Carbon Mach-O/\n"
    "  Mac Carbon Mach-O Universal/\n"
    "  Mac Cocoa/\n"
    "  Windows/\n"
    "    Tools.dll=win code\n"
    "    Tools129=win code 2\n"
    "  Linux X86/\n"
    "IDE Resources/\n"
    "  Controls Palette/\n"
    "  Help/\n";

// A modern archive whose old-format scan can be run directly.
class ScannableArchive : public PluginArchive {
public:
    static std::shared_ptr<ScannableArchive> make() {
        auto archive = std::shared_ptr<ScannableArchive>(new ScannableArchive());
        archive->constructEmpty();
        return archive;
    }
    using PluginArchive::_scanPluginOldFormat;
};

class OldPlugin : public ScriptedUITest {};

}  // namespace

TEST_F(OldPlugin, OpensFromEveryCarrierAsAClassicPluginNamedAfterTheFile) {
    const QByteArray fork = plugin().fork();
    struct Case {
        const char* name;
        std::vector<std::pair<QString, QByteArray>> files;
        QString open;
    };
    const std::vector<Case> cases = {
        {"companion",
         {{"Tools.rsrc", "data"}, {"._Tools.rsrc", ResourceForkWriter::appleDouble(fork)}},
         "Tools.rsrc"},
        {"__MACOSX of an unpacked zip",
         {{"z/sub/Tools.rsrc", "data"},
          {"z/__MACOSX/sub/._Tools.rsrc", ResourceForkWriter::appleDouble(fork)}},
         "z/sub/Tools.rsrc"},
        {"AppleSingle", {{"Tools.as", ResourceForkWriter::appleSingle(fork, "data")}}, "Tools.as"},
        {"MacBinary II",
         {{"Tools.bin", ResourceForkWriter::macBinary(fork, "data", QStringLiteral("Tools"))}},
         "Tools.bin"},
        {"MacBinary III",
         {{"Tools.bin", ResourceForkWriter::macBinary(fork, {}, QStringLiteral("Tools"),
                                                      ResourceForkWriter::MacBinary::III)}},
         "Tools.bin"},
        {"raw", {{"Tools.rsrc", fork}}, "Tools.rsrc"},
        // A name that says package: it opens as none, so the fork is read.
        {"raw named .kvx", {{"Tools.kvx", fork}}, "Tools.kvx"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        for (const auto& [path, bytes] : c.files) dir.write(path, bytes);
        const auto archive = PluginArchive::create(dir.item(c.open), false, nullptr);
        EXPECT_EQ(contentOutline(archive), kPluginTree) << c.name;
        EXPECT_EQ(archive->name(), "Tools") << c.name;
        EXPECT_TRUE(archive->classicHierarchyStyle()) << c.name;
        EXPECT_EQ(archive->icon(), pictures::kvxplugin()) << c.name;
        ASSERT_NE(archive->dataSource(), nullptr) << c.name;
        EXPECT_EQ(archive->dataSource()->NativePath(), dir.path(c.open)) << c.name;
        EXPECT_FALSE(archive->mutableName()) << c.name;

        // Saved as a package, it reads back the same (a package is read into
        // the classic tree on Revert).
        dir.mkdir("out");
        ASSERT_TRUE(archive->saveAsPluginFile(dir.item("out"))) << c.name;
        const auto saved = PluginArchive::create(dir.item("out/Tools.kvx"), false, nullptr);
        saved->revert();
        EXPECT_EQ(contentOutline(saved), kPluginTree) << c.name;
    }
    EXPECT_TRUE(ui->shown().empty());
}

TEST_F(OldPlugin, NamedUpToTheFirstDotAndRevertReadsTheFileAgain) {
    TempDir dir;
    dir.write("My.Tools.v2.rsrc", ResourceForkWriter().add("PL86", 1, "one").fork());
    const auto archive = PluginArchive::create(dir.item("My.Tools.v2.rsrc"), false, nullptr);
    EXPECT_EQ(archive->name(), "My");
    EXPECT_TRUE(contentOutline(archive).contains("  Windows/\n    My.Tools.v21=one\n"));

    // The file changes behind the archive; Revert takes what it holds now,
    // in the classic tree.
    dir.write("My.Tools.v2.rsrc", ResourceForkWriter()
                                      .add("PLPC", 2, "two", QStringLiteral("Two"))
                                      .add("PL86", 3, "three", QStringLiteral("Three"))
                                      .fork());
    const QString uid = archive->uid();
    archive->revert();
    EXPECT_NE(archive->uid(), uid);
    EXPECT_EQ(archive->name(), "My");
    EXPECT_TRUE(archive->classicHierarchyStyle());
    const QString tree = contentOutline(archive);
    EXPECT_TRUE(tree.startsWith("Build Resources/\n  Mac Classic/\n    Two=two\n"))
        << tree.toStdString();
    EXPECT_TRUE(tree.contains("  Windows/\n    Three=three\n  Linux X86/\n")) << tree.toStdString();
    EXPECT_FALSE(tree.contains("one"));

    // A file whose name gives no plugin name still is the source.
    dir.write(".rsrc", ResourceForkWriter().add("PL86", 1, "one").fork());
    const auto unnamed = PluginArchive::create(dir.item(".rsrc"), false, nullptr);
    EXPECT_EQ(unnamed->name(), "Untitled");
    ASSERT_NE(unnamed->dataSource(), nullptr);
    unnamed->revert();
    EXPECT_TRUE(contentOutline(unnamed).contains("  Windows/\n    1=one\n"));
}

TEST_F(OldPlugin, InTheModernTreeOnlyWindowsLibrariesHaveAFolder) {
    TempDir dir;
    dir.write("Tools", plugin().fork());
    const auto archive = ScannableArchive::make();
    archive->_scanPluginOldFormat(ResourceFork::parse(plugin().fork()), dir.item("Tools"));
    EXPECT_EQ(contentOutline(archive),
              "Build Resources/\n  Mac Carbon Mach-O Universal/\n  Mac Cocoa/\n"
              "  Windows/\n    Tools.dll=win code\n    Tools129=win code 2\n  Linux X86/\n"
              "IDE Resources/\n  Controls Palette/\n  Help/\n");
}

TEST_F(OldPlugin, APackageOrAProjectFileIsNeverReadAsAnOldPlugin) {
    TempDir dir;
    const QByteArray companion = ResourceForkWriter::appleDouble(plugin().fork());
    dir.write("src/P/IDE Resources/Help/a.html", "a");
    ASSERT_TRUE(
        PluginArchive::create(dir.item("src/P"), false, nullptr)->saveAsPluginFile(dir.item()));
    dir.write("._P.kvx", companion);
    const auto package = PluginArchive::create(dir.item("P.kvx"), false, nullptr);
    EXPECT_TRUE(contentOutline(package).contains("  Help/\n    a.html=a\n"));
    EXPECT_FALSE(contentOutline(package).contains("Tools"));
}

namespace {

// "PL86" ids 1 and 2 and "PLPC" id 3, for damaging.
QByteArray damageFixture(Layout& layout) {
    return ResourceForkWriter()
        .add("PL86", 1, "one", QStringLiteral("One"))
        .add("PL86", 2, "two", QStringLiteral("Two"))
        .add("PLPC", 3, "three", QStringLiteral("Three"))
        .fork(&layout);
}

}  // namespace

// Bad input opens as no old plugin (an empty modern plugin without source) or
// loses the bad resource; nothing is shown.
TEST_F(OldPlugin, DamagedFilesOpenAsNothingOrWithoutTheBadResource) {
    struct Case {
        const char* name;
        std::function<QByteArray(QByteArray fork, const Layout&)> file;
        QString libraries;  // in the tree's order; "" for no old plugin
    };
    const std::vector<Case> cases = {
        {"intact", [](QByteArray f, const Layout&) { return f; }, "Three One Two"},
        {"truncated", [](QByteArray f, const Layout&) { return f.left(f.size() - 1); }, ""},
        {"header only", [](QByteArray f, const Layout&) { return f.left(16); }, ""},
        {"type count 0xFFFF",
         [](QByteArray f, const Layout& l) {
             putBE16(f, l.typeList, 0xFFFF);
             return f;
         },
         ""},
        {"map offset outside",
         [](QByteArray f, const Layout&) {
             putBE32(f, 4, 0xFFFFFF00);
             return f;
         },
         ""},
        {"data length outside",
         [](QByteArray f, const Layout& l) {
             putBE32(f, l.data[1], 0x7FFFFFFF);
             return f;
         },
         "Three One"},
        {"name running past the end",
         [](QByteArray f, const Layout& l) {
             f[l.names[2]] = char(0xFF);
             return f;
         },
         "One Two"},
        {"overlapping reference lists",
         [](QByteArray f, const Layout& l) {
             // "PL86" takes in the list of "PLPC", which is left out.
             putBE16(f, l.typeEntries[0] + 4, 2);
             return f;
         },
         "One Two Three"},
        {"AppleDouble entry longer than the file",
         [](QByteArray f, const Layout&) {
             QByteArray ad = ResourceForkWriter::appleDouble(f);
             putBE32(ad, 26 + 12 + 8, quint32(f.size() + 1));
             return ad;
         },
         ""},
        {"MacBinary with a bad CRC",
         [](QByteArray f, const Layout&) {
             QByteArray mb = ResourceForkWriter::macBinary(f, "data", QStringLiteral("Tools"));
             mb[2] = 'X';
             return mb;
         },
         ""},
    };
    for (const Case& c : cases) {
        TempDir dir;
        Layout layout;
        const QByteArray fork = damageFixture(layout);
        dir.write("Tools.rsrc", c.file(fork, layout));
        const auto archive = PluginArchive::create(dir.item("Tools.rsrc"), false, nullptr);
        QStringList libraries;
        std::function<void(const PluginItemPtr&)> collect = [&](const PluginItemPtr& node) {
            for (const PluginItemPtr& child : node->asFolder()->items())
                child->asFolder() ? collect(child) : void(libraries << child->name());
        };
        collect(archive);
        EXPECT_EQ(libraries.join(' '), c.libraries) << c.name;
        if (c.libraries.isEmpty()) {
            EXPECT_EQ(contentOutline(archive), kModernTree) << c.name;
            EXPECT_EQ(archive->dataSource(), nullptr) << c.name;
            EXPECT_EQ(archive->name(), "Untitled") << c.name;
            EXPECT_EQ(PluginArchive::createWithOldPlugin(dir.item("Tools.rsrc")), nullptr)
                << c.name;
        } else {
            EXPECT_TRUE(archive->classicHierarchyStyle()) << c.name;
        }
    }
    EXPECT_TRUE(ui->shown().empty());
}

TEST_F(OldPlugin, FilesWithoutOldFormatResourcesStayWhatTheyWere) {
    TempDir dir;
    dir.write("notes.txt", "no fork at all");
    dir.write("Icons", ResourceForkWriter().add("ICN#", 1, "icon").fork());
    dir.write("Empty", ResourceForkWriter().fork());
    for (const char* name : {"notes.txt", "Icons", "Empty", "missing"}) {
        const auto archive = PluginArchive::create(dir.item(name), false, nullptr);
        EXPECT_EQ(contentOutline(archive), kModernTree) << name;
        EXPECT_FALSE(archive->classicHierarchyStyle()) << name;
        EXPECT_EQ(archive->dataSource(), nullptr) << name;
        EXPECT_EQ(PluginArchive::createWithOldPlugin(dir.item(name)), nullptr) << name;
    }
    EXPECT_EQ(PluginArchive::createWithOldPlugin(nullptr), nullptr);
    EXPECT_EQ(PluginArchive::createWithOldPlugin(dir.item()), nullptr) << "a folder";
}
