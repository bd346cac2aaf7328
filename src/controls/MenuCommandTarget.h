#pragma once

#include <QHash>
#include <QString>
#include <functional>

class QAction;

namespace zpc::controls {

// What a window offers the menu bar: its handlers by item name, and its
// enabling step. The frontmost window's handler wins over the application's.
class MenuCommandTarget {
public:
    virtual ~MenuCommandTarget();
    using Handler = std::function<bool()>;
    void addMenuHandler(const QString& itemName, Handler handler);
    // True when the window has a handler for the item and it handled it.
    bool dispatchMenu(const QString& itemName);
    bool hasMenuHandler(const QString& itemName) const;
    // Runs before a menu is shown while the window is in front.
    virtual void enableMenuItems() {}

    // The menu bar's item of that name, or nil (before there is a menu bar).
    static QAction* menuItem(const QString& itemName);
    // Installed by the menu bar.
    static void setMenuItemLookup(std::function<QAction*(const QString&)> lookup);

private:
    QHash<QString, Handler> mHandlers;
};

}  // namespace zpc::controls
