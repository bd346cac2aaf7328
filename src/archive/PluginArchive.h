#pragma once

#include "model/PluginItemFolder.h"

#include <QStringList>
#include <functional>
#include <memory>

namespace zpc::archive {

// "( FolderItem, FolderItem ) as Boolean": compresses a folder into the given
// package file and answers whether the package was made.
using CompressDelegate = std::function<bool(const platform::FolderItemPtr& folder,
                                            const platform::FolderItemPtr& package)>;

// The root of a plugin tree. It always starts with the standard folders,
// "Build Resources" (one folder per target platform, in the classic or the
// modern set) and "IDE Resources"; a plugin read from a source is merged into
// them.
class PluginArchive : public model::PluginItemFolder {
public:
    // A new, empty plugin with the classic or the modern platform folders.
    static std::shared_ptr<PluginArchive> create(bool classic);
    // A plugin read from a folder or a package file. A file that opens as no
    // package but holds the resources of an old single-file plugin gives a
    // classic plugin named after the file, with the libraries in their
    // platform folders.
    static std::shared_ptr<PluginArchive> create(const platform::FolderItemPtr& source,
                                                 bool mutableName,
                                                 model::DecompressDelegate decompressor);
    // An old single-file plugin read as above; nil when the file holds no
    // old-format resources.
    static std::shared_ptr<PluginArchive> createWithOldPlugin(const platform::FolderItemPtr& file);

    // "Untitled" while the stored name is empty.
    QString name() const override;
    // Keeps the text before the first "."; an empty text changes nothing.
    void setName(const QString& value) override;
    platform::PicturePtr icon() const override;
    // Writes every top-level item straight into the destination, whatever
    // each answers; always true.
    bool store(const platform::FolderItemPtr& destination) override;
    // Writes the plugin as a folder named after it inside the directory.
    // True when the folder and every file in it were written completely; false
    // also when nothing was written (an empty plugin, no such directory).
    bool saveAsFolder(const platform::FolderItemPtr& directory);
    // Writes the plugin as the single-file package "<name>.kvx" inside the
    // directory, replacing one of that name only once it is complete. True
    // when every file was written; a package that cannot be made or completed
    // is reported to the user, and the previous one stays.
    bool saveAsPluginFile(const platform::FolderItemPtr& directory);
    // Writes the plugin as a zipped package "NAME.zanth_plugin" into the
    // directory, through compressorAgent or zip itself. An existing package
    // is replaced only once the new one is complete. True when it was written.
    bool saveAsZanthPluginFile(const platform::FolderItemPtr& directory);
    // Writes the project file "NAME.prjkvx" into the directory, replacing an
    // existing one only once the new one is complete. True when it was written.
    bool saveAsProject(const platform::FolderItemPtr& directory);

    bool classicHierarchyStyle() const { return mClassicHierarchyStyle; }

    static QStringList defaultTopHierarchyPluginItemsName();
    static QStringList defaultBuildResourcesFoldersListName();
    static QStringList modernBuildResourcesFoldersListName();
    static QStringList defaultIDEResourcesFoldersListName();
    // A directory holding "Build Resources" or "IDE Resources".
    static bool isPluginDirectory(const platform::FolderItemPtr& item);
    static QString fileExtension();
    static QString zanthFileExtension();

    CompressDelegate compressorAgent;

protected:
    PluginArchive() = default;

    void _init() override;
    bool _isValidDirectory(const platform::FolderItemPtr& directory) const override;
    // Replaces the children with the tree of a project file, named after it.
    void _loadProject(const platform::FolderItemPtr& file) override;
    // Turns classic and rebuilds the standard tree, so every old-format type
    // has its folder, then fills it from the file.
    bool _readOldPluginFormat(const platform::FolderItemPtr& file) override;

    bool mClassicHierarchyStyle = false;

private:
    // store, answering whether every top-level item was written.
    bool storeItems(const platform::FolderItemPtr& destination);
    // Zips the working folder into a package in the private folder of the
    // save, and puts it in its place in the directory.
    bool compressZanth(const platform::FolderItemPtr& workingFolder,
                       const platform::FolderItemPtr& privateFolder,
                       const platform::FolderItemPtr& directory);
};

}  // namespace zpc::archive
