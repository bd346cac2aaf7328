#pragma once

#include "model/PluginItem.h"
#include "platform/FolderItem.h"
#include "platform/VirtualVolume.h"

#include <memory>

namespace zpc::archive {

class PluginArchive;

// Turns a plugin given on disk straight into a single-file package: a folder
// hierarchy is copied into the package's volume, under one folder named after
// the plugin, and an old single-file plugin is written there as the editor
// would save it (the classic standard folders, its libraries in their
// platform folders); then the volume is completed. Used once and dropped.
class PluginConverter {
public:
    PluginConverter(platform::FolderItemPtr source,
                    std::shared_ptr<platform::VirtualVolume> destination);
    virtual ~PluginConverter();

    // True when the package was written completely. A folder that neither is
    // a plugin nor holds one, a file without a library in the old form, a
    // volume that could not be made, and any failed write answer false; the
    // volume is then not completed, so nothing takes the package's name.
    // Raises NilObjectException for a nil source.
    virtual bool Convert();

protected:
    // The old single-file form, in two halves: the plugin's folder with
    // "Build Resources" and its platform folders (false when the file holds
    // no library), then "IDE Resources" beside it.
    virtual bool ConvertBuildResources();
    virtual bool ConvertIDEResources();
    // The plugin folder at or below the source (searched as the application's
    // Open Folder Hierarchy... does), copied into the volume's root.
    virtual bool ConvertFromDirectory();
    // Copies the source folder into the destination folder as a folder of the
    // same name: every folder, and every visible file (links to files are
    // read as the files they point to; links to folders are left out, they
    // may lead back up the tree). A failure is remembered in mWriteFailed.
    virtual void AddFolderToVV(const platform::FolderItemPtr& source,
                               const platform::FolderItemPtr& destination);

    platform::FolderItemPtr mPluginSource;
    std::shared_ptr<platform::VirtualVolume> mPluginDest;
    bool mWriteFailed = false;

private:
    bool copyFile(const platform::FolderItemPtr& source, const platform::FolderItemPtr& target);
    // The old plugin as a tree, read once for both halves.
    std::shared_ptr<PluginArchive> oldPlugin();
    // The plugin's top folder of that name, written into the plugin's folder
    // in the volume.
    bool writeTopFolder(const QString& name);
    // Writes a node and everything below it, without telling the user: the
    // application reports the outcome.
    static bool writeNode(const model::PluginItemPtr& node,
                          const platform::FolderItemPtr& destination);

    std::shared_ptr<PluginArchive> mOldPlugin;
    bool mOldPluginRead = false;
};

}  // namespace zpc::archive
