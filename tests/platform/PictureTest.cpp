#include "platform/BundlePictures.h"
#include "platform/Picture.h"
#include "support/TestSupport.h"

using namespace zpc::platform;
using zpc::test::TempDir;

TEST(BundlePictures, AllTenLoadAtTheSizesTheWindowUses) {
    const QMap<QString, QSize> sizes = {
        {"appIcon.png", {64, 64}},     {"abort.tiff", {30, 30}},    {"abort-P.tiff", {30, 30}},
        {"fileicon.bmp", {32, 32}},    {"foldericon.bmp", {32, 32}}, {"kvxplugin.png", {32, 32}},
        {"kvplugin.png", {32, 32}},    {"FolderAdd.png", {28, 28}},  {"FolderRemove.png", {28, 28}},
        {"arrow.png", {24, 24}}};
    ASSERT_EQ(bundlePictureNames().size(), 10);
    for (const QString& name : bundlePictureNames()) {
        PicturePtr pic = bundlePicture(name);
        ASSERT_TRUE(pic) << name.toStdString();
        EXPECT_EQ(QSize(pic->Width(), pic->Height()), sizes.value(name)) << name.toStdString();
        EXPECT_EQ(bundlePicture(name), pic) << "loaded once and kept";
    }
    EXPECT_EQ(bundlePicture("missing.png"), nullptr);
}

TEST(BundlePictures, BitmapIconsDrawWhiteTransparentOthersAsStored) {
    for (const QString& name : {QStringLiteral("fileicon.bmp"), QStringLiteral("foldericon.bmp")}) {
        PicturePtr pic = bundlePicture(name);
        ASSERT_TRUE(pic);
        EXPECT_EQ(pic->Transparent(), 1);
        const QImage drawn = pic->composed();
        int white = 0, transparent = 0, opaque = 0;
        for (int y = 0; y < pic->Height(); ++y)
            for (int x = 0; x < pic->Width(); ++x) {
                const QRgb stored = pic->image().pixel(x, y);
                const bool isWhite = (stored & 0xFFFFFF) == 0xFFFFFF;
                white += isWhite;
                if (qAlpha(drawn.pixel(x, y)) == 0) ++transparent;
                else ++opaque;
                if (isWhite) {
                    EXPECT_EQ(qAlpha(drawn.pixel(x, y)), 0);
                }
            }
        EXPECT_GT(white, 0) << name.toStdString();
        EXPECT_EQ(transparent, white) << name.toStdString();
        EXPECT_GT(opaque, 0) << name.toStdString();
    }
    EXPECT_EQ(pictures::kvplugin()->Transparent(), 0);
}

TEST(Picture, OpenReadsPicturesAndRefusesOtherFiles) {
    TempDir dir;
    QImage img(120, 80, QImage::Format_RGB32);
    img.fill(Qt::red);
    ASSERT_TRUE(img.save(dir.path("p.png")));
    dir.write("not.png", "plain text");
    auto pic = Picture::Open(dir.item("p.png"));
    ASSERT_TRUE(pic);
    EXPECT_EQ(pic->Width(), 120);
    EXPECT_EQ(Picture::Open(dir.item("not.png")), nullptr);
    EXPECT_EQ(Picture::Open(dir.item("missing.png")), nullptr);
    EXPECT_EQ(Picture::Open(dir.item()), nullptr);
}

TEST(Picture, MaskIsMadeOnlyForPicturesWithoutAlpha) {
    auto opaque = std::make_shared<Picture>(QImage(4, 4, QImage::Format_RGB32));
    EXPECT_EQ(opaque->Mask(false), nullptr);
    auto mask = opaque->Mask();
    ASSERT_TRUE(mask);
    EXPECT_EQ(mask->image().pixelColor(0, 0), QColor(0, 0, 0)) << "a new mask is opaque";
    auto alpha = std::make_shared<Picture>(QImage(4, 4, QImage::Format_ARGB32));
    EXPECT_EQ(alpha->Mask(), nullptr);
}
