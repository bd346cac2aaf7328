#pragma once

#include <QString>
#include <memory>

namespace zpc::platform {

class BinaryStream;
class FolderItem;
class Picture;
class VirtualVolume;
using FolderItemPtr = std::shared_ptr<FolderItem>;
using PicturePtr = std::shared_ptr<Picture>;

// A handle to a file or folder, on disk or inside a package volume. A handle
// names an entry whether or not it exists. Directory entries are counted from 1.
class FolderItem : public std::enable_shared_from_this<FolderItem> {
public:
    virtual ~FolderItem();

    virtual QString Name() const = 0;
    virtual FolderItemPtr Parent() const = 0;
    // The entry of that name inside this folder, existing or not. A name that
    // cannot be an entry ("", ".", "..", or holding "/") gives an entry that
    // never exists and cannot be created.
    virtual FolderItemPtr Child(const QString& name) const = 0;

    // Entries of a folder, sorted by name with letter case ignored (ties by
    // exact bytes) so every run gives the same order. Count() takes a fresh
    // listing; Item and TrueItem read the latest one. Out of range gives nil.
    virtual int Count() const = 0;
    virtual FolderItemPtr Item(int index) const = 0;
    // Like Item, but a link is the link itself and is never followed.
    virtual FolderItemPtr TrueItem(int index) const = 0;

    virtual bool Directory() const = 0;
    virtual bool Exists() const = 0;
    // Exists and is not a folder, in one look at the disk.
    virtual bool IsFile() const;
    virtual bool Visible() const;
    virtual bool Locked() const;
    virtual bool IsSymbolicLink() const;
    virtual qint64 Length() const = 0;

    virtual QString NativePath() const = 0;
    // One single-quoted shell word, safe for every character.
    virtual QString ShellPath() const;
    // A percent-encoded file URL; GetFolderItem turns it back into an entry.
    virtual QString URLPath() const = 0;
    // What GetFolderItem(URLPath()) gives, without the round trip: the same
    // path, links followed.
    virtual FolderItemPtr Resolved() const;

    // Sets LastErrorCode: 0 on success (an existing folder counts as success).
    virtual void CreateAsFolder() = 0;
    // Removes the entry itself (a file, a link, or an empty folder); true
    // when it is gone. Sets LastErrorCode.
    virtual bool Delete();
    int LastErrorCode() const { return mLastErrorCode; }

    // Four-character Mac codes; empty where the file system keeps none.
    virtual QString MacType() const;
    virtual QString MacCreator() const;
    virtual void setMacType(const QString& code);
    virtual void setMacCreator(const QString& code);

    // Streams on the entry; nil when it cannot be opened or created.
    virtual std::unique_ptr<BinaryStream> openForReading() const = 0;
    virtual std::unique_ptr<BinaryStream> openForWriting(bool replace) = 0;

    // True when both handles reach the same stored file (same device and node
    // on disk), so a copy would read what it writes.
    virtual bool sameFileAs(const FolderItem& other) const;
    // A key two handles share exactly when sameFileAs holds between them;
    // empty when the entry does not exist or is no file on disk.
    virtual QByteArray fileIdentity() const;

    // A new package volume to be stored in this file (see VirtualVolume), or
    // nil when it cannot be made here. Entries inside a volume answer nil.
    virtual std::shared_ptr<VirtualVolume> CreateVirtualVolume();
    // The package volume kept in this file, read-only; nil when the file is
    // not a package.
    virtual std::shared_ptr<VirtualVolume> OpenAsVirtualVolume() const;

    PicturePtr OpenAsPicture() const;
    // Hands the entry to the desktop (through the UI services).
    bool Launch(bool activate = true) const;

protected:
    mutable int mLastErrorCode = 0;
};

// Shell quoting of one word: 'it'\''s' style.
QString shellQuote(const QString& word);

// The entry named by a URL path (file://...), or a plain absolute path.
// Raises UnsupportedFormatException for text that is neither.
FolderItemPtr GetFolderItem(const QString& urlPath);

// An entry on disk for an absolute or relative native path.
FolderItemPtr folderItemForPath(const QString& nativePath);

// True when a name can name an entry inside a folder.
bool isValidEntryName(const QString& name);

}  // namespace zpc::platform
