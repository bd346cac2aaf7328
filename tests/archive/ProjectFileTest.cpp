#include "archive/PluginArchive.h"
#include "model/PluginItemFile.h"
#include "platform/Base64.h"
#include "platform/Exceptions.h"
#include "platform/Xml.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>

using namespace zpc::archive;
using namespace zpc::model;
using namespace zpc::platform;
using zpc::test::ScriptedUITest;
using zpc::test::snapshotTree;
using zpc::test::TempDir;

namespace {

// Every node as "name/" (folders) or "name", its rename flag and, for files,
// its contents: "raw:<bytes>" or "url:<link>".
QString describe(const PluginItemPtr& node, int depth = 0) {
    QString out;
    for (const PluginItemPtr& child : node->asFolder()->items()) {
        out += QString(depth * 2, ' ') + child->name() + (child->asFolder() ? "/" : "");
        out += child->mutableName() ? " mutable" : "";
        if (auto file = std::dynamic_pointer_cast<PluginItemFile>(child)) {
            out += !file->holdsBytes()
                       ? " url:" + file->urlData()
                       : " raw:" + QString::fromLatin1(file->rawData().toHex());
            out += file->isStored() ? " stored" : "";
        }
        out += "\n";
        if (child->asFolder()) out += describe(child, depth + 1);
    }
    return out;
}

QStringList uids(const PluginItemPtr& node) {
    QStringList out;
    for (const PluginItemPtr& child : node->asFolder()->items()) {
        out << child->uid();
        if (child->asFolder()) out += uids(child);
    }
    return out;
}

bool anyFolderHasASource(const PluginItemPtr& node) {
    for (const PluginItemPtr& child : node->asFolder()->items())
        if (child->asFolder() && (child->dataSource() || anyFolderHasASource(child))) return true;
    return false;
}

QStringList attributeNames(const XmlNodePtr& element) {
    QStringList names;
    for (const auto& a : element->attributes()) names << a.first;
    return names;
}

}  // namespace

class ProjectFileTest : public ScriptedUITest {
protected:
    std::shared_ptr<PluginArchive> load(const QString& relative) {
        return PluginArchive::create(dir.item(relative), false, nullptr);
    }
    TempDir dir;
};

TEST_F(ProjectFileTest, TheFileListsTheTreeInItsElements) {
    dir.write("linked.dll", "linked bytes");
    dir.write("stored.dll", QByteArray(200, '\x7f') + "tail");
    auto archive = PluginArchive::create(false);
    auto windows = archive->hasItem(QStringLiteral("Windows"))->asFolder();
    windows->add(PluginItemFile::create(dir.item("linked.dll"), false));
    windows->add(PluginItemFile::create(dir.item("stored.dll"), true));
    auto mine = PluginItemFolder::create(QStringLiteral("Mine & <yours>"), true);
    archive->add(mine);
    dir.mkdir("out");

    EXPECT_TRUE(archive->saveAsProject(dir.item("out")));
    EXPECT_EQ(
        QDir(dir.path("out")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        QStringList{"Untitled.prjkvx"});
    auto doc = XmlDocument::parseFile(dir.item("out/Untitled.prjkvx"));
    ASSERT_EQ(doc->ChildCount(), 1);
    auto root = doc->FirstChild();
    EXPECT_EQ(root->Name(), "pluginarchive");
    EXPECT_TRUE(root->attributes().empty());
    ASSERT_EQ(root->ChildCount(), 3);

    auto build = root->Child(0);
    EXPECT_EQ(build->Name(), "pluginitem");
    EXPECT_EQ(attributeNames(build), QStringList({"itemName", "type", "mutable"}));
    EXPECT_EQ(build->GetAttribute("itemName"), "Build Resources");
    EXPECT_EQ(build->GetAttribute("type"), "folder");
    EXPECT_EQ(build->GetAttribute("mutable"), "false");
    ASSERT_EQ(build->ChildCount(), 4);
    EXPECT_EQ(build->Child(0)->ChildCount(), 0) << "an empty standard folder is still written";
    auto files = build->Child(2);
    EXPECT_EQ(files->GetAttribute("itemName"), "Windows");
    ASSERT_EQ(files->ChildCount(), 2);

    auto linked = files->Child(0);
    EXPECT_EQ(attributeNames(linked), QStringList({"itemName", "type", "mutable", "content"}));
    EXPECT_EQ(linked->GetAttribute("type"), "file");
    EXPECT_EQ(linked->GetAttribute("content"), "url");
    ASSERT_EQ(linked->ChildCount(), 1);
    EXPECT_EQ(linked->FirstChild()->Type(), XmlNode::Text);
    EXPECT_EQ(linked->FirstChild()->Value(), dir.item("linked.dll")->URLPath());

    auto stored = files->Child(1);
    EXPECT_EQ(stored->GetAttribute("itemName"), "stored.dll");
    EXPECT_EQ(stored->GetAttribute("content"), "raw");
    EXPECT_EQ(stored->FirstChild()->Value(),
              QString::fromLatin1(EncodeBase64(QByteArray(200, '\x7f') + "tail", 76)));
    EXPECT_EQ(stored->FirstChild()->Value().section('\n', 0, 0).size(), 76);

    EXPECT_EQ(root->Child(2)->GetAttribute("itemName"), "Mine & <yours>");
    EXPECT_EQ(root->Child(2)->GetAttribute("mutable"), "true");
    EXPECT_TRUE(ui->messages().isEmpty());
}

TEST_F(ProjectFileTest, RoundTripKeepsNamesFlagsOrderLinksAndBytes) {
    const QStringList names = {"with blank", "it's \"quoted\" & <tagged>", "$(touch canary);x",
                               QString::fromUtf8("Ünïcødé 日本語")};
    QByteArray big(300000, '\0');
    for (int i = 0; i < big.size(); ++i) big[i] = char(i * 13 + (i >> 8));
    for (const QString& n : names) {
        dir.write("src/P/Build Resources/Windows/" + n + ".dll", n.toUtf8());
        dir.write("src/P/IDE Resources/Help/" + n + "/" + n + ".html", "help " + n.toUtf8());
    }
    dir.write("stored/big.bin", big);
    dir.write("stored/empty.bin", "");
    auto archive = PluginArchive::create(dir.item("src/P"), false, nullptr);
    auto linuxFolder = archive->hasItem(QStringLiteral("Linux X86"))->asFolder();
    linuxFolder->add(PluginItemFile::create(dir.item("stored/big.bin"), true));
    linuxFolder->add(PluginItemFile::create(dir.item("stored/empty.bin"), true));
    ASSERT_EQ(linuxFolder->count(), 2) << "an empty copy is a file too";
    const QString destination = "dest $(touch canary); it's \xc3\xa9";
    dir.mkdir(destination);
    ASSERT_TRUE(archive->saveAsProject(dir.item(destination)));

    const QString file = destination + "/P.prjkvx";
    auto back = load(file);
    QString expected = describe(archive);
    expected.replace(" stored", "");  // what was stored is read back as bytes, not stored
    EXPECT_EQ(describe(back), expected);
    EXPECT_TRUE(describe(back).contains(" raw:"));
    EXPECT_EQ(back->name(), "P");
    EXPECT_EQ(back->dataSource()->NativePath(), dir.path(file));
    EXPECT_FALSE(back->classicHierarchyStyle());
    EXPECT_FALSE(anyFolderHasASource(back));
    for (const QString& uid : uids(back)) EXPECT_FALSE(uids(archive).contains(uid));

    // Revert loads the file again.
    back->items().clear();
    back->revert();
    EXPECT_EQ(describe(back), expected);
    EXPECT_TRUE(ui->messages().isEmpty());
    for (const QString& path : snapshotTree(dir.path()).keys())
        EXPECT_FALSE(path.endsWith("canary")) << path.toStdString();
}

TEST_F(ProjectFileTest, WhatTheReaderTakesAndWhatItDrops) {
    dir.write("lib.dll", "on disk");
    dir.write("gone.dll", "deleted below");
    const QString lib = dir.item("lib.dll")->URLPath();
    const QString gone = dir.item("gone.dll")->URLPath();
    QFile::remove(dir.path("gone.dll"));
    const QByteArray bytes = QByteArray("raw \x01\x02 bytes", 13);
    const QString base64 = QString::fromLatin1(EncodeBase64(bytes, 76));
    struct Case {
        const char* name;
        QString file;
        QString xml;
        QString tree;
        QString archiveName;
    };
    const Case cases[] = {
        {"capitals", "caps.prjkvx",
         "<PluginArchive><PluginItem itemName=\"F\" type=\"FOLDER\" mutable=\"TRUE\">"
         "<pluginITEM itemName=\"a\" type=\"File\" mutable=\"True\" content=\"URL\">" +
             lib +
             "</pluginITEM><pluginitem itemName=\"b\" type=\"file\" mutable=\"yes\" "
             "content=\"RAW\">" +
             base64 + "</pluginitem></PluginItem></PluginArchive>",
         "F/ mutable\n  a mutable url:" + lib + "\n  b raw:" + bytes.toHex() + "\n", "caps"},
        {"dotted name", "My.Plugin.prjkvx",
         "<pluginarchive><pluginitem itemName=\"x\" type=\"folder\" "
         "mutable=\"false\"/></pluginarchive>",
         "x/\n", "My"},
        {"what is dropped", "drops.prjkvx",
         "<?xml version=\"1.0\"?>\n<pluginarchive>text<!-- c --><other itemName=\"o\" "
         "type=\"folder\"/>"
         "<pluginitem itemName=\"deleted\" type=\"file\" content=\"url\">" +
             gone +
             "</pluginitem>"
             "<pluginitem itemName=\"\" type=\"folder\"><pluginitem itemName=\"inside\" "
             "type=\"folder\"/>"
             "</pluginitem>"
             "<pluginitem ItemName=\"exact names\" type=\"folder\"/>"
             "<pluginitem itemName=\"no type\"/><pluginitem itemName=\"link\" type=\"alias\"/>"
             "<pluginitem itemName=\"no content\" type=\"file\">" +
             lib +
             "</pluginitem>"
             "<pluginitem itemName=\"zipped\" type=\"file\" content=\"zip\">" +
             lib +
             "</pluginitem>"
             "<pluginitem itemName=\"bad base64\" type=\"file\" content=\"raw\">QQ*=</pluginitem>"
             "<pluginitem itemName=\"comment first\" type=\"file\" content=\"url\"><!--" +
             lib + "-->" + lib +
             "</pluginitem>"
             "<pluginitem itemName=\"kept\" type=\"folder\" color=\"red\" mutable=\"true\">stray "
             "text"
             "<pluginitem itemName=\"nested\" type=\"file\" mutable=\"false\" content=\"url\">" +
             lib + "<unknown/></pluginitem></pluginitem></pluginarchive>",
         "kept/ mutable\n  nested url:" + lib + "\n", "drops"},
        {"another first node", "other.prjkvx",
         "<!-- first --><pluginarchive><pluginitem "
         "itemName=\"x\" type=\"folder\"/></pluginarchive>",
         "", "Untitled"},
        {"another root", "root.prjkvx",
         "<plugins><pluginitem itemName=\"x\" type=\"folder\"/></plugins>", "", "Untitled"},
        {"a hidden name", ".prjkvx",
         "<pluginarchive><pluginitem itemName=\"x\" type=\"folder\"/>"
         "</pluginarchive>",
         "x/\n", "Untitled"},
    };
    for (const Case& c : cases) {
        dir.write(c.file, c.xml.toUtf8());
        auto archive = load(c.file);
        EXPECT_EQ(describe(archive), c.tree) << c.name;
        EXPECT_EQ(archive->name(), c.archiveName) << c.name;
        EXPECT_EQ(archive->dataSource() != nullptr, c.archiveName != "Untitled") << c.name;
    }
    // Only the file that moved away is worth a word: a save would lose it.
    EXPECT_EQ(ui->messages(),
              QStringList{"Can't find the linked file \"" + dir.path("gone.dll") + "\""});
}

// Linked files moved with their folder: the project reads without them, and
// says so once, however many there are.
TEST_F(ProjectFileTest, LinkedFilesThatMovedAreNamed) {
    dir.write("P/Build Resources/Windows/a b.dll", "a");
    dir.write("P/Build Resources/Windows/c.dll", "c");
    dir.write("P/IDE Resources/Help/index.html", "h");
    auto archive = PluginArchive::create(dir.item("P"), false, nullptr);
    ASSERT_TRUE(archive->saveAsProject(dir.item()));
    ASSERT_TRUE(QDir(dir.path()).rename("P", "moved"));

    auto read = load("P.prjkvx");
    EXPECT_EQ(describe(read).count(" url:"), 0);
    EXPECT_EQ(ui->messages(), QStringList{"Can't find 3 linked files, the first \"" +
                                          dir.path("P/Build Resources/Windows/a b.dll") + "\""});
}

TEST_F(ProjectFileTest, FilesThatAreNotUsableXmlShowTheParsersMessage) {
    dir.write("secret.txt", "never read");
    QByteArray deep;
    for (int i = 0; i < 10000; ++i) deep += "<pluginitem itemName=\"d\" type=\"folder\">";
    const QByteArray bomb =
        "<!DOCTYPE pluginarchive [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b "
        "\"&a;&a;&a;&a;&a;&a;&a;&a;\">"
        "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;\">"
        "<!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;\">]><pluginarchive><pluginitem itemName=\"&e;\" "
        "type=\"folder\"/></pluginarchive>";
    const QByteArray external = "<!DOCTYPE pluginarchive [<!ENTITY x SYSTEM \"" +
                                dir.item("secret.txt")->URLPath().toUtf8() +
                                "\">]><pluginarchive><pluginitem itemName=\"&x;\" type=\"folder\"/>"
                                "</pluginarchive>";
    const QByteArray documents[] = {"this is not XML",
                                    "<pluginarchive><pluginitem></pluginarchive>",
                                    "<pluginarchive>" + deep,
                                    bomb,
                                    external,
                                    ""};
    int n = 0;
    for (const QByteArray& text : documents) {
        ui->clear();
        const QString file = QString("bad%1.prjkvx").arg(n++);
        dir.write(file, text);
        QString parserMessage;
        try {
            XmlDocument::parseFile(dir.item(file));
        } catch (const XmlException& e) {
            parserMessage = e.message();
        }
        ASSERT_FALSE(parserMessage.isEmpty()) << text.left(60).toStdString();
        auto archive = load(file);
        EXPECT_EQ(ui->messages(), QStringList{parserMessage});
        EXPECT_TRUE(archive->empty());
        EXPECT_EQ(archive->name(), "Untitled");
        EXPECT_EQ(archive->dataSource(), nullptr);
    }
}

// As a folder save does, a project save with a linked file that is gone, or
// a name that XML cannot carry, fails and names it; the project written
// before stays.
TEST_F(ProjectFileTest, WhatAProjectCannotHoldFailsTheSave) {
    dir.write("P/Build Resources/Windows/lib.dll", "lib");
    dir.write("P/IDE Resources/Help/index.html", "h");
    auto archive = PluginArchive::create(dir.item("P"), false, nullptr);
    dir.write("out/P.prjkvx", "the project of yesterday");
    ASSERT_TRUE(QFile::remove(dir.path("P/Build Resources/Windows/lib.dll")));

    EXPECT_FALSE(archive->saveAsProject(dir.item("out")));
    EXPECT_EQ(ui->messages(),
              QStringList({"Can't store file \"lib.dll\"", "Can't store file \"P.prjkvx\""}));
    EXPECT_EQ(dir.read("out/P.prjkvx"), "the project of yesterday");

    // A name XML cannot carry would come back changed.
    ui->clear();
    archive->hasItem(QStringLiteral("Windows"))->asFolder()->items().clear();
    dir.write("P/IDE Resources/Help/esc\x1b", "e");
    archive->hasItem(QStringLiteral("Help"))
        ->asFolder()
        ->add(PluginItemFile::create(dir.item("P/IDE Resources/Help/esc\x1b"), false));
    EXPECT_FALSE(archive->saveAsProject(dir.item("out")));
    EXPECT_EQ(ui->messages(),
              QStringList({"Can't store file \"esc\x1b\"", "Can't store file \"P.prjkvx\""}));
    EXPECT_EQ(dir.read("out/P.prjkvx"), "the project of yesterday");
}

TEST_F(ProjectFileTest, NothingToWriteOrNowhereToWriteIt) {
    dir.write("file", "x");
    auto archive = PluginArchive::create(false);
    EXPECT_FALSE(archive->saveAsProject(nullptr));
    EXPECT_FALSE(archive->saveAsProject(dir.item("missing")));
    EXPECT_FALSE(archive->saveAsProject(dir.item("file")));
    archive->items().clear();
    EXPECT_FALSE(archive->saveAsProject(dir.item()));
    EXPECT_EQ(snapshotTree(dir.path()), (QMap<QString, QByteArray>{{"file", "x"}}));
    EXPECT_TRUE(ui->messages().isEmpty());
}
