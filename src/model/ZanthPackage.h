#pragma once

#include "platform/FolderItem.h"

#include <QString>
#include <functional>

namespace zpc::model {

// What writing and reading zipped packages share, whoever runs the commands
// (the application's routines or the model's own): where packages are
// unpacked, the command lines, and the checks around unpacking.
class ZanthPackage {
public:
    // A package too large for the free space is refused with the code unzip
    // itself gives for a full disk.
    static constexpr int kNoRoomCode = 50;

    // A new empty folder to unpack one package into. All of them live in one
    // folder of this process, "ZanthPluginConverter-<pid>-<random>" in the
    // system's temporary folder. Nil when it cannot be made.
    static platform::FolderItemPtr newExtractionFolder();
    // Removes an extraction folder nothing was read from (and this process's
    // folder, when that leaves it empty).
    static void discardExtractionFolder(const platform::FolderItemPtr& folder);
    // Removes this process's folder with every package unpacked in it. The
    // program calls it as it ends, once its windows are closed.
    static void removeExtractionFolders();
    // Removes the folders that processes which no longer run left behind.
    static void removeStaleExtractionFolders();

    // The free space of a folder in bytes, -1 when unknown. Tests set their
    // own figure; nil restores the file system's.
    static void setFreeSpaceQuery(std::function<qint64(const QByteArray& folder)> query);

    // Unpacks the package with "unzip -u PACKAGE -d FOLDER" into the empty
    // extraction folder, makes what came out safe to read (see secure) and
    // answers the plugin's folder in it, or nil. A package that would not fit
    // in the free space is refused before anything is unpacked. Failures go
    // to report with their message and code: the command's output and exit
    // code, or the refusal and kNoRoomCode.
    static platform::FolderItemPtr unpack(const platform::FolderItemPtr& package,
                                          const platform::FolderItemPtr& extractionFolder,
                                          const std::function<void(const QString&, int)>& report);
    // Makes an unpacked tree safe to read: unzip recreates links with any
    // target, and reading the tree would follow them, so every link is removed
    // unless it leads to a file inside the extraction folder; so is anything
    // that is neither file nor folder. Folders and files become readable by
    // their owner. False when something could not be made safe.
    static bool secure(const platform::FolderItemPtr& extractionFolder);
    // The first visible folder at the top of an unpacked tree, in listing
    // order, leaving out the metadata folder a Mac puts beside the plugin's
    // folder ("__MACOSX"). Nil when there is none.
    static platform::FolderItemPtr pluginFolderIn(const platform::FolderItemPtr& extractionFolder);

    // "cd PARENT;zip -r PACKAGE NAME" for the folder, the package given as a
    // shell word (a path, or a name relative to the folder's parent).
    static QString zipCommand(const platform::FolderItemPtr& folder, const QString& packageWord);
    // A bare name as one shell word that no command takes for an option.
    static QString nameWord(const QString& name);

    // Makes a folder that did not exist before; false when anything of that
    // name is there already or it cannot be made.
    static bool createNewFolder(const platform::FolderItemPtr& folder);
    // A new hidden folder inside the directory, private to one save, held
    // (locked) until releasePrivateFolder. Private folders that no save holds
    // any more, left by a save that was killed, are removed first.
    static platform::FolderItemPtr createPrivateFolder(const platform::FolderItemPtr& directory);
    // Lets go of a private folder, whether or not it is still there.
    static void releasePrivateFolder(const platform::FolderItemPtr& privateFolder);
    // Renames the file over the target, which keeps its permissions when it
    // was a file already. False when the file could not take its place.
    static bool replace(const platform::FolderItemPtr& target, const platform::FolderItemPtr& file);
    // Gives the item the target's place, only when no entry is there (a
    // link included). False when it stays where it was.
    static bool moveToNew(const platform::FolderItemPtr& item, const platform::FolderItemPtr& target);
    // Removes a file or folder tree whatever its permissions; links are
    // removed, never followed.
    static bool removeTree(const platform::FolderItemPtr& item);
};

}  // namespace zpc::model
