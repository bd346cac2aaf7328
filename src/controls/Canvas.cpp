#include "controls/Canvas.h"

#include "platform/Picture.h"

#include <QPaintEvent>
#include <QPainter>

namespace zpc::controls {

Canvas::Canvas(QWidget* parent) : QWidget(parent) {}

void Canvas::setBackdrop(platform::PicturePtr picture) {
    if (picture == mBackdrop) return;
    mBackdrop = std::move(picture);
    mDrawn = mBackdrop ? mBackdrop->composed().convertToFormat(QImage::Format_ARGB32_Premultiplied)
                       : QImage();
    update();
}

void Canvas::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    paintRect(painter, event->rect());
}

void Canvas::paintRect(QPainter& painter, const QRect& rect) {
    drawPictureRect(painter, mDrawn, rect);
}

void Canvas::drawPictureRect(QPainter& painter, const QImage& drawn, const QRect& rect) {
    const QRect part = rect & drawn.rect();
    if (!part.isEmpty()) painter.drawImage(part.topLeft(), drawn, part);
}

}  // namespace zpc::controls
