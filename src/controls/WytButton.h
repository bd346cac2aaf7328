#pragma once

#include "controls/Canvas.h"
#include "controls/MenuItem.h"

#include <QPointF>
#include <optional>

namespace zpc::controls {

// A push or toggle button drawn from pictures: normal, pressed, disabled and
// an optional roll-over picture, each the size of the control. Missing pressed
// and disabled pictures are generated from the normal one. It shows the
// picture of its state as its backdrop and paints nothing of its own.
class WytButton : public Canvas {
    Q_OBJECT
public:
    enum Status { kIdle = 0, kPressed = 1, kRollOver = 2 };
    enum Style { kPushButton = 0, kToggleButton = 1 };

    explicit WytButton(QWidget* parent = nullptr);

    // The pictures are fitted to the control's current size; later resizing
    // does not remake them. A nil normal picture changes nothing.
    virtual void initWithIcons(const platform::PicturePtr& normal,
                               const platform::PicturePtr& pressed,
                               const platform::PicturePtr& disabled);
    virtual void initWithIconAndMask(const platform::PicturePtr& icon,
                                     const platform::PicturePtr& mask);
    // The item chosen the last time the attached menu popped up, or nil.
    virtual MenuItemPtr menuValue() const { return mMenuValue; }

    // Shows the picture of the current state.
    virtual void Refresh(bool eraseBackground = true);
    // Repaints that rectangle of the control from the picture of its state.
    virtual void RefreshRect(int x, int y, int width, int height, bool eraseBackground = true);

    QString caption() const { return mCaption; }
    void setCaption(const QString& caption);
    MenuItemPtr attachedMenu() const { return mMenu; }
    void setAttachedMenu(MenuItemPtr menu) { mMenu = std::move(menu); }
    int buttonStyle() const { return mButtonStyle; }
    void setButtonStyle(int style) {
        mButtonStyle = style == kToggleButton ? kToggleButton : kPushButton;
    }
    platform::PicturePtr rollOver() const { return mIconRollOver; }
    void setRollOver(const platform::PicturePtr& picture);
    bool value() const { return mStatus == kPressed; }
    // Only an enabled toggle button takes a value; it then redraws and raises
    // Action, whether or not the value changed.
    void setValue(bool on);

    // The handlers of the control's mouse events, in control coordinates.
    // MouseDown answers whether drag and up events should follow.
    virtual bool Event_MouseDown(int x, int y);
    virtual void Event_MouseDrag(int x, int y);
    virtual void Event_MouseUp(int x, int y);
    virtual void Event_MouseEnter();
    virtual void Event_MouseExit();

signals:
    void Action();
    void MouseEnter();
    void MouseExit();

protected:
    virtual void _captionInit(const QString& caption);
    virtual bool _isMouseOut(int x, int y) const;
    virtual void _drawButton();
    virtual void _menuDisplay();
    virtual void iconsCreate(const platform::PicturePtr& icon, const platform::PicturePtr& mask);
    virtual void iconsReset();
    virtual void _toggleValue(bool on);

    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintRect(QPainter& painter, const QRect& rect) override;

    QString mCaption;
    platform::PicturePtr mIconNormal;
    platform::PicturePtr mIconPressed;
    platform::PicturePtr mIconDisabled;
    platform::PicturePtr mIconRollOver;
    int mStatus = kIdle;
    MenuItemPtr mMenu;
    MenuItemPtr mMenuValue;
    int mButtonStyle = kPushButton;

private:
    platform::PicturePtr pictureOfState() const;

    int mGlobalTop = 0;
    int mGlobalLeft = 0;
    // The screen position of the mouse event being handled, if any.
    std::optional<QPointF> mEventGlobal;
    // Set while a press that asked for drag and up events is held.
    bool mTracking = false;
    // Set while RefreshRect repaints: the rectangle and the picture it shows.
    QRect mDirectRect;
    QImage mDirectPicture;
};

}  // namespace zpc::controls
