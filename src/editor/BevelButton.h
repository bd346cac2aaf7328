#pragma once

#include "controls/MenuItem.h"
#include "platform/FolderItem.h"

#include <QToolButton>

namespace zpc::editor {

// A square button with a picture and no caption, optionally with a pop-up
// menu: with a menu, a press shows its entries (through the UI services) and
// choosing one raises Action with MenuValue set to the entry's index; without
// one, a click raises Action.
class BevelButton : public QToolButton {
    Q_OBJECT
public:
    enum IconAlign { kIconAlignDefault = 0, kIconAlignCenter = 1, kIconAlignLeft = 2 };

    explicit BevelButton(QWidget* parent = nullptr);

    void setPicture(const platform::PicturePtr& picture);
    platform::PicturePtr picture() const { return mPicture; }
    // The menu whose entries pop up (its own text is not shown), or nil.
    controls::MenuItemPtr popUpMenu() const { return mMenu; }
    void setPopUpMenu(controls::MenuItemPtr menu);
    void AddRow(const QString& text);
    // The entry chosen last, or -1.
    int MenuValue() const { return mMenuValue; }
    // Pops the menu up below the button, as a press does (for the keyboard).
    void openMenu();

    int bevel() const { return mBevel; }
    void setBevel(int style) { mBevel = style; }
    int iconAlign() const { return mIconAlign; }
    void setIconAlign(int align);

signals:
    void Action();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void popUp();

    platform::PicturePtr mPicture;
    controls::MenuItemPtr mMenu;
    int mMenuValue = -1;
    int mBevel = 0;
    int mIconAlign = kIconAlignDefault;
};

}  // namespace zpc::editor
