#pragma once

#include "controls/MenuCommandTarget.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <functional>

class QAction;
class QMenu;
class QMenuBar;

namespace zpc::app {

// Windows offer their handlers and enabling step through this.
using controls::MenuCommandTarget;

// The one menu bar, shared by all windows: File, Edit and Help with their
// items, found by name. Where the platform has no global menu bar each window
// shows the same menus in its own bar.
class Menu : public QObject {
    Q_OBJECT
public:
    struct ItemEntry {
        QString name;
        QString text;
        QString shortcut;  // the framework's notation ("Cmd+Shift+N"), empty for none
        bool autoEnable;
        QString parent;  // the menu or submenu holding it
    };

    // Created on first use.
    static Menu& instance();
    static void release();

    QAction* item(const QString& name) const;
    QMenu* menu(const QString& name)
        const;  // "UntitledMenu2", "UntitledMenu0", "HelpMenu", "FileConvert", "FileSave"
    const QList<ItemEntry>& entries() const { return mEntries; }

    // Shows the shared menus in a window's own menu bar.
    void installInto(QMenuBar* bar);

    // The application's handlers and enabling step; an empty handler removes
    // the item's.
    void setAppHandler(const QString& itemName, MenuCommandTarget::Handler handler);
    void setAppEnabler(std::function<void()> enabler) { mAppEnabler = std::move(enabler); }

    // Brings the items up to date: auto-enabled items on, the others off,
    // then the application's step, then the frontmost window's.
    void updateEnabling();
    // Runs an item the way choosing it does (frontmost window first).
    void choose(const QString& itemName);

    // "Cmd" is the platform's command key (Ctrl on Linux), "Option" is Alt.
    static QKeySequence keySequenceFor(const QString& shortcut);
    // The window whose handlers come first.
    static MenuCommandTarget* frontmostTarget();

private:
    Menu();
    ~Menu() override;
    void build();
    void runEditCommand(const QString& itemName);
    void enableEditItems();

    QList<ItemEntry> mEntries;
    QHash<QString, QAction*> mItems;
    QHash<QString, QMenu*> mMenus;
    QList<QMenu*> mTopMenus;
    QHash<QString, MenuCommandTarget::Handler> mAppHandlers;
    std::function<void()> mAppEnabler;
};

// Accessors for the items that code enables.
QAction* AppleAbout();
QAction* ConvertOldPluginFormat();
QAction* FileSaveAsProject();
QAction* EditRevert();

}  // namespace zpc::app
