#include "app/AboutBox.h"
#include "app/Menu.h"
#include "app/StartWindow.h"
#include "support/EditorTestSupport.h"

#include <sys/xattr.h>
#include <QApplication>
#include <QFileOpenEvent>
#include <QPushButton>

using namespace zpc;
using namespace zpc::platform;
using archive::PluginArchive;
using editor::PluginViewerWindow;
using test::TempDir;

namespace {

class Commands : public test::EditorTest {
protected:
    Commands() { application.attachMenuHandlers(); }
    ~Commands() override {
        if (app::AboutBox* about = app::AboutBox::instance()) delete about;
    }
    static QStringList titles() {
        QStringList out;
        for (PluginViewerWindow* w : PluginViewerWindow::windows()) out << w->Title();
        return out;
    }
    void choose(const char* item) { app::Menu::instance().choose(item); }
};

const char kModern[] =
    "Build Resources/\n  Mac Carbon Mach-O Universal/\n  Mac Cocoa/\n  Windows/\n  Linux X86/\n"
    "IDE Resources/\n  Controls Palette/\n  Help/\n";

bool hasUserXattrs(const QString& path) {
    return ::setxattr(QFile::encodeName(path).constData(), "user.probe", "1", 1, 0) == 0;
}

}  // namespace

TEST_F(Commands, NewAndNewClassicOpenAnEmptyPluginOfTheirStandardFolders) {
    choose("FileNew");
    choose("FileNewClassicHierarchy");
    const auto windows = PluginViewerWindow::windows();
    ASSERT_EQ(windows.size(), 2);
    EXPECT_EQ(test::outline(windows[0]->archive()), kModern);
    EXPECT_TRUE(
        test::outline(windows[1]->archive()).startsWith("Build Resources/\n  Mac Classic/\n"));
    for (PluginViewerWindow* w : windows) {
        EXPECT_EQ(w->Title(), "Untitled.kvx");
        EXPECT_TRUE(w->ContentsChanged());
        EXPECT_TRUE(bool(w->archive()->compressorAgent))
            << "zipped saves use the application's zip";
    }
}

TEST_F(Commands, CancelledDialogsDoNothing) {
    for (const char* item :
         {"FileOpen", "FileOpenFolder", "ConvertOldPluginFormat", "ConvertFolderHierarchy"})
        choose(item);
    EXPECT_TRUE(PluginViewerWindow::windows().isEmpty());
    EXPECT_TRUE(ui->shown().empty()) << "no message";
    ASSERT_EQ(ui->fileDialogs().size(), 4u);
    const FileDialogRequest::Kind kinds[] = {
        FileDialogRequest::Open, FileDialogRequest::SelectFolder, FileDialogRequest::Open,
        FileDialogRequest::SelectFolder};
    for (size_t i = 0; i < 4; ++i) {
        const FileDialogRequest& r = ui->fileDialogs()[i];
        EXPECT_EQ(r.kind, kinds[i]) << i;
        EXPECT_EQ(r.filter, r.kind == FileDialogRequest::Open ? "special/any" : "") << i;
        EXPECT_EQ(r.title, "") << i;
        EXPECT_EQ(r.promptText, "") << i;
        EXPECT_EQ(r.initialDirectory, nullptr) << i;
    }
}

TEST_F(Commands, OpenFolderHierarchyOpensAPluginFolderOrTheFirstOneBelow) {
    TempDir dir;
    dir.mkdir("Sample/IDE Resources/Help");
    dir.mkdir("Holder/A/First/Build Resources");
    dir.mkdir("Holder/B/Second/Build Resources");
    dir.write("Empty/notes/readme.txt", "no plugin anywhere");
    for (const char* folder : {"Sample", "Holder", "Empty"}) {
        ui->queueFileAnswer(dir.item(folder));
        choose("FileOpenFolder");
    }
    EXPECT_EQ(titles(), (QStringList{"Sample", "Second"}));
    EXPECT_TRUE(ui->shown().empty());
    EXPECT_EQ(ui->progressLabels(),
              (QStringList{"Opening \"Sample\"", "Opening \"Holder\"", "Opening \"Empty\""}));
    const auto windows = PluginViewerWindow::windows();
    EXPECT_FALSE(windows[0]->ContentsChanged());
    EXPECT_FALSE(windows[0]->archive()->mutableName())
        << "opened directly: the root keeps its name";
    EXPECT_TRUE(windows[1]->archive()->mutableName()) << "found below: the root may be renamed";
}

TEST_F(Commands, OpenOnAFileThatIsNoPluginGivesAnEmptyChangedPlugin) {
    TempDir dir;
    dir.write("notes.txt", "not a plugin in any form");
    ui->queueFileAnswer(dir.item("notes.txt"));
    choose("FileOpen");
    ASSERT_EQ(titles(), QStringList{"Untitled.kvx"});
    PluginViewerWindow* w = PluginViewerWindow::windows().first();
    EXPECT_TRUE(w->ContentsChanged());
    EXPECT_EQ(test::outline(w->archive()), kModern);
}

TEST_F(Commands, DocumentsHandedOverTakeThePathOfOpen) {
    TempDir dir;
    dir.mkdir("One/Build Resources");
    dir.mkdir("Two/IDE Resources");
    application.openDocuments({dir.path("One"), dir.path("missing"), dir.path("Two")});
    QFileOpenEvent event(dir.path("One"));
    QCoreApplication::sendEvent(QCoreApplication::instance(), &event);
    EXPECT_EQ(titles(), (QStringList{"One", "Two", "One"}));
    EXPECT_TRUE(ui->shown().empty());
}

TEST_F(Commands, FolderHierarchyConvertsIntoTheChosenPackage) {
    TempDir dir;
    dir.write("src/MyPlugin/Build Resources/Windows/my.dll", "dll");
    dir.write("src/MyPlugin/IDE Resources/Help/index.html", "<p>help</p>");
    dir.mkdir("out");
    ui->queueFileAnswer(dir.item("src/MyPlugin"));
    ui->queueFileAnswer(dir.item("out/Converted.kvx"));
    choose("ConvertFolderHierarchy");
    EXPECT_EQ(ui->messages(), QStringList{"Successfully converted"});
    EXPECT_EQ(ui->shown()[0].kind, ScriptedUIServices::Shown::MsgBox);
    EXPECT_TRUE(PluginViewerWindow::windows().isEmpty()) << "a conversion opens no window";
    EXPECT_EQ(ui->progressLabels(), QStringList{"Converting \"MyPlugin\""});

    ASSERT_EQ(ui->fileDialogs().size(), 2u);
    const FileDialogRequest& save = ui->fileDialogs()[1];
    EXPECT_EQ(save.kind, FileDialogRequest::SaveAs);
    EXPECT_EQ(save.filter, "special/any");
    EXPECT_EQ(save.suggestedFileName, "MyPlugin.kvx");
    ASSERT_NE(save.initialDirectory, nullptr);
    EXPECT_EQ(save.initialDirectory->NativePath(), dir.path("src"));

    const auto listing = test::runProcess("sqlite3", {dir.path("out/Converted.kvx"), "-A", "-t"});
    ASSERT_EQ(listing.exitCode, 0) << listing.output.toStdString();
    EXPECT_EQ(
        QString::fromUtf8(listing.output).split('\n', Qt::SkipEmptyParts),
        (QStringList{"MyPlugin", "MyPlugin/Build Resources", "MyPlugin/Build Resources/Windows",
                     "MyPlugin/Build Resources/Windows/my.dll", "MyPlugin/IDE Resources",
                     "MyPlugin/IDE Resources/Help", "MyPlugin/IDE Resources/Help/index.html"}));
    if (hasUserXattrs(dir.path("out/Converted.kvx"))) {
        EXPECT_EQ(dir.item("out/Converted.kvx")->MacCreator(), "KVv2");
        EXPECT_EQ(dir.item("out/Converted.kvx")->MacType(), "KVPx");
    }

    // The package opens in the editor with the folder's tree.
    application.openDocument(dir.item("src/MyPlugin"));
    application.openDocument(dir.item("out/Converted.kvx"));
    const auto windows = PluginViewerWindow::windows();
    ASSERT_EQ(windows.size(), 2);
    EXPECT_EQ(windows[1]->Title(), "Converted.kvx");
    EXPECT_EQ(windows[1]->archive()->name(), "MyPlugin");
    EXPECT_EQ(test::outline(windows[1]->archive()), test::outline(windows[0]->archive()));
    EXPECT_TRUE(test::outline(windows[1]->archive()).contains("    my.dll\n"));
}

TEST_F(Commands, ConversionsThatFailSayConversionFailedAndLeaveNoPackage) {
    TempDir dir;
    dir.write("Tools.old", "an old single-file plugin");
    dir.write("NoPlugin/readme.txt", "nothing to convert");
    dir.mkdir("Plugin/Build Resources");
    struct Case {
        const char* what;
        const char* item;
        const char* source;
        const char* target;  // nil: the save dialog is cancelled
        const char* suggested;
    };
    const Case cases[] = {
        {"an old-format file", "ConvertOldPluginFormat", "Tools.old", "Tools.kvx", "Tools.old.kvx"},
        {"a folder without a plugin", "ConvertFolderHierarchy", "NoPlugin", "NoPlugin.kvx",
         "NoPlugin.kvx"},
        {"a cancelled save dialog", "ConvertFolderHierarchy", "Plugin", nullptr, "Plugin.kvx"},
    };
    for (const Case& c : cases) {
        ui->clear();
        ui->queueFileAnswer(dir.item(c.source));
        ui->queueFileAnswer(c.target ? dir.item(c.target) : nullptr);
        choose(c.item);
        EXPECT_EQ(ui->messages(), QStringList{"Conversion failed"}) << c.what;
        ASSERT_EQ(ui->fileDialogs().size(), 2u) << c.what;
        EXPECT_EQ(ui->fileDialogs()[0].filter,
                  QString(c.item) == "ConvertOldPluginFormat" ? "special/any" : "")
            << c.what;
        EXPECT_EQ(ui->fileDialogs()[1].suggestedFileName, c.suggested) << c.what;
        if (c.target) {
            EXPECT_FALSE(dir.exists(c.target)) << c.what;
        }
    }
    EXPECT_EQ(QDir(dir.path()).entryList({"*.kvx*"}, QDir::Files | QDir::Hidden), QStringList());
}

TEST_F(Commands, AboutShowsTheOneAboutBox) {
    choose("AppleAbout");
    app::AboutBox* about = app::AboutBox::instance();
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->isVisible());
    choose("AppleAbout");
    EXPECT_EQ(app::AboutBox::instance(), about);
    EXPECT_FALSE(about->isModal());
}

TEST_F(Commands, QuitClosesEveryWindowWithoutAsking) {
    application.setUsesStartWindow(true);
    choose("FileNew");
    choose("AppleAbout");
    choose("FileQuit");
    EXPECT_TRUE(application.quitting());
    EXPECT_TRUE(PluginViewerWindow::windows().isEmpty());
    EXPECT_TRUE(ui->shown().empty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(app::AboutBox::instance(), nullptr);
    ASSERT_NE(application.startWindow(), nullptr);
    EXPECT_FALSE(application.startWindow()->isVisible()) << "not shown again on the way out";
}

TEST_F(Commands, TheStartWindowIsThereWhileNoEditorWindowIsOpen) {
    application.setUsesStartWindow(true);
    app::StartWindow* start = application.startWindow();
    ASSERT_NE(start, nullptr);
    EXPECT_TRUE(start->isVisible());
    ASSERT_NE(start->menuWidget(), nullptr) << "it carries the menu bar";
    for (const char* item : {"FileNew", "FileNewClassicHierarchy", "FileOpen", "FileOpenFolder",
                             "ConvertOldPluginFormat", "ConvertFolderHierarchy"})
        EXPECT_NE(start->button(item), nullptr) << item;

    start->button("FileNew")->click();
    ASSERT_EQ(PluginViewerWindow::windows().size(), 1);
    EXPECT_FALSE(start->isVisible());
    ui->queueDialogAnswer(kAnswerAlternate);  // Don't Save
    PluginViewerWindow::windows().first()->close();
    EXPECT_TRUE(start->isVisible());
    EXPECT_FALSE(application.quitting());

    start->close();
    EXPECT_TRUE(application.quitting()) << "closing it quits";
}
