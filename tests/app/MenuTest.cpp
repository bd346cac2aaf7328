#include "app/Menu.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

using namespace zpc::app;

namespace {

struct Expected {
    const char* name;
    const char* text;
    const char* keys;  // as the platform shows them
    bool autoEnable;
    const char* menu;
};

class TargetWindow : public QMainWindow, public MenuCommandTarget {
public:
    bool valid = true;
    void enableMenuItems() override {
        FileSaveAsProject()->setEnabled(valid);
        EditRevert()->setEnabled(valid);
    }
};

void bringToFront(QWidget& w) {
    w.show();
    w.activateWindow();
    QApplication::setActiveWindow(&w);
    QApplication::processEvents();
}

}  // namespace

TEST(Menu, ItemsNamesTextsShortcutsAndAutoEnabling) {
    Menu& menu = Menu::instance();
    const Expected table[] = {
        {"FileNew", "New", "Ctrl+N", true, "File"},
        {"FileNewClassicHierarchy", "New (Classic Hierarchy)", "Ctrl+Shift+N", true, "File"},
        {"FileOpen", "Open...", "Ctrl+O", true, "File"},
        {"FileOpenFolder", "Open Folder Hierarchy...", "Ctrl+Shift+O", true, "File"},
        {"ConvertOldPluginFormat", "Old Plugin Format...", "", true, "Convert"},
        {"ConvertFolderHierarchy", "Folder Hierarchy...", "Ctrl+Alt+Shift+C", true, "Convert"},
        {"SaveZanthFormat", "Zanth Format", "Ctrl+S", true, "Save"},
        {"SaveKVXFormat", "KVX Format", "Ctrl+1", true, "Save"},
        {"FileSaveAsFolderHierarchy", "Save As Folder Hierarchy...", "Ctrl+Shift+S", true, "File"},
        {"FileSaveAsProject", "Save As Project...", "Ctrl+Alt+Shift+S", true, "File"},
        {"FileQuit", "Quit", "Ctrl+Q", true, "File"},
        {"EditUndo", "Undo", "Ctrl+Z", false, "Edit"},
        {"EditRevert", "Revert", "Ctrl+R", true, "Edit"},
        {"EditCut", "Cut", "Ctrl+X", false, "Edit"},
        {"EditCopy", "Copy", "Ctrl+C", false, "Edit"},
        {"EditPaste", "Paste", "Ctrl+V", false, "Edit"},
        {"EditClear", "Clear", "", false, "Edit"},
        {"AppleAbout", "About ZanthPluginConverter...", "", false, "Help"},
    };
    menu.setAppEnabler({});
    menu.updateEnabling();
    for (const Expected& e : table) {
        QAction* a = menu.item(e.name);
        ASSERT_TRUE(a) << e.name;
        EXPECT_EQ(a->text(), e.text) << e.name;
        EXPECT_EQ(a->shortcut().toString(QKeySequence::PortableText), e.keys) << e.name;
        EXPECT_EQ(a->isEnabled(), e.autoEnable) << e.name;
        ASSERT_FALSE(a->associatedObjects().isEmpty());
        auto* parent = qobject_cast<QMenu*>(a->associatedObjects().first());
        ASSERT_TRUE(parent) << e.name;
        EXPECT_EQ(parent->title(), e.menu) << e.name;
    }
    // Top-level order, names and the separators.
    QMenuBar bar;
    menu.installInto(&bar);
    QStringList titles, names;
    for (QAction* a : bar.actions()) {
        titles << a->text();
        names << a->menu()->objectName();
    }
    EXPECT_EQ(titles, (QStringList{"File", "Edit", "Help"}));
    EXPECT_EQ(names, (QStringList{"UntitledMenu2", "UntitledMenu0", "HelpMenu"}));
    QStringList fileItems;
    for (QAction* a : menu.menu("UntitledMenu2")->actions()) fileItems << a->objectName();
    EXPECT_EQ(fileItems, (QStringList{"FileNew", "FileNewClassicHierarchy", "FileOpen", "FileOpenFolder",
                                      "UntitledSeparator", "FileConvert", "UntitledSeparator0", "FileSave",
                                      "FileSaveAsFolderHierarchy", "FileSaveAsProject", "FileQuit"}));
    EXPECT_TRUE(menu.item("UntitledSeparator")->isSeparator());
    EXPECT_TRUE(menu.item("UntitledMenu1")->isSeparator());
}

TEST(Menu, EnablingStepsOfTheApplicationAndTheFrontmostWindow) {
    Menu& menu = Menu::instance();
    menu.setAppEnabler([] {
        AppleAbout()->setEnabled(true);
        ConvertOldPluginFormat()->setEnabled(true);
    });
    TargetWindow window;
    bringToFront(window);
    ASSERT_EQ(Menu::frontmostTarget(), &window);
    window.valid = true;
    menu.updateEnabling();
    EXPECT_TRUE(AppleAbout()->isEnabled()) << "About is enabled although it is not auto-enabled";
    EXPECT_TRUE(FileSaveAsProject()->isEnabled());
    EXPECT_TRUE(EditRevert()->isEnabled());
    window.valid = false;
    menu.updateEnabling();
    EXPECT_FALSE(FileSaveAsProject()->isEnabled());
    EXPECT_FALSE(EditRevert()->isEnabled());
    EXPECT_TRUE(AppleAbout()->isEnabled());
    menu.setAppEnabler({});
}

TEST(Menu, FrontmostWindowHandlesFirstThenTheApplication) {
    Menu& menu = Menu::instance();
    QStringList calls;
    menu.setAppHandler("FileNew", [&] { calls << "app:FileNew"; return true; });
    menu.setAppHandler("EditRevert", [&] { calls << "app:EditRevert"; return true; });
    TargetWindow window;
    window.addMenuHandler("EditRevert", [&] { calls << "window:EditRevert"; return true; });
    bringToFront(window);
    menu.updateEnabling();
    menu.item("EditRevert")->trigger();
    menu.item("FileNew")->trigger();
    EXPECT_EQ(calls, (QStringList{"window:EditRevert", "app:FileNew"}));
    window.hide();
    QApplication::setActiveWindow(nullptr);
    calls.clear();
    menu.choose("EditRevert");
    EXPECT_EQ(calls, QStringList{"app:EditRevert"});
    menu.setAppHandler("FileNew", {});
    menu.setAppHandler("EditRevert", {});
}

TEST(Menu, EditItemsServeTheFocusedTextField) {
    Menu& menu = Menu::instance();
    QMainWindow window;
    auto* field = new QLineEdit("hello world");
    window.setCentralWidget(field);
    bringToFront(window);
    field->setFocus();
    QApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), field);
    field->setSelection(0, 5);
    menu.updateEnabling();
    EXPECT_TRUE(menu.item("EditCopy")->isEnabled());
    EXPECT_TRUE(menu.item("EditCut")->isEnabled());
    menu.item("EditCut")->trigger();
    EXPECT_EQ(field->text(), " world");
    field->setCursorPosition(0);
    menu.updateEnabling();
    EXPECT_FALSE(menu.item("EditCopy")->isEnabled());
    menu.item("EditPaste")->trigger();
    EXPECT_EQ(field->text(), "hello world");
}
