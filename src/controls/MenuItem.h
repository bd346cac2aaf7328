#pragma once

#include <QPoint>
#include <QString>
#include <QVariant>
#include <memory>
#include <vector>

namespace zpc::controls {

class MenuItem;
using MenuItemPtr = std::shared_ptr<MenuItem>;

// A menu as a small tree: an entry's text, a tag for its owner, and the
// entries below it. A pop-up shows the entries one level down; an entry whose
// text is "-" is a separator and cannot be chosen.
class MenuItem {
public:
    explicit MenuItem(QString text = {}, QVariant tag = {});
    static MenuItemPtr create(QString text = {}, QVariant tag = {});

    QString Text;
    QVariant Tag;

    void Append(MenuItemPtr item);
    int Count() const { return int(mChildren.size()); }
    // Counted from 0; nil out of range.
    MenuItemPtr Item(int index) const;

    // Shows the entries at a screen position through the UI services and
    // returns once the menu has closed: the chosen entry, or nil.
    MenuItemPtr PopUp(const QPoint& globalPosition) const;

private:
    std::vector<MenuItemPtr> mChildren;
};

}  // namespace zpc::controls
