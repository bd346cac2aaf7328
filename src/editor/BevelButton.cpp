#include "editor/BevelButton.h"

#include "platform/Picture.h"

#include <QMouseEvent>
#include <QPixmap>
#include <QStyleOptionToolButton>
#include <QStylePainter>

namespace zpc::editor {

BevelButton::BevelButton(QWidget* parent) : QToolButton(parent) {
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    setAutoRaise(false);
    setFocusPolicy(Qt::NoFocus);
    connect(this, &QToolButton::clicked, this, [this] {
        if (!mMenu) emit Action();
    });
}

void BevelButton::setPicture(const platform::PicturePtr& picture) {
    mPicture = picture;
    if (!picture) {
        setIcon(QIcon());
        return;
    }
    setIcon(QIcon(QPixmap::fromImage(picture->composed())));
    setIconSize(QSize(picture->Width(), picture->Height()));
}

void BevelButton::setPopUpMenu(controls::MenuItemPtr menu) {
    mMenu = std::move(menu);
    update();
}

void BevelButton::AddRow(const QString& text) {
    if (!mMenu) mMenu = controls::MenuItem::create();
    mMenu->Append(controls::MenuItem::create(text));
    update();
}

void BevelButton::setIconAlign(int align) {
    mIconAlign = align;
    update();
}

void BevelButton::mousePressEvent(QMouseEvent* event) {
    if (mMenu && event->button() == Qt::LeftButton && isEnabled()) {
        setDown(true);
        popUp();
        setDown(false);
        return;
    }
    QToolButton::mousePressEvent(event);
}

void BevelButton::openMenu() {
    if (isEnabled()) popUp();
}

void BevelButton::popUp() {
    if (!mMenu || mMenu->Count() == 0) return;
    const controls::MenuItemPtr chosen = mMenu->PopUp(mapToGlobal(QPoint(0, height())));
    if (!chosen) return;
    for (int i = 0; i < mMenu->Count(); ++i) {
        if (mMenu->Item(i) == chosen) {
            mMenuValue = i;
            emit Action();
            return;
        }
    }
}

void BevelButton::paintEvent(QPaintEvent*) {
    QStylePainter p(this);
    QStyleOptionToolButton opt;
    initStyleOption(&opt);
    // The menu arrow of a button whose menu is ours, not Qt's.
    if (mMenu) opt.features |= QStyleOptionToolButton::HasMenu;
    if (mIconAlign == kIconAlignLeft && mMenu) {
        // Icon at the left, leaving the right edge to the arrow.
        p.drawPrimitive(QStyle::PE_PanelButtonTool, opt);
        const QRect area = rect().adjusted(3, 0, -10, 0);
        const QIcon::Mode mode = isEnabled() ? QIcon::Normal : QIcon::Disabled;
        const QPixmap pm = icon().pixmap(iconSize(), mode);
        p.drawPixmap(area.left(), (height() - pm.height()) / 2, pm);
        QStyleOption arrow = opt;
        arrow.rect = QRect(width() - 11, height() - 11, 8, 8);
        p.drawPrimitive(QStyle::PE_IndicatorArrowDown, arrow);
        return;
    }
    p.drawComplexControl(QStyle::CC_ToolButton, opt);
}

}  // namespace zpc::editor
