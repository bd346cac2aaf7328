#include "platform/BundlePictures.h"

#include "platform/Picture.h"

#include <QHash>
#include <QStringList>

namespace zpc::platform {

const QStringList& bundlePictureNames() {
    static const QStringList names = {
        QStringLiteral("appIcon.png"),    QStringLiteral("abort.tiff"),
        QStringLiteral("abort-P.tiff"),   QStringLiteral("fileicon.bmp"),
        QStringLiteral("foldericon.bmp"), QStringLiteral("kvxplugin.png"),
        QStringLiteral("kvplugin.png"),   QStringLiteral("FolderAdd.png"),
        QStringLiteral("FolderRemove.png"), QStringLiteral("arrow.png")};
    return names;
}

PicturePtr bundlePicture(const QString& fileName) {
    static QHash<QString, PicturePtr> loaded;
    auto it = loaded.constFind(fileName);
    if (it != loaded.constEnd()) return *it;
    PicturePtr pic = Picture::fromFile(QStringLiteral(":/bundle/") + fileName);
    if (!pic) return nullptr;
    if (fileName == QLatin1String("fileicon.bmp") || fileName == QLatin1String("foldericon.bmp"))
        pic->setTransparent(1);
    loaded.insert(fileName, pic);
    return pic;
}

}  // namespace zpc::platform
