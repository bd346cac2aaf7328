#pragma once

#include "platform/FolderItem.h"

#include <QString>

namespace zpc::platform {

// The pictures compiled into the program, by file name ("fileicon.bmp").
// Each is loaded on first use and kept; the two .bmp icons draw their white
// pixels transparent. Nil when there is no such picture (the next call tries
// again).
PicturePtr bundlePicture(const QString& fileName);

// The ten file names, in the order of the resource table.
const QStringList& bundlePictureNames();

}  // namespace zpc::platform

namespace zpc::platform::pictures {

// One accessor per bundle picture.
inline PicturePtr appIcon() { return bundlePicture(QStringLiteral("appIcon.png")); }
inline PicturePtr abort() { return bundlePicture(QStringLiteral("abort.tiff")); }
inline PicturePtr abortP() { return bundlePicture(QStringLiteral("abort-P.tiff")); }
inline PicturePtr fileicon() { return bundlePicture(QStringLiteral("fileicon.bmp")); }
inline PicturePtr foldericon() { return bundlePicture(QStringLiteral("foldericon.bmp")); }
inline PicturePtr kvxplugin() { return bundlePicture(QStringLiteral("kvxplugin.png")); }
inline PicturePtr kvplugin() { return bundlePicture(QStringLiteral("kvplugin.png")); }
inline PicturePtr FolderAdd() { return bundlePicture(QStringLiteral("FolderAdd.png")); }
inline PicturePtr FolderRemove() { return bundlePicture(QStringLiteral("FolderRemove.png")); }
inline PicturePtr arrow() { return bundlePicture(QStringLiteral("arrow.png")); }

}  // namespace zpc::platform::pictures
