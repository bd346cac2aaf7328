#pragma once

#include "platform/FolderItem.h"

#include <QImage>
#include <QWidget>

namespace zpc::controls {

// A control that shows a picture as its backdrop, drawn from its top-left
// corner and not scaled; a nil backdrop shows nothing.
class Canvas : public QWidget {
    Q_OBJECT
public:
    explicit Canvas(QWidget* parent = nullptr);

    const platform::PicturePtr& Backdrop() const { return mBackdrop; }
    // Pictures are not changed once shown, so the drawn form is made here once.
    void setBackdrop(platform::PicturePtr picture);

protected:
    void paintEvent(QPaintEvent* event) override;
    // What a paint of the rectangle shows; by default the backdrop.
    virtual void paintRect(QPainter& painter, const QRect& rect);
    void drawPictureRect(QPainter& painter, const QImage& drawn, const QRect& rect);

private:
    platform::PicturePtr mBackdrop;
    QImage mDrawn;
};

}  // namespace zpc::controls
