#include "platform/VolumeFolderItem.h"

#include "platform/BinaryStream.h"
#include "platform/DiskFolderItem.h"
#include "platform/VolumeStore.h"

#include <QFile>
#include <cerrno>

namespace zpc::platform {

VolumeFolderItem::VolumeFolderItem(std::shared_ptr<VolumeStore> store, QStringList path,
                                   bool invalid)
    : mStore(std::move(store)), mPath(std::move(path)), mInvalid(invalid) {}

int VolumeFolderItem::node() const {
    if (mInvalid) return -1;
    if (mNode >= 0 && mStore->alive(mNode)) return mNode;
    mNode = mStore->find(mPath);
    return mNode;
}

QString VolumeFolderItem::Name() const {
    if (!mPath.isEmpty()) return mPath.last();
    const QByteArray& package = mStore->packagePath();
    return QFile::decodeName(package.mid(package.lastIndexOf('/') + 1));
}

FolderItemPtr VolumeFolderItem::Parent() const {
    if (mPath.isEmpty()) return nullptr;
    return std::make_shared<VolumeFolderItem>(mStore, mPath.mid(0, mPath.size() - 1));
}

FolderItemPtr VolumeFolderItem::Child(const QString& name) const {
    return std::make_shared<VolumeFolderItem>(mStore, mPath + QStringList{name},
                                              mInvalid || !isValidEntryName(name));
}

int VolumeFolderItem::Count() const {
    mListing.clear();
    mListed = true;
    const int n = node();
    if (n < 0 || !mStore->node(n).dir) return 0;
    for (int child : mStore->children(n)) mListing.push_back(mStore->node(child).name);
    return int(mListing.size());
}

FolderItemPtr VolumeFolderItem::Item(int index) const {
    if (!mListed) Count();
    if (index < 1 || index > int(mListing.size())) return nullptr;
    return std::make_shared<VolumeFolderItem>(mStore,
                                              mPath + QStringList{mListing[size_t(index - 1)]});
}

// A volume holds no links.
FolderItemPtr VolumeFolderItem::TrueItem(int index) const {
    return Item(index);
}

bool VolumeFolderItem::Directory() const {
    const int n = node();
    return n >= 0 && mStore->node(n).dir;
}

bool VolumeFolderItem::Exists() const {
    return node() >= 0;
}

bool VolumeFolderItem::Locked() const {
    return Exists() && !mStore->writable();
}

qint64 VolumeFolderItem::Length() const {
    const int n = node();
    return n >= 0 && !mStore->node(n).dir ? mStore->node(n).size : 0;
}

QString VolumeFolderItem::NativePath() const {
    return QFile::decodeName(mStore->packagePath()) + QStringLiteral("//") +
           mPath.join(QLatin1Char('/'));
}

QString VolumeFolderItem::URLPath() const {
    return QStringLiteral("zpc-volume:") + encodeUrlPath(mStore->packagePath()) +
           QStringLiteral("//") + encodeUrlPath(mPath.join(QLatin1Char('/')).toUtf8());
}

void VolumeFolderItem::CreateAsFolder() {
    mLastErrorCode = mInvalid ? EINVAL : mStore->createFolder(mPath);
}

std::unique_ptr<BinaryStream> VolumeFolderItem::openForReading() const {
    const int n = node();
    return n >= 0 ? mStore->openForReading(n) : nullptr;
}

std::unique_ptr<BinaryStream> VolumeFolderItem::openForWriting(bool replace) {
    if (mInvalid) {
        mLastErrorCode = EINVAL;
        return nullptr;
    }
    int error = 0;
    auto stream = mStore->openForWriting(mPath, replace, error);
    mLastErrorCode = error;
    return stream;
}

bool VolumeFolderItem::sameFileAs(const FolderItem& other) const {
    auto* entry = dynamic_cast<const VolumeFolderItem*>(&other);
    return entry && entry->mStore == mStore && node() >= 0 && node() == entry->node();
}

}  // namespace zpc::platform
