#include "app/Menu.h"

#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWidget>

namespace zpc::app {

namespace {

Menu*& theMenu() {
    static Menu* menu = nullptr;
    return menu;
}

const QStringList kEditItems = {QStringLiteral("EditUndo"), QStringLiteral("EditCut"),
                                QStringLiteral("EditCopy"), QStringLiteral("EditPaste"),
                                QStringLiteral("EditClear")};

}  // namespace

Menu& Menu::instance() {
    if (!theMenu()) theMenu() = new Menu();
    return *theMenu();
}

void Menu::release() {
    delete theMenu();
    theMenu() = nullptr;
}

Menu::Menu() {
    build();
    MenuCommandTarget::setMenuItemLookup([this](const QString& name) { return item(name); });
}

Menu::~Menu() {
    MenuCommandTarget::setMenuItemLookup({});
    qDeleteAll(mTopMenus);
}

QKeySequence Menu::keySequenceFor(const QString& shortcut) {
    if (shortcut.isEmpty()) return {};
    QString s = shortcut;
    s.replace(QLatin1String("Cmd"), QLatin1String("Ctrl"))
        .replace(QLatin1String("Option"), QLatin1String("Alt"));
    return QKeySequence(s, QKeySequence::PortableText);
}

void Menu::build() {
    const QString file = QStringLiteral("UntitledMenu2"), edit = QStringLiteral("UntitledMenu0"),
                  help = QStringLiteral("HelpMenu"), convert = QStringLiteral("FileConvert"),
                  save = QStringLiteral("FileSave");
    mEntries = {
        {"FileNew", "New", "Cmd+N", true, file},
        {"FileNewClassicHierarchy", "New (Classic Hierarchy)", "Cmd+Shift+N", true, file},
        {"FileOpen", "Open...", "Cmd+O", true, file},
        {"FileOpenFolder", "Open Folder Hierarchy...", "Cmd+Shift+O", true, file},
        {"UntitledSeparator", "-", "", true, file},
        {"FileConvert", "Convert", "", true, file},
        {"ConvertOldPluginFormat", "Old Plugin Format...", "", true, convert},
        {"ConvertFolderHierarchy", "Folder Hierarchy...", "Cmd+Shift+Option+C", true, convert},
        {"UntitledSeparator0", "-", "", true, file},
        {"FileSave", "Save", "", true, file},
        {"SaveZanthFormat", "Zanth Format", "Cmd+S", true, save},
        {"SaveKVXFormat", "KVX Format", "Cmd+1", true, save},
        {"FileSaveAsFolderHierarchy", "Save As Folder Hierarchy...", "Cmd+Shift+S", true, file},
        {"FileSaveAsProject", "Save As Project...", "Cmd+Shift+Option+S", true, file},
        {"FileQuit", "Quit", "Cmd+Q", true, file},
        {"EditUndo", "Undo", "Cmd+Z", false, edit},
        {"EditRevert", "Revert", "Cmd+R", true, edit},
        {"UntitledMenu1", "-", "", false, edit},
        {"EditCut", "Cut", "Cmd+X", false, edit},
        {"EditCopy", "Copy", "Cmd+C", false, edit},
        {"EditPaste", "Paste", "Cmd+V", false, edit},
        {"EditClear", "Clear", "", false, edit},
        {"AppleAbout", "About ZanthPluginConverter...", "", false, help},
    };

    auto makeTop = [this](const QString& name, const QString& text) {
        auto* m = new QMenu(text);
        m->setObjectName(name);
        m->menuAction()->setObjectName(name);
        connect(m, &QMenu::aboutToShow, this, &Menu::updateEnabling);
        mMenus.insert(name, m);
        mTopMenus << m;
    };
    makeTop(file, QStringLiteral("File"));
    makeTop(edit, QStringLiteral("Edit"));
    makeTop(help, QStringLiteral("Help"));

    for (const ItemEntry& entry : mEntries) {
        QMenu* parent = mMenus.value(entry.parent);
        if (entry.name == convert || entry.name == save) {
            QMenu* sub = parent->addMenu(entry.text);
            sub->setObjectName(entry.name);
            sub->menuAction()->setObjectName(entry.name);
            connect(sub, &QMenu::aboutToShow, this, &Menu::updateEnabling);
            mMenus.insert(entry.name, sub);
            mItems.insert(entry.name, sub->menuAction());
            continue;
        }
        QAction* action = entry.text == QLatin1String("-") ? parent->addSeparator()
                                                           : parent->addAction(entry.text);
        action->setObjectName(entry.name);
        action->setShortcut(keySequenceFor(entry.shortcut));
        if (entry.name == QLatin1String("AppleAbout"))
            action->setMenuRole(QAction::AboutRole);
        else if (entry.name == QLatin1String("FileQuit"))
            action->setMenuRole(QAction::QuitRole);
        else
            action->setMenuRole(QAction::NoRole);
        const QString name = entry.name;
        connect(action, &QAction::triggered, this, [this, name] { choose(name); });
        mItems.insert(entry.name, action);
    }
    // Enable each window's items as it comes to the front, so shortcuts of
    // items enabled by a window work without opening a menu first.
    connect(qApp, &QApplication::focusChanged, this, &Menu::updateEnabling);
    updateEnabling();
}

QAction* Menu::item(const QString& name) const {
    return mItems.value(name);
}
QMenu* Menu::menu(const QString& name) const {
    return mMenus.value(name);
}

void Menu::installInto(QMenuBar* bar) {
    for (QMenu* m : mTopMenus) bar->addMenu(m);
}

void Menu::setAppHandler(const QString& itemName, MenuCommandTarget::Handler handler) {
    if (handler)
        mAppHandlers.insert(itemName, std::move(handler));
    else
        mAppHandlers.remove(itemName);
}

MenuCommandTarget* Menu::frontmostTarget() {
    QWidget* w = QApplication::activeWindow();
    return w ? dynamic_cast<MenuCommandTarget*>(w) : nullptr;
}

void Menu::updateEnabling() {
    for (const ItemEntry& entry : mEntries)
        if (QAction* a = mItems.value(entry.name)) a->setEnabled(entry.autoEnable);
    if (mAppEnabler) mAppEnabler();
    if (MenuCommandTarget* target = frontmostTarget()) target->enableMenuItems();
    enableEditItems();
}

// The edit items serve the text controls that take them up (a text field or
// a viewer), as the desktop's own text editing does.
void Menu::enableEditItems() {
    QWidget* focus = QApplication::focusWidget();
    auto* line = qobject_cast<QLineEdit*>(focus);
    auto* text = qobject_cast<QTextEdit*>(focus);
    auto* plain = qobject_cast<QPlainTextEdit*>(focus);
    if (!line && !text && !plain) return;
    const bool readOnly = line   ? line->isReadOnly()
                          : text ? text->isReadOnly()
                                 : plain->isReadOnly();
    const bool selection = line   ? line->hasSelectedText()
                           : text ? text->textCursor().hasSelection()
                                  : plain->textCursor().hasSelection();
    item(QStringLiteral("EditCopy"))->setEnabled(selection);
    item(QStringLiteral("EditCut"))->setEnabled(selection && !readOnly);
    item(QStringLiteral("EditClear"))->setEnabled(selection && !readOnly);
    item(QStringLiteral("EditPaste"))->setEnabled(!readOnly);
    item(QStringLiteral("EditUndo"))
        ->setEnabled(!readOnly && (line ? line->isUndoAvailable() : true));
}

void Menu::runEditCommand(const QString& name) {
    QWidget* focus = QApplication::focusWidget();
    if (auto* line = qobject_cast<QLineEdit*>(focus)) {
        if (name == QLatin1String("EditUndo"))
            line->undo();
        else if (name == QLatin1String("EditCut"))
            line->cut();
        else if (name == QLatin1String("EditCopy"))
            line->copy();
        else if (name == QLatin1String("EditPaste"))
            line->paste();
        else if (name == QLatin1String("EditClear"))
            line->del();
    } else if (auto* text = qobject_cast<QTextEdit*>(focus)) {
        if (name == QLatin1String("EditUndo"))
            text->undo();
        else if (name == QLatin1String("EditCut"))
            text->cut();
        else if (name == QLatin1String("EditCopy"))
            text->copy();
        else if (name == QLatin1String("EditPaste"))
            text->paste();
        else if (name == QLatin1String("EditClear"))
            text->textCursor().removeSelectedText();
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(focus)) {
        if (name == QLatin1String("EditUndo"))
            plain->undo();
        else if (name == QLatin1String("EditCut"))
            plain->cut();
        else if (name == QLatin1String("EditCopy"))
            plain->copy();
        else if (name == QLatin1String("EditPaste"))
            plain->paste();
        else if (name == QLatin1String("EditClear"))
            plain->textCursor().removeSelectedText();
    }
}

void Menu::choose(const QString& itemName) {
    if (MenuCommandTarget* target = frontmostTarget(); target && target->dispatchMenu(itemName))
        return;
    auto it = mAppHandlers.constFind(itemName);
    if (it != mAppHandlers.constEnd()) {
        (*it)();
        return;
    }
    if (kEditItems.contains(itemName)) runEditCommand(itemName);
}

QAction* AppleAbout() {
    return Menu::instance().item(QStringLiteral("AppleAbout"));
}
QAction* ConvertOldPluginFormat() {
    return Menu::instance().item(QStringLiteral("ConvertOldPluginFormat"));
}
QAction* FileSaveAsProject() {
    return Menu::instance().item(QStringLiteral("FileSaveAsProject"));
}
QAction* EditRevert() {
    return Menu::instance().item(QStringLiteral("EditRevert"));
}

}  // namespace zpc::app
