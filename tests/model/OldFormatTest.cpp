#include "model/PluginItemFile.h"
#include "model/PluginItemFolder.h"
#include "platform/ResourceFork.h"
#include "support/ModelOutline.h"
#include "support/ResourceForkWriter.h"
#include "support/TestSupport.h"

using namespace zpc::model;
using namespace zpc::platform;
using zpc::test::contentOutline;
using zpc::test::ResourceForkWriter;
using zpc::test::TempDir;

namespace {

// A folder whose old-format scan can be run directly.
class OldFormatFolder : public PluginItemFolder {
public:
    static std::shared_ptr<OldFormatFolder> make(const QString& name) {
        auto folder = std::shared_ptr<OldFormatFolder>(new OldFormatFolder());
        folder->constructNamed(name, true);
        return folder;
    }
    using PluginItemFolder::_oldPluginFormatResources;
    using PluginItemFolder::_scanPluginOldFormat;
};

// "name=bytes" per node, "*" marking a copy in memory.
QStringList describe(const std::vector<std::shared_ptr<PluginItemFile>>& nodes) {
    QStringList out;
    for (const auto& node : nodes)
        out << node->name() + (node->isStored() ? "*=" : "=") +
                   QString::fromLatin1(node->rawData());
    return out;
}

OldFormatResources resourcesOf(const ResourceForkWriter& writer) {
    return ResourceFork::parse(writer.fork());
}

}  // namespace

TEST(OldFormat, TypesAndTheirPlatformFolders) {
    EXPECT_EQ(PluginItemFolder::defaultOldFormatResourcesListName(),
              (QStringList{"PL86", "PLPC", "PLCN"}));
    // A fresh list each time: a caller may change it.
    QStringList list = PluginItemFolder::defaultOldFormatResourcesListName();
    list.clear();
    EXPECT_EQ(PluginItemFolder::defaultOldFormatResourcesListName().size(), 3);
    EXPECT_EQ(PluginItemFolder::oldFormatPlatformFolderName("PL86"), "Windows");
    EXPECT_EQ(PluginItemFolder::oldFormatPlatformFolderName("PLPC"), "Mac Classic");
    EXPECT_EQ(PluginItemFolder::oldFormatPlatformFolderName("PLCN"), "Mac Carbon");
    for (const char* other : {"pl86", "ICN#", "", "PL86 "})
        EXPECT_EQ(PluginItemFolder::oldFormatPlatformFolderName(other), "") << other;
}

TEST(OldFormat, OneNodePerResourceInIdOrderNamedAfterItOrTheFile) {
    TempDir dir;
    dir.write("My.Tools.rsrc", "x");
    ResourceForkWriter w;
    w.add("PL86", 300, "third", QStringLiteral("Tools.dll"));
    w.add("PL86", -2, "first", std::nullopt);
    w.add("PLPC", 5, "ppc", QStringLiteral("Tools PPC"));
    w.add("PL86", 128, "second", QStringLiteral(""));         // an empty name is no name
    w.add("PL86", 129, "slash", QStringLiteral("Win 3/95"));  // no "/" in a file name
    w.add("PL86", 130, "dots", QStringLiteral(".."));
    const auto resources = resourcesOf(w);
    const FolderItemPtr file = dir.item("My.Tools.rsrc");

    EXPECT_EQ(describe(PluginItemFile::createWithResourceFork(resources, "PL86", -1, file)),
              (QStringList{"My.Tools-2*=first", "My.Tools128*=second", "Win 3:95*=slash",
                           "My.Tools130*=dots", "Tools.dll*=third"}));
    EXPECT_EQ(describe(PluginItemFile::createWithResourceFork(resources, "PL86", 300, file)),
              QStringList{"Tools.dll*=third"});
    EXPECT_EQ(describe(PluginItemFile::createWithResourceFork(resources, "PLPC", -1, file)),
              QStringList{"Tools PPC*=ppc"});
    // Nothing to make: no such id, no such type, a type that is no type, no resources.
    EXPECT_TRUE(PluginItemFile::createWithResourceFork(resources, "PL86", 7, file).empty());
    EXPECT_TRUE(PluginItemFile::createWithResourceFork(resources, "PLCN", -1, file).empty());
    EXPECT_TRUE(PluginItemFile::createWithResourceFork(resources, "PL8", -1, file).empty());
    EXPECT_TRUE(PluginItemFile::createWithResourceFork(nullptr, "PL86", -1, file).empty());

    // Every node holds its bytes, is valid and writes them out.
    const auto nodes = PluginItemFile::createWithResourceFork(resources, "PL86", -1, file);
    dir.mkdir("out");
    for (const auto& node : nodes) {
        EXPECT_TRUE(node->isValid());
        EXPECT_EQ(node->dataSource(), nullptr) << "linked to nothing";
        ASSERT_TRUE(node->store(dir.item("out")));
        EXPECT_EQ(dir.read("out/" + node->name()), node->rawData());
    }
}

TEST(OldFormat, RepeatedNamesInOneFolderGetANumber) {
    TempDir dir;
    dir.write("P", "x");
    ResourceForkWriter w;
    w.add("PL86", 1, "a", QStringLiteral("Lib"));
    w.add("PL86", 2, "b", QStringLiteral("lib"));  // letter case ignored
    w.add("PL86", 3, "c", QStringLiteral("Lib 2"));
    w.add("PL86", 4, "d", QStringLiteral("LIB"));
    w.add("PL86", 5, "e", std::nullopt);
    w.add("PL86", 6, "f", QStringLiteral("P5"));
    w.add("PL86", 7, "g", QStringLiteral("Lib"));
    EXPECT_EQ(
        describe(PluginItemFile::createWithResourceFork(resourcesOf(w), "PL86", -1, dir.item("P"))),
        (QStringList{"Lib*=a", "lib 2*=b", "Lib 2 2*=c", "LIB 3*=d", "P5*=e", "P5 2*=f",
                     "Lib 4*=g"}));
}

TEST(OldFormat, TheScanFillsTheFirstPlatformFolderOfEachTypeAnywhereBelow) {
    TempDir dir;
    dir.write("Plug.rsrc", "x");
    ResourceForkWriter w;
    w.add("PLCN", 1, "carbon", QStringLiteral("Carbon"));
    w.add("PL86", 2, "win", QStringLiteral("Win"));
    w.add("PLPC", 3, "ppc", QStringLiteral("PPC"));
    w.add("ICN#", 4, "icon", QStringLiteral("Icon"));  // no platform: left alone
    const auto resources = resourcesOf(w);

    // "Windows" deep down in the first branch, a second one higher up later,
    // a file named "Mac Classic" (no folder), no "Mac Carbon" at all.
    auto root = OldFormatFolder::make("root");
    auto a = PluginItemFolder::create("a", true);
    auto b = PluginItemFolder::create("b", true);
    b->add(PluginItemFolder::create("windows", true));
    a->add(b);
    root->add(a);
    root->add(PluginItemFolder::create("Windows", true));
    auto classic = PluginItemFile::create("Mac Classic", true);
    classic->setRawData("not a folder");
    root->add(classic);

    root->_scanPluginOldFormat(resources, dir.item("Plug.rsrc"));
    EXPECT_EQ(contentOutline(root),
              "a/\n  b/\n    windows/\n      Win=win\n"
              "Windows/\n"
              "Mac Classic=not a folder\n");

    // A folder that holds files already keeps them and their names.
    auto second = OldFormatFolder::make("root");
    auto carbon = PluginItemFolder::create("Mac Carbon", true);
    auto existing = PluginItemFile::create("carbon", true);
    existing->setRawData("mine");
    carbon->add(existing);
    second->add(carbon);
    second->_scanPluginOldFormat(resources, dir.item("Plug.rsrc"));
    EXPECT_EQ(contentOutline(second), "Mac Carbon/\n  carbon=mine\n  Carbon 2=carbon\n");

    // Without resources nothing changes.
    const QString before = contentOutline(second);
    second->_scanPluginOldFormat(nullptr, dir.item("Plug.rsrc"));
    EXPECT_EQ(contentOutline(second), before);
}

TEST(OldFormat, ResourcesAreFoundWhereverTheForkTravels) {
    TempDir dir;
    dir.write("Plain", "no fork");
    dir.write("Old", "data fork");
    dir.write("._Old",
              ResourceForkWriter::appleDouble(ResourceForkWriter().add("PL86", 1, "w").fork()));
    EXPECT_EQ(OldFormatFolder::_oldPluginFormatResources(dir.item("Plain")), nullptr);
    EXPECT_EQ(OldFormatFolder::_oldPluginFormatResources(nullptr), nullptr);
    const auto found = OldFormatFolder::_oldPluginFormatResources(dir.item("Old"));
    ASSERT_NE(found, nullptr);
    EXPECT_TRUE(PluginItemFolder::hasOldFormatResources(found));
    // Resources of other types are resources, but none of an old plugin.
    dir.write("Icons", ResourceForkWriter().add("ICN#", 1, "i").fork());
    const auto icons = OldFormatFolder::_oldPluginFormatResources(dir.item("Icons"));
    ASSERT_NE(icons, nullptr);
    EXPECT_FALSE(PluginItemFolder::hasOldFormatResources(icons));
    EXPECT_FALSE(PluginItemFolder::hasOldFormatResources(nullptr));
}
