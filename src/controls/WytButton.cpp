#include "controls/WytButton.h"

#include "platform/Picture.h"
#include "platform/Text.h"
#include "util/WytFramework.h"

#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

namespace zpc::controls {

using platform::Picture;
using platform::PicturePtr;
namespace Wyt = util::WytFramework;

namespace {

// The generated pictures: a black layer this grey in its mask darkens the
// pressed picture; a white layer this grey makes the disabled one a little
// more transparent.
constexpr int kPressedLayerGrey = 135;
constexpr int kDisabledLayerGrey = 250;
constexpr int kMenuInset = 8;

// A solid picture of one colour whose mask is one grey level.
PicturePtr layer(int width, int height, const QColor& color, int grey) {
    PicturePtr pic = Picture::create(width, height);
    PicturePtr mask = Picture::createGrey(width, height, grey);
    if (!pic || !mask) return nullptr;
    pic->FillRect(pic->image().rect(), color);
    pic->setMask(mask);
    return pic;
}

}  // namespace

WytButton::WytButton(QWidget* parent) : Canvas(parent) {}

void WytButton::setCaption(const QString& caption) {
    if (!platform::text::equals(caption, mCaption)) _captionInit(caption);
}

// This button draws no caption; a subclass that shows one stores it here.
void WytButton::_captionInit(const QString&) {}

void WytButton::setRollOver(const PicturePtr& picture) {
    mIconRollOver = Wyt::pictureScaled(picture, width(), height());
}

void WytButton::setValue(bool on) {
    if (!isEnabled() || mButtonStyle != kToggleButton) return;
    _toggleValue(on);
    _drawButton();
    emit Action();
}

void WytButton::_toggleValue(bool on) {
    mStatus = on ? kPressed : kIdle;
}

bool WytButton::_isMouseOut(int x, int y) const {
    return x < 0 || x > width() || y < 0 || y > height();
}

void WytButton::Refresh(bool) {
    _drawButton();
}

void WytButton::_drawButton() {
    if (!isEnabled()) {
        setBackdrop(mIconDisabled);
        return;
    }
    switch (mStatus) {
        case kIdle:
            setBackdrop(mIconNormal);
            break;
        case kPressed:
            setBackdrop(mIconPressed);
            // The pressed picture must be on screen before a menu takes over.
            repaint();
            if (mMenu) _menuDisplay();
            break;
        case kRollOver:
            if (mIconRollOver) setBackdrop(mIconRollOver);
            break;
    }
}

PicturePtr WytButton::pictureOfState() const {
    if (!isEnabled()) return mIconDisabled;
    switch (mStatus) {
        case kPressed:
            return mIconPressed;
        case kRollOver:
            return mIconRollOver ? mIconRollOver : mIconNormal;
        default:
            return mIconNormal;
    }
}

// A repaint only paints: popping the menu up from here would open it a
// second time while it is already showing.
void WytButton::RefreshRect(int x, int y, int width, int height, bool) {
    const PicturePtr picture = pictureOfState();
    mDirectRect = QRect(x, y, width, height) & rect();
    mDirectPicture = picture ? picture->composed() : QImage();
    if (!mDirectRect.isEmpty()) repaint(mDirectRect);
    mDirectRect = QRect();
    mDirectPicture = QImage();
}

void WytButton::paintRect(QPainter& painter, const QRect& rect) {
    if (mDirectRect.isEmpty()) {
        Canvas::paintRect(painter, rect);
        return;
    }
    // The widget's background is already there: "clearing" is drawing nothing.
    drawPictureRect(painter, mDirectPicture, rect & mDirectRect);
}

void WytButton::_menuDisplay() {
    const MenuItemPtr menu = mMenu;
    QPointer<WytButton> self(this);
    const MenuItemPtr chosen =
        menu->PopUp(QPoint(mGlobalLeft + width() - kMenuInset, mGlobalTop + height() - kMenuInset));
    if (!self) return;
    mMenuValue = chosen;
    mStatus = kIdle;
    _drawButton();
    if (chosen) emit Action();
}

void WytButton::iconsReset() {
    mIconNormal.reset();
    mIconPressed.reset();
    mIconDisabled.reset();
    Refresh();
}

void WytButton::initWithIcons(const PicturePtr& normal, const PicturePtr& pressed,
                              const PicturePtr& disabled) {
    if (!normal) return;
    iconsReset();
    mIconNormal = Wyt::pictureScaled(normal, width(), height());
    if (pressed) mIconPressed = Wyt::pictureScaled(pressed, width(), height());
    if (disabled) mIconDisabled = Wyt::pictureScaled(disabled, width(), height());
    if (!pressed || !disabled) iconsCreate(normal, normal->Mask(true));
    _drawButton();
}

void WytButton::initWithIconAndMask(const PicturePtr& icon, const PicturePtr& mask) {
    if (!icon) return;
    iconsReset();
    iconsCreate(icon, mask);
    _drawButton();
}

void WytButton::iconsCreate(const PicturePtr& icon, const PicturePtr& mask) {
    if (!icon || !mask) return;
    const int w = width();
    const int h = height();
    const QRect full(0, 0, w, h);
    // Icon and mask stretched to the control, proportions not kept.
    PicturePtr scaledIcon = Picture::create(w, h);
    PicturePtr scaledMask = Picture::createGrey(w, h, 0);
    if (!scaledIcon || !scaledMask) return;
    scaledIcon->CopyPixels(*icon, full);
    scaledMask->CopyPixels(*mask, full);
    auto fromScaled = [&] {
        PicturePtr pic = Picture::create(w, h);
        PicturePtr picMask = Picture::createGrey(w, h, 0);
        pic->CopyPixels(*scaledIcon, full);
        picMask->CopyPixels(*scaledMask, full);
        pic->setMask(picMask);
        return pic;
    };
    if (!mIconNormal) mIconNormal = fromScaled();
    if (!mIconPressed) {
        PicturePtr pic = fromScaled();
        if (PicturePtr black = layer(w, h, QColor(0, 0, 0), kPressedLayerGrey))
            pic->DrawPicture(*black, full);
        mIconPressed = pic;
    }
    if (!mIconDisabled) {
        PicturePtr pic = fromScaled();
        if (PicturePtr white = layer(w, h, QColor(255, 255, 255), kDisabledLayerGrey))
            pic->Mask(false)->DrawPicture(*white, full);
        mIconDisabled = pic;
    }
}

bool WytButton::Event_MouseDown(int x, int y) {
    const QPoint pointer = mEventGlobal ? mEventGlobal->toPoint() : QCursor::pos();
    mGlobalLeft = pointer.x() - x;
    mGlobalTop = pointer.y() - y;
    if (mButtonStyle == kToggleButton) {
        setValue(!value());
        return false;
    }
    mStatus = kPressed;
    _drawButton();
    return true;
}

void WytButton::Event_MouseDrag(int x, int y) {
    if (mMenu) return;
    const int status = _isMouseOut(x, y) ? kIdle : kPressed;
    if (status == mStatus) return;
    mStatus = status;
    _drawButton();
}

void WytButton::Event_MouseUp(int x, int y) {
    mStatus = kIdle;
    _drawButton();
    if (!_isMouseOut(x, y)) emit Action();
}

void WytButton::Event_MouseEnter() {
    if (mStatus == kIdle) {
        mStatus = kRollOver;
        _drawButton();
    }
    emit MouseEnter();
}

void WytButton::Event_MouseExit() {
    if (mStatus == kRollOver) {
        mStatus = kIdle;
        _drawButton();
    }
    emit MouseExit();
}

void WytButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        Canvas::mousePressEvent(event);
        return;
    }
    QPointer<WytButton> self(this);
    mEventGlobal = event->globalPosition();
    const QPoint at = event->position().toPoint();
    const bool follow = Event_MouseDown(at.x(), at.y());
    if (!self) return;
    mEventGlobal.reset();
    mTracking = follow;
}

void WytButton::mouseMoveEvent(QMouseEvent* event) {
    if (!mTracking || !(event->buttons() & Qt::LeftButton)) return;
    const QPoint at = event->position().toPoint();
    Event_MouseDrag(at.x(), at.y());
}

void WytButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !mTracking) return;
    mTracking = false;
    const QPoint at = event->position().toPoint();
    Event_MouseUp(at.x(), at.y());
}

void WytButton::enterEvent(QEnterEvent*) {
    Event_MouseEnter();
}

void WytButton::leaveEvent(QEvent*) {
    Event_MouseExit();
}

// Whatever enables or disables the control, it shows the matching picture.
void WytButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) Refresh();
    Canvas::changeEvent(event);
}

}  // namespace zpc::controls
