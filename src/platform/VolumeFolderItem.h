#pragma once

#include "platform/FolderItem.h"

#include <QStringList>
#include <memory>
#include <vector>

namespace zpc::platform {

class VolumeStore;

// An entry inside a VirtualVolume, named by its path from the volume's top
// folder. Names are matched ignoring letter case. Nothing outside the volume
// can be reached through it: its paths are only shown, never resolved on disk.
class VolumeFolderItem final : public FolderItem {
public:
    VolumeFolderItem(std::shared_ptr<VolumeStore> store, QStringList path, bool invalid = false);

    QString Name() const override;
    FolderItemPtr Parent() const override;
    FolderItemPtr Child(const QString& name) const override;
    int Count() const override;
    FolderItemPtr Item(int index) const override;
    FolderItemPtr TrueItem(int index) const override;
    bool Directory() const override;
    bool Exists() const override;
    bool Locked() const override;
    qint64 Length() const override;
    // The package's path, "//", then the path inside it.
    QString NativePath() const override;
    // A URL of the volume's own scheme, which GetFolderItem refuses.
    QString URLPath() const override;
    void CreateAsFolder() override;
    std::unique_ptr<BinaryStream> openForReading() const override;
    std::unique_ptr<BinaryStream> openForWriting(bool replace) override;
    bool sameFileAs(const FolderItem& other) const override;

private:
    int node() const;

    std::shared_ptr<VolumeStore> mStore;
    QStringList mPath;
    bool mInvalid;
    mutable int mNode = -1;  // once found, an entry keeps its node
    mutable std::vector<QString> mListing;
    mutable bool mListed = false;
};

}  // namespace zpc::platform
