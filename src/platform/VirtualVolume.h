#pragma once

#include "platform/FolderItem.h"

#include <QByteArray>
#include <memory>

namespace zpc::platform {

class VolumeStore;

// A whole folder tree kept in one package file. Its entries are used through
// FolderItem and BinaryStream exactly like entries on disk.
//
// A volume made for writing fills a hidden temporary file beside its target;
// Flush puts that file in the target's place in one step. A volume released
// without Flush leaves the target as it was.
class VirtualVolume {
public:
    ~VirtualVolume();
    VirtualVolume(const VirtualVolume&) = delete;
    VirtualVolume& operator=(const VirtualVolume&) = delete;

    // The volume's top folder.
    FolderItemPtr Root();
    // Completes the package under its target name. False when something could
    // not be written (the previous file, if any, is then left untouched).
    // Later writes into the volume fail. A volume opened for reading answers false.
    bool Flush();
    // How many rows of a package read could not be made entries (damaged, or
    // a name that another entry has already, perhaps in another case).
    int droppedEntries() const;

    // A new, empty volume to be stored at the given path; nil when it cannot
    // be made there.
    static std::shared_ptr<VirtualVolume> create(const QByteArray& targetPath);
    // The volume kept in the file at the given path, read-only; nil when the
    // file is not a package.
    static std::shared_ptr<VirtualVolume> open(const QByteArray& path);

private:
    explicit VirtualVolume(std::shared_ptr<VolumeStore> store);

    std::shared_ptr<VolumeStore> mStore;
};

}  // namespace zpc::platform
