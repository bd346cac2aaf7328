#pragma once

#include "platform/FolderItem.h"

#include <QColor>
#include <QImage>
#include <QRect>
#include <memory>

namespace zpc::platform {

// Pixels plus an optional mask. A mask is a grey picture in which black is
// opaque and white transparent. A picture that keeps its transparency in its
// own pixels (an alpha channel) has no mask.
class Picture {
public:
    explicit Picture(QImage image);
    // A new picture of that size, 32 bits per pixel, opaque white.
    static PicturePtr create(int width, int height);
    // A new picture of that size with an alpha channel, fully transparent.
    static PicturePtr createClear(int width, int height);
    // A new grey picture (a mask) of that size filled with one grey level,
    // 0 black (opaque) to 255 white (transparent).
    static PicturePtr createGrey(int width, int height, int grey);
    // Nil when the entry does not open as a picture.
    static PicturePtr Open(const FolderItemPtr& item);
    static PicturePtr fromFile(const QString& path);

    int Width() const { return mImage.width(); }
    int Height() const { return mImage.height(); }
    const QImage& image() const { return mImage; }
    QImage& image() { return mImage; }

    // create: a picture without alpha and without mask gets an opaque mask.
    PicturePtr Mask(bool create = true);
    void setMask(PicturePtr mask) { mMask = std::move(mask); }
    bool hasMask() const { return bool(mMask); }

    // 1: pure white pixels are drawn transparent; 0: drawn as stored.
    int Transparent() const { return mTransparent; }
    void setTransparent(int value);

    // The picture as it is drawn: mask and transparency applied (ARGB).
    QImage composed() const;

    // Drawing into this picture's pixels; its own mask is left alone. Pictures
    // are stretched from the source rectangle into the destination rectangle.
    // DrawPicture blends the source as it is drawn (mask and transparency
    // applied) over what is there.
    void DrawPicture(const Picture& source, const QRect& dest, const QRect& sourceRect);
    void DrawPicture(const Picture& source, const QRect& dest);
    // Replaces the destination rectangle by the source's stored pixels, alpha
    // included, without applying its mask or transparency.
    void CopyPixels(const Picture& source, const QRect& dest);
    void FillRect(const QRect& rect, const QColor& color);

private:
    QImage mImage;
    PicturePtr mMask;
    int mTransparent = 0;
};

}  // namespace zpc::platform
