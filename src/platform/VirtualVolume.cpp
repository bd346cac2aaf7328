#include "platform/VirtualVolume.h"

#include "platform/VolumeFolderItem.h"
#include "platform/VolumeStore.h"

namespace zpc::platform {

VirtualVolume::VirtualVolume(std::shared_ptr<VolumeStore> store) : mStore(std::move(store)) {}

// Entries may outlive the volume, but a package that was never completed
// must not: its temporary file goes now.
VirtualVolume::~VirtualVolume() {
    mStore->discard();
}

FolderItemPtr VirtualVolume::Root() {
    return std::make_shared<VolumeFolderItem>(mStore, QStringList());
}

bool VirtualVolume::Flush() {
    return mStore->flush();
}

int VirtualVolume::droppedEntries() const {
    return mStore->droppedRows();
}

std::shared_ptr<VirtualVolume> VirtualVolume::create(const QByteArray& targetPath) {
    auto store = VolumeStore::create(targetPath);
    return store ? std::shared_ptr<VirtualVolume>(new VirtualVolume(std::move(store))) : nullptr;
}

std::shared_ptr<VirtualVolume> VirtualVolume::open(const QByteArray& path) {
    auto store = VolumeStore::open(path);
    return store ? std::shared_ptr<VirtualVolume>(new VirtualVolume(std::move(store))) : nullptr;
}

}  // namespace zpc::platform
