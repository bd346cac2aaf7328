#include "controls/MenuItem.h"

#include "platform/UIServices.h"

namespace zpc::controls {

namespace {
const QString kSeparator = QStringLiteral("-");
}

MenuItem::MenuItem(QString text, QVariant tag) : Text(std::move(text)), Tag(std::move(tag)) {}

MenuItemPtr MenuItem::create(QString text, QVariant tag) {
    return std::make_shared<MenuItem>(std::move(text), std::move(tag));
}

void MenuItem::Append(MenuItemPtr item) {
    if (item) mChildren.push_back(std::move(item));
}

MenuItemPtr MenuItem::Item(int index) const {
    if (index < 0 || index >= Count()) return nullptr;
    return mChildren[size_t(index)];
}

MenuItemPtr MenuItem::PopUp(const QPoint& globalPosition) const {
    platform::PopUpMenuRequest request;
    for (const MenuItemPtr& child : mChildren) request.entries << child->Text;
    request.globalPosition = globalPosition;
    MenuItemPtr chosen = Item(platform::ui().popUpMenu(request));
    return chosen && chosen->Text != kSeparator ? chosen : nullptr;
}

}  // namespace zpc::controls
