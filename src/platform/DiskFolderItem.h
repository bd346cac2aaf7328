#pragma once

#include "platform/FolderItem.h"

#include <QByteArray>
#include <sys/stat.h>
#include <vector>

namespace zpc::platform {

class DiskFolderItem final : public FolderItem {
public:
    // The path is made absolute and clean. noFollow: the entry is a link's own
    // entry (TrueItem) and its tests never look through the link.
    explicit DiskFolderItem(const QString& path, bool noFollow = false);
    // From the path's bytes as the file system holds them (names need not be UTF-8).
    static std::shared_ptr<DiskFolderItem> fromBytes(const QByteArray& path, bool noFollow = false);
    // An entry that can never exist (a refused child name).
    static FolderItemPtr invalid(const QByteArray& parentPath, const QString& name);

    QString Name() const override;
    FolderItemPtr Parent() const override;
    FolderItemPtr Child(const QString& name) const override;
    int Count() const override;
    FolderItemPtr Item(int index) const override;
    FolderItemPtr TrueItem(int index) const override;
    bool Directory() const override;
    bool Exists() const override;
    bool IsFile() const override;
    bool Locked() const override;
    bool IsSymbolicLink() const override;
    qint64 Length() const override;
    QString NativePath() const override;
    QString URLPath() const override;
    FolderItemPtr Resolved() const override;
    void CreateAsFolder() override;
    bool Delete() override;
    QString MacType() const override;
    QString MacCreator() const override;
    void setMacType(const QString& code) override;
    void setMacCreator(const QString& code) override;
    std::unique_ptr<BinaryStream> openForReading() const override;
    std::unique_ptr<BinaryStream> openForWriting(bool replace) override;
    bool sameFileAs(const FolderItem& other) const override;
    QByteArray fileIdentity() const override;
    std::shared_ptr<VirtualVolume> CreateVirtualVolume() override;
    std::shared_ptr<VirtualVolume> OpenAsVirtualVolume() const override;

    QByteArray encodedPath() const { return mEncoded; }

private:
    struct Token {};

public:
    explicit DiskFolderItem(Token) {}

private:
    // This folder's path joined with a name from a listing or a valid child name.
    QByteArray childPath(const QByteArray& name) const;
    bool statEntry(struct ::stat& st) const;
    QString finderCode(int offset) const;
    void setFinderCode(int offset, const QString& code);

    mutable QString mPath;
    mutable QString mName;
    QByteArray mEncoded;
    bool mNoFollow = false;
    bool mInvalid = false;
    QString mInvalidName;
    mutable std::vector<QByteArray> mListing;  // names of the latest listing
    mutable bool mListed = false;
};

// Percent-encoding of a path for URLs (unreserved characters and "/" stay),
// after the prefix.
QString encodeUrlPath(const QByteArray& path, const char* prefix = "");
// Inverse of encodeUrlPath; false when the text holds a malformed escape.
bool decodeUrlPath(const QString& encoded, QByteArray& out);

}  // namespace zpc::platform
