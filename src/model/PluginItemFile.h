#pragma once

#include "model/PluginItem.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace zpc::model {

// The names given out within one folder, letter case ignored: a claim
// answers the name, or it with " 2", " 3", ... appended, the first not given
// out yet. Each repeated name costs about one step.
class FolderNames {
public:
    void take(const QString& name);
    QString claim(const QString& name);

private:
    QSet<QString> mTaken;
    QHash<QString, int> mNextSuffix;
};

// While one lives, the links of project-file elements that lead to no file
// are noted here, so that the reader can say what it had to leave out.
class MissingLinks {
public:
    MissingLinks();
    ~MissingLinks();
    MissingLinks(const MissingLinks&) = delete;
    MissingLinks& operator=(const MissingLinks&) = delete;
    static void note(const QString& urlPath);
    // One message naming the first link, or an empty text when none was missing.
    QString message() const;

private:
    QStringList mPaths;
    MissingLinks* mOuter;
    static MissingLinks* sCurrent;
};

// While one lives (the outermost of a save), the files the save has written:
// a second item of a name already written (a project file can list two, names
// on disk that are not UTF-8 can read as one, two folders of one name share
// their entry) must not silently replace the first.
class WrittenFiles {
public:
    WrittenFiles();
    ~WrittenFiles();
    WrittenFiles(const WrittenFiles&) = delete;
    WrittenFiles& operator=(const WrittenFiles&) = delete;
    // False when this save has written the file already.
    static bool claim(const QString& path);

    // The files on disk that the linked files below root read from: until
    // its reader has been stored, no other item may write over one. They are
    // looked up only when the save first meets a file that exists already,
    // so a save into a new place costs no lookup of every source.
    static void collectSources(const PluginItem& root);
    // True when the target is the source of another item not stored yet.
    static bool isPendingSource(const QByteArray& identity, const PluginItem* writer);
    // The item has been stored; its source may be written over.
    static void stored(const PluginItem* item);

private:
    QSet<QString> mPaths;
    QHash<QByteArray, QSet<const PluginItem*>> mPending;  // identity -> readers
    QHash<const PluginItem*, QByteArray> mSourceOf;
    QSet<const PluginItem*> mStoredBeforeCollecting;
    const PluginItem* mRoot = nullptr;
    bool mOutermost;
    bool mCollected = false;
    void collect();
    static WrittenFiles* sCurrent;
};

// One file of a plugin. Either linked to a file on disk (mData, its URL path,
// copied only when the tree is written) or holding the bytes in memory
// (mRawData, which wins over the link). A ".bundle" directory is represented
// by the executable inside it.
class PluginItemFile : public PluginItem {
public:
    // Constructor(source, stored): a bundle directory, or a file linked (stored
    // false) or copied into memory (stored true).
    static std::shared_ptr<PluginItemFile> create(const platform::FolderItemPtr& source,
                                                  bool stored);
    // The named constructor: a node without contents yet (project files).
    static std::shared_ptr<PluginItemFile> create(const QString& name, bool mutableName);
    // One node per resource of the type (id -1: every one, in id order; else
    // the one of that id), holding the resource's bytes. A node is named after
    // its resource, or else after the plugin file without its extension and
    // the id; repeated names get " 2", " 3".
    static std::vector<std::shared_ptr<PluginItemFile>> createWithResourceFork(
        const OldFormatResources& resources, const QString& type, int id,
        const platform::FolderItemPtr& file);

    bool isStored() const { return mStored; }
    QByteArray rawData() const { return mRawData; }
    // The node then holds its bytes in memory, also when there are none.
    void setRawData(const QByteArray& value) {
        mRawData = value;
        mHoldsBytes = true;
    }
    bool holdsBytes() const { return mHoldsBytes; }
    // The link as recorded; set directly, unlike setDataSource.
    QString urlData() const { return mData; }
    void setUrlData(const QString& value) { mData = value; }

    // A name and contents: a linked file that exists, or bytes in memory.
    bool isValid() const override;
    int count() const override;
    // Writes the file into the destination folder; false when nothing
    // complete could be written (the folder reports it).
    bool store(const platform::FolderItemPtr& destination) override;
    // The linked file, looked up anew on every call; nil when it is gone.
    platform::FolderItemPtr dataSource() const override;
    // Links to an existing file (not a folder); a node without a name takes
    // the file's name.
    void setDataSource(const platform::FolderItemPtr& value) override;
    platform::PicturePtr icon() const override;

protected:
    PluginItemFile() = default;

    // The file's "pluginitem" element in a project file: its bytes in Base64
    // ("raw") or its link ("url"), and its reading.
    void storeXml(const platform::XmlNodePtr& parent) override;
    void loadXml(const platform::XmlNodePtr& node) override;

    virtual void _createWithFolderitem(const platform::FolderItemPtr& source, bool stored);
    virtual bool _isFolderitemValid(const platform::FolderItemPtr& source) const;
    virtual void _createWithBundle(const platform::FolderItemPtr& bundle);

    QString mData;
    bool mStored = false;
    QByteArray mRawData;
    // An empty file is still a file: a node may hold zero bytes, and must then
    // be kept and written like any other (else a round trip would lose it).
    bool mHoldsBytes = false;

private:
    friend class PluginItemFolder;
    // Constructor(entry, false) for an entry just listed as no folder: links
    // it without asking the disk again, since add() checks the link anyway.
    static std::shared_ptr<PluginItemFile> linkListedEntry(const platform::FolderItemPtr& entry);
    // mData = the entry's URL path, its resolution remembered.
    void link(const platform::FolderItemPtr& entry);

    // The entry mData last resolved to, so repeated lookups of the same link
    // skip decoding the URL and cost one stat.
    mutable QString mResolvedData;
    mutable platform::FolderItemPtr mResolved;
};

}  // namespace zpc::model
