#include "platform/Picture.h"

#include "platform/BinaryStream.h"

#include <QImageReader>
#include <QPainter>

namespace zpc::platform {

Picture::Picture(QImage image) : mImage(std::move(image)) {}

PicturePtr Picture::create(int width, int height) {
    if (width <= 0 || height <= 0) return nullptr;
    QImage img(width, height, QImage::Format_ARGB32_Premultiplied);
    if (img.isNull()) return nullptr;
    img.fill(Qt::white);
    return std::make_shared<Picture>(std::move(img));
}

PicturePtr Picture::createClear(int width, int height) {
    if (width <= 0 || height <= 0) return nullptr;
    QImage img(width, height, QImage::Format_ARGB32_Premultiplied);
    if (img.isNull()) return nullptr;
    img.fill(Qt::transparent);
    return std::make_shared<Picture>(std::move(img));
}

PicturePtr Picture::createGrey(int width, int height, int grey) {
    if (width <= 0 || height <= 0) return nullptr;
    QImage img(width, height, QImage::Format_Grayscale8);
    if (img.isNull()) return nullptr;
    img.fill(QColor(grey, grey, grey));
    return std::make_shared<Picture>(std::move(img));
}

PicturePtr Picture::Open(const FolderItemPtr& item) {
    if (!item || item->Directory()) return nullptr;
    auto stream = BinaryStream::Open(item);
    if (!stream) return nullptr;
    // Refuse absurd sizes before decoding: a hostile file must not exhaust memory.
    constexpr qint64 kMaxBytes = 512ll * 1024 * 1024;
    if (stream->Length() > kMaxBytes) return nullptr;
    const QByteArray bytes = stream->Read(stream->Length());
    stream->Close();
    QImage img;
    if (!img.loadFromData(bytes) || img.isNull()) return nullptr;
    return std::make_shared<Picture>(std::move(img));
}

PicturePtr Picture::fromFile(const QString& path) {
    QImageReader reader(path);
    QImage img = reader.read();
    if (img.isNull()) return nullptr;
    return std::make_shared<Picture>(std::move(img));
}

PicturePtr Picture::Mask(bool create) {
    if (mMask || !create || mImage.hasAlphaChannel()) return mMask;
    QImage m(mImage.size(), QImage::Format_Grayscale8);
    m.fill(0);
    mMask = std::make_shared<Picture>(std::move(m));
    return mMask;
}

void Picture::setTransparent(int value) { mTransparent = value == 1 ? 1 : 0; }

QImage Picture::composed() const {
    QImage out = mImage.convertToFormat(QImage::Format_ARGB32);
    if (mMask && mMask->image().size() == out.size()) {
        const QImage m = mMask->image().convertToFormat(QImage::Format_Grayscale8);
        for (int y = 0; y < out.height(); ++y) {
            auto* px = reinterpret_cast<QRgb*>(out.scanLine(y));
            const uchar* mk = m.constScanLine(y);
            for (int x = 0; x < out.width(); ++x)
                px[x] = qRgba(qRed(px[x]), qGreen(px[x]), qBlue(px[x]), qAlpha(px[x]) * (255 - mk[x]) / 255);
        }
    }
    if (mTransparent == 1) {
        for (int y = 0; y < out.height(); ++y) {
            auto* px = reinterpret_cast<QRgb*>(out.scanLine(y));
            for (int x = 0; x < out.width(); ++x)
                if ((px[x] & 0x00FFFFFF) == 0x00FFFFFF) px[x] = 0;
        }
    }
    return out;
}

namespace {

// Paints on the picture's pixels. Grey pictures (masks) are painted through an
// RGB copy so that blending works the same on every format.
template <typename Paint>
void paintOn(QImage& target, Paint paint) {
    const bool grey = target.format() == QImage::Format_Grayscale8 ||
                      target.format() == QImage::Format_Grayscale16;
    const QImage::Format original = target.format();
    QImage work = grey ? target.convertToFormat(QImage::Format_RGB32) : std::move(target);
    if (work.format() == QImage::Format_Indexed8 || work.format() == QImage::Format_Mono ||
        work.format() == QImage::Format_MonoLSB)
        work = work.convertToFormat(work.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                           : QImage::Format_RGB32);
    {
        QPainter painter(&work);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        paint(painter);
    }
    target = grey ? work.convertToFormat(original) : std::move(work);
}

}  // namespace

void Picture::DrawPicture(const Picture& source, const QRect& dest, const QRect& sourceRect) {
    if (dest.isEmpty() || sourceRect.isEmpty()) return;
    const QImage drawn = source.composed();
    paintOn(mImage, [&](QPainter& p) { p.drawImage(dest, drawn, sourceRect); });
}

void Picture::DrawPicture(const Picture& source, const QRect& dest) {
    DrawPicture(source, dest, QRect(0, 0, source.Width(), source.Height()));
}

void Picture::CopyPixels(const Picture& source, const QRect& dest) {
    if (dest.isEmpty() || source.mImage.isNull()) return;
    paintOn(mImage, [&](QPainter& p) {
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(dest, source.mImage, source.mImage.rect());
    });
}

void Picture::FillRect(const QRect& rect, const QColor& color) {
    if (rect.isEmpty()) return;
    paintOn(mImage, [&](QPainter& p) { p.fillRect(rect, color); });
}

}  // namespace zpc::platform
