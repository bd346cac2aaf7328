#include "controls/RoundRectangle.h"

#include <QPainter>

namespace zpc::controls {

RoundRectangle::RoundRectangle(QWidget* parent) : QWidget(parent) {}

void RoundRectangle::setOval(int width, int height) {
    mOvalWidth = width;
    mOvalHeight = height;
    update();
}

void RoundRectangle::setFillColor(const QColor& color) {
    mFill = color;
    update();
}

void RoundRectangle::setBorder(const QColor& color, int width) {
    mBorder = color;
    mBorderWidth = width;
    update();
}

void RoundRectangle::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal inset = mBorderWidth / 2.0;
    const QRectF shape = QRectF(rect()).adjusted(inset, inset, -inset, -inset);
    if (mBorderWidth > 0)
        painter.setPen(QPen(mBorder, mBorderWidth));
    else
        painter.setPen(Qt::NoPen);
    painter.setBrush(mFill);
    // The oval is the corner's full width and height.
    painter.drawRoundedRect(shape, mOvalWidth / 2.0, mOvalHeight / 2.0);
}

}  // namespace zpc::controls
