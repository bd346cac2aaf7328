#include "controls/MenuCommandTarget.h"

namespace zpc::controls {

namespace {
std::function<QAction*(const QString&)>& lookup() {
    static std::function<QAction*(const QString&)> f;
    return f;
}
}  // namespace

MenuCommandTarget::~MenuCommandTarget() = default;

void MenuCommandTarget::addMenuHandler(const QString& itemName, Handler handler) {
    mHandlers.insert(itemName, std::move(handler));
}

bool MenuCommandTarget::dispatchMenu(const QString& itemName) {
    auto it = mHandlers.constFind(itemName);
    return it != mHandlers.constEnd() && (*it)();
}

bool MenuCommandTarget::hasMenuHandler(const QString& itemName) const {
    return mHandlers.contains(itemName);
}

QAction* MenuCommandTarget::menuItem(const QString& itemName) {
    return lookup() ? lookup()(itemName) : nullptr;
}

void MenuCommandTarget::setMenuItemLookup(std::function<QAction*(const QString&)> f) {
    lookup() = std::move(f);
}

}  // namespace zpc::controls
