#pragma once

#include "model/PluginItem.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <unordered_set>
#include <vector>

namespace zpc::model {

// "( FolderItem, FolderItem ) as FolderItem": given a zipped package and an
// empty folder to extract into, answers the plugin's folder inside it, or nil.
using DecompressDelegate = std::function<platform::FolderItemPtr(
    const platform::FolderItemPtr& package, const platform::FolderItemPtr& extractionFolder)>;

// The extension of a zipped package (the archive publishes it too).
inline QString zanthPackageExtension() {
    return QStringLiteral("zanth_plugin");
}

// A folder of a plugin tree: an ordered list of children that it owns. It is
// built by name or read from a source (a directory, a package, a project
// file), written back as a directory tree, and rebuilt from its source.
//
// The tree never holds a cycle: add, setItem and setItems refuse a folder
// that is this one or holds it somewhere below, so the recursive searches and
// writes always end.
class PluginItemFolder : public PluginItem {
public:
    // The named constructor: an empty folder without source.
    static std::shared_ptr<PluginItemFolder> create(const QString& name, bool mutableName);
    // Constructor(source, mutableName, decompressor): reads the source.
    static std::shared_ptr<PluginItemFolder> create(const platform::FolderItemPtr& source,
                                                    bool mutableName,
                                                    DecompressDelegate decompressor);

    int count() const override;
    // Writes the folder as a directory into the destination; on a failure it
    // tells the user which child could not be written and answers false.
    bool store(const platform::FolderItemPtr& destination) override;
    platform::FolderItemPtr dataSource() const override;
    platform::PicturePtr icon() const override;
    PluginItemFolder* asFolder() override { return this; }

    // Appends a valid node and becomes its owner; nil, invalid and cyclic
    // nodes are ignored.
    void add(const PluginItemPtr& item);
    // Raise OutOfBoundsException outside 0..count-1.
    PluginItemPtr item(int index) const;
    void setItem(int index, const PluginItemPtr& item);
    void remove(int index);
    // The list itself. Changing it directly skips the checks of add.
    std::vector<PluginItemPtr>& items() { return mItems; }
    // Replaces the children, through add.
    void setItems(const std::vector<PluginItemPtr>& list);
    // Removes the first direct child with the item's identifier.
    bool remove(const PluginItemPtr& item);
    // Depth-first, pre-order searches of the whole subtree, by identifier and
    // by name (letter case ignored); the folder itself is not compared.
    PluginItemPtr hasItem(const PluginItemPtr& item) const;
    PluginItemPtr hasItem(const QString& name) const;
    // Empties the folder and reads its source again.
    void revert();

    // The resource types of an old single-file plugin, one per platform.
    static QStringList defaultOldFormatResourcesListName();
    // The platform folder an old-format resource type fills; empty for any
    // other type.
    static QString oldFormatPlatformFolderName(const QString& type);
    // Whether the resources hold any of the old format's types.
    static bool hasOldFormatResources(const OldFormatResources& resources);

    DecompressDelegate decompressorAgent;

protected:
    PluginItemFolder() = default;

    // The steps of Constructor(source, mutableName, decompressor).
    void constructFromSource(const platform::FolderItemPtr& source, bool mutableName,
                             DecompressDelegate decompressor);

    // The folder's "pluginitem" element in a project file, and its reading.
    void storeXml(const platform::XmlNodePtr& parent) override;
    void loadXml(const platform::XmlNodePtr& node) override;
    // Appends the element of every child, in order, to the parent element.
    void storeItemsXml(const platform::XmlNodePtr& parent);

    virtual void _scanDirectory(const platform::FolderItemPtr& directory, bool stored);
    virtual bool _isValidDirectory(const platform::FolderItemPtr& directory) const;
    virtual void _createWithFolderitem(const platform::FolderItemPtr& source);
    // A project file; the archive reads it, a plain folder does nothing.
    virtual void _loadProject(const platform::FolderItemPtr& file);

    // Unpacks a zipped package and reads the plugin's folder in it.
    void decompressZanth(const platform::FolderItemPtr& package);

    // The resources of a file, wherever its resource fork travels; nil when
    // it has none.
    static OldFormatResources _oldPluginFormatResources(const platform::FolderItemPtr& file);
    // Puts the libraries of each old-format type into the first folder of its
    // platform's name in this folder's subtree; a type without one is skipped.
    void _scanPluginOldFormat(const OldFormatResources& resources,
                              const platform::FolderItemPtr& file);
    // A file that opens as no package: an archive reads an old single-file
    // plugin from it. True when it did; a plain folder reads nothing.
    virtual bool _readOldPluginFormat(const platform::FolderItemPtr& file);

    std::vector<PluginItemPtr> mItems;
    platform::FolderItemPtr mDataSource;

private:
    // Reads every plugin folder at the top of a single-file package; false
    // when the file opens as no package.
    bool readPackageVolume(const platform::FolderItemPtr& source);

    // True when taking the node would put this folder inside itself.
    bool wouldCycle(const PluginItem* item) const;
    bool holds(const PluginItem* node) const;
    PluginItemPtr findUid(const QString& uid) const;
    PluginItemPtr findName(const QString& name, const QString& key, size_t hash) const;
    // The name hashes of the node and of everything below it.
    static void collectNameHashes(const PluginItem& node, std::unordered_set<size_t>& into);
};

}  // namespace zpc::model
