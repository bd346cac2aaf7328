#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <memory>
#include <unordered_set>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;
struct sqlite3_blob;

namespace zpc::platform {

class BinaryStream;

// Holds SQLite handles of a store's connection and must let go of them
// before the connection closes.
class VolumeHandleUser {
public:
    // The package is being completed: a writer stores what it has.
    virtual void finish() = 0;
    // The package is being dropped: give up at once.
    virtual void detach() = 0;

protected:
    ~VolumeHandleUser() = default;
};

// The package file behind a VirtualVolume and its folder tree, kept in memory
// so listings cost no query. Entries are looked up ignoring letter case, as in
// the file systems packages come from; a folder never holds two names that
// differ only in case.
class VolumeStore : public std::enable_shared_from_this<VolumeStore> {
public:
    struct Node {
        QString name;
        QString fold;  // case-folded name
        int parent = -1;
        bool dir = false;
        bool alive = true;
        qint64 size = 0;    // a file's length
        qint64 stored = 0;  // bytes in its row: fewer than size when compressed
        qint64 rowid = 0;   // 0 while a file is still being written
        std::vector<int> children;
        QHash<QString, int> byFold;
        bool sorted = true;
    };

    // Largest file a package holds.
    static constexpr qint64 kMaxFileSize = qint64(1) << 30;

    static std::shared_ptr<VolumeStore> create(const QByteArray& targetPath);
    static std::shared_ptr<VolumeStore> open(const QByteArray& path);
    ~VolumeStore();
    VolumeStore(const VolumeStore&) = delete;
    VolumeStore& operator=(const VolumeStore&) = delete;

    bool writable() const { return mMode == Mode::Writing; }
    const QByteArray& packagePath() const { return mPath; }

    // The node at a path of entry names, or -1.
    int find(const QStringList& path) const;
    bool alive(int index) const;
    const Node& node(int index) const { return mNodes[size_t(index)]; }
    // A folder's children in the order disk listings use.
    const std::vector<int>& children(int folder);

    // errno-style results, 0 on success.
    int createFolder(const QStringList& path);
    std::unique_ptr<BinaryStream> openForWriting(const QStringList& path, bool replace, int& error);
    std::unique_ptr<BinaryStream> openForReading(int index);

    // Rows of the package that give no entry (damaged, or a name taken twice),
    // and files whose data could not be read so far.
    int droppedRows() const { return mDropped + int(mUnreadable.size()); }

    bool flush();
    // Drops everything written; the target is left as it was.
    void discard();

    // For the streams of this store.
    sqlite3_blob* openBlob(qint64 rowid, bool write);
    // Inserts a file's row with the bytes given, or with size zero bytes when
    // data is nil. Answers the rowid, 0 on failure.
    qint64 insertFile(int index, const char* data, qint64 size);
    void deleteRow(qint64 rowid);
    void fileWritten(int index, qint64 rowid, qint64 size);
    // A file that could not be stored: it leaves the tree (and the package).
    void dropFile(int index);
    // Something went wrong inside the database: the package must not be kept.
    void fail() { mFailed = true; }
    qint64 maxFileSize() const;
    void attach(VolumeHandleUser* user) { mUsers.insert(user); }
    void release(VolumeHandleUser* user) { mUsers.erase(user); }

private:
    enum class Mode { Writing, Flushed, Reading, Closed };

    VolumeStore() = default;
    bool loadTree();
    sqlite3* db();
    int addNode(int parent, const QString& name, bool dir);
    QByteArray rowName(int index) const;
    // The parent of the entry at path, or an errno-style code in error.
    int parentFolder(const QStringList& path, int& error) const;
    void closeDatabase();

    Mode mMode = Mode::Closed;
    QByteArray mPath;      // the package (or the target, while writing)
    QByteArray mTempPath;  // the file being written
    int mLockFd = -1;
    int mDropped = 0;
    std::unordered_set<int> mUnreadable;
    sqlite3* mDb = nullptr;
    sqlite3_stmt* mInsert = nullptr;
    sqlite3_stmt* mSelectData = nullptr;
    bool mFailed = false;
    qint64 mMtime = 0;
    std::vector<Node> mNodes;
    std::unordered_set<VolumeHandleUser*> mUsers;
};

}  // namespace zpc::platform
