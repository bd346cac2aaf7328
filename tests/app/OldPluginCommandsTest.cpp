#include "app/Menu.h"
#include "support/EditorTestSupport.h"
#include "support/ResourceForkWriter.h"

#include <sys/xattr.h>
#include <QFile>

using namespace zpc;
using namespace zpc::platform;
using editor::PluginViewerWindow;
using test::ResourceForkWriter;
using test::rowLines;
using test::rowNamed;
using test::TempDir;

namespace {

class OldPluginCommands : public test::EditorTest {
protected:
    OldPluginCommands() { application.attachMenuHandlers(); }
    static QStringList titles() {
        QStringList out;
        for (PluginViewerWindow* w : PluginViewerWindow::windows()) out << w->Title();
        return out;
    }
    static void choose(const char* item) { app::Menu::instance().choose(item); }
};

QByteArray toolsFork() {
    return ResourceForkWriter()
        .add("PL86", 128, "win", QStringLiteral("Tools.dll"))
        .add("PLPC", 128, "ppc", QStringLiteral("Tools PPC"))
        .add("PLCN", 128, "carbon", std::nullopt)
        .fork();
}

bool hasUserXattrs(const QString& path) {
    return ::setxattr(QFile::encodeName(path).constData(), "user.probe", "1", 1, 0) == 0;
}

}  // namespace

TEST_F(OldPluginCommands, OpenShowsTheLibrariesInTheirPlatformFoldersAndRevertReadsTheFileAgain) {
    TempDir dir;
    dir.write("Tools.rsrc", "the data fork");
    dir.write("._Tools.rsrc", ResourceForkWriter::appleDouble(toolsFork()));
    ui->queueFileAnswer(dir.item("Tools.rsrc"));
    choose("FileOpen");
    ASSERT_EQ(titles(), QStringList{"Tools.rsrc"});
    PluginViewerWindow* w = PluginViewerWindow::windows().first();
    EXPECT_FALSE(w->ContentsChanged()) << "read from its file";
    EXPECT_EQ(w->archive()->name(), "Tools");
    EXPECT_TRUE(w->archive()->classicHierarchyStyle());

    editor::PluginListBox* list = w->ListBox1();
    list->setExpanded(0, true);
    list->setExpanded(rowNamed(list, "Build Resources"), true);
    for (const char* platform : {"Windows", "Mac Classic", "Mac Carbon"})
        list->setExpanded(rowNamed(list, platform), true);
    EXPECT_EQ(rowLines(list),
              (QStringList{"Tools/-", "  Build Resources/-", "    Mac Classic/-", "      Tools PPC",
                           "    Mac Carbon/-", "      Tools128", "    Mac Carbon Mach-O/",
                           "    Mac Carbon Mach-O Universal/", "    Mac Cocoa/", "    Windows/-",
                           "      Tools.dll", "    Linux X86/", "  IDE Resources/"}));

    // The file changes behind the window; Revert shows what it holds now.
    dir.write("._Tools.rsrc",
              ResourceForkWriter::appleDouble(
                  ResourceForkWriter().add("PL86", 1, "new", QStringLiteral("New.dll")).fork()));
    w->_EditRevert_Action();
    EXPECT_EQ(rowLines(list), QStringList{"Tools/"});
    const QString tree = test::outline(w->archive());
    EXPECT_TRUE(tree.contains("  Windows/\n    New.dll\n")) << tree.toStdString();
    EXPECT_FALSE(tree.contains("Tools PPC"));

    // From the command line it opens the same way.
    application.openDocuments({dir.path("Tools.rsrc")});
    EXPECT_EQ(titles(), (QStringList{"Tools.rsrc", "Tools.rsrc"}));
    EXPECT_TRUE(ui->messages().isEmpty());
}

TEST_F(OldPluginCommands, AFileWithoutOldFormatLibrariesOpensAsAnEmptyModernPlugin) {
    TempDir dir;
    dir.write("Icons.rsrc", ResourceForkWriter().add("ICN#", 128, "icon").fork());
    dir.write("Cut.rsrc", toolsFork().chopped(1));
    ui->queueFileAnswer(dir.item("Icons.rsrc"));
    choose("FileOpen");
    application.openDocuments({dir.path("Cut.rsrc")});
    ASSERT_EQ(titles(), (QStringList{"Untitled.kvx", "Untitled.kvx"}));
    for (PluginViewerWindow* w : PluginViewerWindow::windows()) {
        EXPECT_TRUE(w->ContentsChanged());
        EXPECT_FALSE(w->archive()->classicHierarchyStyle());
    }
}

TEST_F(OldPluginCommands, OldPluginFormatConvertsIntoAPackageThatOpensWithTheLibraries) {
    TempDir dir;
    dir.write("src/Tools.rsrc", ResourceForkWriter::macBinary(toolsFork(), "data", "Tools"));
    dir.mkdir("out");
    ui->queueFileAnswer(dir.item("src/Tools.rsrc"));
    ui->queueFileAnswer(dir.item("out/Tools.kvx"));
    choose("ConvertOldPluginFormat");
    EXPECT_EQ(ui->messages(), QStringList{"Successfully converted"});
    EXPECT_TRUE(PluginViewerWindow::windows().isEmpty()) << "a conversion opens no window";
    ASSERT_EQ(ui->fileDialogs().size(), 2u);
    EXPECT_EQ(ui->fileDialogs()[0].kind, FileDialogRequest::Open);
    EXPECT_EQ(ui->fileDialogs()[1].suggestedFileName, "Tools.rsrc.kvx");
    ASSERT_NE(ui->fileDialogs()[1].initialDirectory, nullptr);
    EXPECT_EQ(ui->fileDialogs()[1].initialDirectory->NativePath(), dir.path("src"));
    if (hasUserXattrs(dir.path("out/Tools.kvx"))) {
        EXPECT_EQ(dir.item("out/Tools.kvx")->MacCreator(), "KVv2");
        EXPECT_EQ(dir.item("out/Tools.kvx")->MacType(), "KVPx");
    }

    application.openDocument(dir.item("out/Tools.kvx"));
    ASSERT_EQ(titles(), QStringList{"Tools.kvx"});
    PluginViewerWindow* w = PluginViewerWindow::windows().first();
    EXPECT_EQ(w->archive()->name(), "Tools");
    const QString tree = test::outline(w->archive());
    for (const char* placed :
         {"  Windows/\n    Tools.dll\n", "  Mac Classic/\n    Tools PPC\n",
          "  Mac Carbon/\n    Tools128\n", "IDE Resources/\n  Controls Palette/\n  Help/\n"})
        EXPECT_TRUE(tree.contains(placed)) << placed << "\n" << tree.toStdString();
}
