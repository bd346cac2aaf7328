#include "platform/VolumeStore.h"

#include "platform/BinaryStream.h"
#include "platform/DiskFolderItem.h"
#include "platform/SaveTemporary.h"
#include "platform/VolumeStreams.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

namespace zpc::platform {

namespace {

constexpr qint64 kDirMode = S_IFDIR | 0755;
constexpr qint64 kFileMode = S_IFREG | 0644;
// Longer names could not be unpacked on disk anyway; the cap also bounds the depth.
constexpr int kMaxNameBytes = 4096;
// Files up to this size are read with one query; larger ones through a blob handle.
constexpr qint64 kSmallFile = 1 << 20;
// Deflate cannot shrink data by much more than 1032 to 1.
constexpr qint64 kMaxInflateRatio = 1040;

QString fold(const QString& name) {
    return name.toCaseFolded();
}

QByteArray sqliteUri(const QByteArray& path, const char* query) {
    QByteArray uri = "file:" + encodeUrlPath(path).toLatin1();
    if (query) uri += query;
    return uri;
}

bool exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Inflates a zlib stream that must give exactly size bytes. The output grows
// as data arrives, so a row that claims a large size but does not inflate
// costs little.
bool inflateExactly(const char* in, qint64 inLength, qint64 size, QByteArray& out) {
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) return false;
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in));
    zs.avail_in = uInt(inLength);
    out.resize(std::min(size, std::max<qint64>(inLength * 4, 64 * 1024)));
    int rc = Z_OK;
    while (rc == Z_OK) {
        if (qint64(zs.total_out) == qint64(out.size())) {
            if (out.size() == size) break;
            out.resize(std::min(size, qint64(out.size()) * 2));
        }
        zs.next_out = reinterpret_cast<Bytef*>(out.data()) + zs.total_out;
        zs.avail_out = uInt(out.size() - qint64(zs.total_out));
        rc = inflate(&zs, Z_NO_FLUSH);
    }
    if (rc == Z_OK) {
        // All size bytes are out: the stream must end here, with nothing more.
        char extra = 0;
        zs.next_out = reinterpret_cast<Bytef*>(&extra);
        zs.avail_out = 1;
        rc = inflate(&zs, Z_NO_FLUSH);
        if (zs.avail_out == 0) rc = Z_DATA_ERROR;
    }
    const bool ok = rc == Z_STREAM_END && qint64(zs.total_out) == size;
    inflateEnd(&zs);
    if (!ok) out.clear();
    return ok;
}

}  // namespace

std::shared_ptr<VolumeStore> VolumeStore::create(const QByteArray& targetPath) {
    const int slash = targetPath.lastIndexOf('/');
    if (slash < 0 || slash == targetPath.size() - 1) return nullptr;
    const QByteArray folder = slash == 0 ? QByteArray("/") : targetPath.left(slash);
    const QByteArray name = targetPath.mid(slash + 1);
    const SaveTemporary temporary = createSaveTemporary(folder, name);
    if (temporary.fd < 0) return nullptr;

    std::shared_ptr<VolumeStore> s(new VolumeStore());
    s->mPath = targetPath;
    s->mLockFd = temporary.fd;
    s->mTempPath = temporary.path;
    s->mMode = Mode::Writing;  // from here on the destructor removes the file

    if (sqlite3_open_v2(sqliteUri(s->mTempPath, nullptr).constData(), &s->mDb,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_URI, nullptr) != SQLITE_OK)
        return nullptr;
    // The file is renamed into place only when complete, so a rollback journal
    // buys nothing; durability comes from the fsync before the rename.
    if (!exec(s->mDb,
              "PRAGMA page_size=65536; PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;"
              "PRAGMA locking_mode=EXCLUSIVE; PRAGMA cache_size=-16384; BEGIN;"
              "CREATE TABLE sqlar(name TEXT PRIMARY KEY, mode INT, mtime INT, sz INT, data BLOB);"))
        return nullptr;
    if (sqlite3_prepare_v3(s->mDb,
                           "REPLACE INTO sqlar(name, mode, mtime, sz, data) "
                           "VALUES(?1, ?2, ?3, ?4, ?5)",
                           -1, SQLITE_PREPARE_PERSISTENT, &s->mInsert, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v3(s->mDb, "SELECT data FROM sqlar WHERE rowid = ?1", -1,
                           SQLITE_PREPARE_PERSISTENT, &s->mSelectData, nullptr) != SQLITE_OK)
        return nullptr;
    s->mMtime = qint64(::time(nullptr));
    s->addNode(-1, QString(), true);
    return s;
}

std::shared_ptr<VolumeStore> VolumeStore::open(const QByteArray& path) {
    // Anything without the database header is turned away before SQLite sees it.
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return nullptr;
    struct stat st {};
    char header[16] = {};
    const bool looksRight = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                            ::read(fd, header, sizeof header) == sizeof header &&
                            std::memcmp(header, "SQLite format 3", 16) == 0;
    ::close(fd);
    if (!looksRight) return nullptr;

    std::shared_ptr<VolumeStore> s(new VolumeStore());
    s->mPath = path;
    s->mMode = Mode::Reading;
    // Nobody writes a package in place (saves rename a new file over it), so
    // it is read without locks.
    if (sqlite3_open_v2(sqliteUri(path, "?mode=ro&immutable=1").constData(), &s->mDb,
                        SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) != SQLITE_OK)
        return nullptr;
    if (!s->loadTree()) return nullptr;
    return s;
}

bool VolumeStore::loadTree() {
    // The file comes from anywhere: its schema gets no say.
    sqlite3_db_config(mDb, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    exec(mDb, "PRAGMA trusted_schema=OFF");

    sqlite3_stmt* st = nullptr;
    bool isTable = false;
    if (sqlite3_prepare_v2(mDb,
                           "SELECT type FROM sqlite_master WHERE name = 'sqlar' COLLATE NOCASE", -1,
                           &st, nullptr) != SQLITE_OK)
        return false;
    while (sqlite3_step(st) == SQLITE_ROW)
        isTable = isTable ||
                  qstrcmp(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "table") == 0;
    sqlite3_finalize(st);
    if (!isTable) return false;

    int columns = 0;
    if (sqlite3_prepare_v2(mDb, "SELECT lower(name) FROM pragma_table_info('sqlar')", -1, &st,
                           nullptr) != SQLITE_OK)
        return false;
    while (sqlite3_step(st) == SQLITE_ROW) {
        const char* c = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        for (const char* want : {"name", "mode", "mtime", "sz", "data"})
            if (qstrcmp(c, want) == 0) ++columns;
    }
    sqlite3_finalize(st);
    if (columns != 5) return false;

    struct Row {
        qint64 rowid, mode, sz, length;
        int type;
        QByteArray name;
    };
    std::vector<Row> rows;
    // length() and typeof() alone leave the data unread: the listing costs no
    // more than the rows' headers.
    if (sqlite3_prepare_v2(mDb,
                           "SELECT rowid, name, mode, sz, length(data), typeof(data) FROM sqlar",
                           -1, &st, nullptr) != SQLITE_OK)
        return false;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        Row r;
        r.rowid = sqlite3_column_int64(st, 0);
        const char* name = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
        r.name = QByteArray(name ? name : "", sqlite3_column_bytes(st, 1));
        r.mode = sqlite3_column_int64(st, 2);
        r.sz = sqlite3_column_int64(st, 3);
        r.length = sqlite3_column_int64(st, 4);
        const char* type = reinterpret_cast<const char*>(sqlite3_column_text(st, 5));
        r.type = qstrcmp(type, "blob") == 0   ? SQLITE_BLOB
                 : qstrcmp(type, "null") == 0 ? SQLITE_NULL
                                              : SQLITE_TEXT;
        rows.push_back(std::move(r));
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) return false;
    if (sqlite3_prepare_v3(mDb, "SELECT data FROM sqlar WHERE rowid = ?1", -1,
                           SQLITE_PREPARE_PERSISTENT, &mSelectData, nullptr) != SQLITE_OK)
        return false;

    // A fixed order, so that of two names differing only in case the same one
    // is kept every time; a folder also comes before its entries.
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        const int c = std::memcmp(a.name.constData(), b.name.constData(),
                                  size_t(std::min(a.name.size(), b.name.size())));
        if (c != 0) return c < 0;
        if (a.name.size() != b.name.size()) return a.name.size() < b.name.size();
        return a.rowid < b.rowid;
    });

    addNode(-1, QString(), true);
    QStringList parts;
    for (const Row& r : rows) {
        const qint64 kind = r.mode & S_IFMT;
        const bool dir = kind == S_IFDIR;
        if (!dir && kind != S_IFREG && kind != 0) continue;  // links and devices
        if (r.name.isEmpty() || r.name.size() > kMaxNameBytes) {
            ++mDropped;
            continue;
        }
        if (!dir) {
            const bool storedAsIs = r.type == SQLITE_BLOB && r.length == r.sz;
            const bool emptyWithoutData = r.type == SQLITE_NULL && r.sz == 0;
            const bool compressed = r.type == SQLITE_BLOB && r.length > 0 && r.length < r.sz &&
                                    r.sz <= r.length * kMaxInflateRatio + 4096;
            if (r.sz < 0 || r.sz > kMaxFileSize ||
                !(storedAsIs || emptyWithoutData || compressed)) {
                ++mDropped;
                continue;
            }
        }
        parts = QString::fromUtf8(r.name).split(QLatin1Char('/'));
        if (!std::all_of(parts.begin(), parts.end(), isValidEntryName)) {
            ++mDropped;
            continue;
        }

        // Walk the folders that exist; a file on the way refuses the row.
        int cur = 0, depth = 0;
        bool refused = false;
        for (; depth < parts.size(); ++depth) {
            const int next = mNodes[size_t(cur)].byFold.value(fold(parts[depth]), -1);
            if (next < 0) break;
            // The name is taken (perhaps in another case), or a file is in the way.
            if (depth == parts.size() - 1 || !mNodes[size_t(next)].dir) {
                refused = true;
                // A folder named twice is one folder; anything else loses a file.
                if (!(dir && mNodes[size_t(next)].dir)) ++mDropped;
                break;
            }
            cur = next;
        }
        if (refused) continue;
        // Folders named only by their entries are made as if they had rows.
        for (; depth < parts.size() - 1; ++depth) cur = addNode(cur, parts[depth], true);
        const int leaf = addNode(cur, parts.last(), dir);
        if (!dir) {
            Node& n = mNodes[size_t(leaf)];
            n.rowid = r.rowid;
            n.size = r.sz;
            n.stored = r.type == SQLITE_NULL ? 0 : r.length;
        }
    }
    return true;
}

VolumeStore::~VolumeStore() {
    if (mMode == Mode::Writing) discard();
    closeDatabase();
}

void VolumeStore::closeDatabase() {
    sqlite3_finalize(mInsert);
    sqlite3_finalize(mSelectData);
    mInsert = mSelectData = nullptr;
    if (mDb) sqlite3_close_v2(mDb);
    mDb = nullptr;
}

sqlite3* VolumeStore::db() {
    // After Flush the package is read back from its final place.
    if (mMode == Mode::Flushed && !mDb) {
        if (sqlite3_open_v2(sqliteUri(mPath, "?mode=ro&immutable=1").constData(), &mDb,
                            SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) != SQLITE_OK ||
            sqlite3_prepare_v3(mDb, "SELECT data FROM sqlar WHERE rowid = ?1", -1,
                               SQLITE_PREPARE_PERSISTENT, &mSelectData, nullptr) != SQLITE_OK) {
            closeDatabase();
            mMode = Mode::Closed;
        }
    }
    return mMode == Mode::Closed ? nullptr : mDb;
}

int VolumeStore::addNode(int parent, const QString& name, bool dir) {
    const int index = int(mNodes.size());
    Node n;
    n.name = name;
    n.fold = fold(name);
    n.parent = parent;
    n.dir = dir;
    mNodes.push_back(std::move(n));
    if (parent >= 0) {
        Node& p = mNodes[size_t(parent)];
        p.children.push_back(index);
        p.byFold.insert(mNodes[size_t(index)].fold, index);
        p.sorted = false;
    }
    return index;
}

bool VolumeStore::alive(int index) const {
    return mMode != Mode::Closed && index >= 0 && index < int(mNodes.size()) &&
           mNodes[size_t(index)].alive;
}

int VolumeStore::find(const QStringList& path) const {
    if (mMode == Mode::Closed || mNodes.empty()) return -1;
    int cur = 0;
    for (const QString& name : path) {
        if (!mNodes[size_t(cur)].dir) return -1;
        cur = mNodes[size_t(cur)].byFold.value(fold(name), -1);
        if (cur < 0) return -1;
    }
    return cur;
}

const std::vector<int>& VolumeStore::children(int folder) {
    Node& n = mNodes[size_t(folder)];
    if (!n.sorted) {
        // Case-insensitive with a byte tie-break, as disk folders are listed.
        std::sort(n.children.begin(), n.children.end(), [this](int a, int b) {
            const Node& x = mNodes[size_t(a)];
            const Node& y = mNodes[size_t(b)];
            const int c = x.fold.compare(y.fold);
            return c != 0 ? c < 0 : x.name.toUtf8() < y.name.toUtf8();
        });
        n.sorted = true;
    }
    return n.children;
}

QByteArray VolumeStore::rowName(int index) const {
    QByteArray out;
    for (int i = index; i > 0; i = mNodes[size_t(i)].parent) {
        const QByteArray part = mNodes[size_t(i)].name.toUtf8();
        out = out.isEmpty() ? part : part + '/' + out;
    }
    return out;
}

int VolumeStore::parentFolder(const QStringList& path, int& error) const {
    if (mMode != Mode::Writing) {
        error = EROFS;
        return -1;
    }
    const int parent = find(path.mid(0, path.size() - 1));
    if (parent < 0) {
        error = ENOENT;
        return -1;
    }
    if (!mNodes[size_t(parent)].dir) {
        error = ENOTDIR;
        return -1;
    }
    // The name as stored: the parent's names plus this one.
    if (rowName(parent).size() + 1 + path.last().toUtf8().size() > kMaxNameBytes) {
        error = ENAMETOOLONG;
        return -1;
    }
    error = 0;
    return parent;
}

int VolumeStore::createFolder(const QStringList& path) {
    if (path.isEmpty()) return mMode == Mode::Closed ? EIO : 0;
    if (mMode != Mode::Writing) {
        const int existing = find(path);
        return existing >= 0 && mNodes[size_t(existing)].dir ? 0 : EROFS;
    }
    int error = 0;
    const int parent = parentFolder(path, error);
    if (parent < 0) return error;
    const int existing = mNodes[size_t(parent)].byFold.value(fold(path.last()), -1);
    // A package holds one of two names that differ only in letter case: refuse
    // the second instead of merging it into the first.
    if (existing >= 0)
        return mNodes[size_t(existing)].dir && mNodes[size_t(existing)].name == path.last()
                   ? 0
                   : EEXIST;

    const QByteArray name = rowName(parent);
    const QByteArray full = (name.isEmpty() ? name : name + '/') + path.last().toUtf8();
    sqlite3_bind_text(mInsert, 1, full.constData(), int(full.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(mInsert, 2, kDirMode);
    sqlite3_bind_int64(mInsert, 3, mMtime);
    sqlite3_bind_int64(mInsert, 4, 0);
    sqlite3_bind_null(mInsert, 5);
    const int rc = sqlite3_step(mInsert);
    sqlite3_reset(mInsert);
    if (rc != SQLITE_DONE) {
        fail();
        return EIO;
    }
    const int node = addNode(parent, path.last(), true);
    mNodes[size_t(node)].rowid = sqlite3_last_insert_rowid(mDb);
    return 0;
}

std::unique_ptr<BinaryStream> VolumeStore::openForWriting(const QStringList& path, bool replace,
                                                          int& error) {
    if (path.isEmpty()) {
        error = mMode == Mode::Writing ? EISDIR : EROFS;
        return nullptr;
    }
    const int parent = parentFolder(path, error);
    if (parent < 0) return nullptr;
    int node = mNodes[size_t(parent)].byFold.value(fold(path.last()), -1);
    if (node >= 0 && mNodes[size_t(node)].dir) {
        error = EISDIR;
        return nullptr;
    }
    if (node >= 0 && (!replace || mNodes[size_t(node)].name != path.last())) {
        // Replacing a file of another letter case would lose one of the two.
        error = EEXIST;
        return nullptr;
    }
    // A replaced file's old row goes when the new one comes.
    if (node < 0) node = addNode(parent, path.last(), false);
    error = 0;
    return std::make_unique<VolumeWriteStream>(shared_from_this(), node);
}

std::unique_ptr<BinaryStream> VolumeStore::openForReading(int index) {
    if (!alive(index)) return nullptr;
    const Node& n = mNodes[size_t(index)];
    if (n.dir || n.rowid == 0 || !db()) return nullptr;
    if (n.stored == n.size && n.size > kSmallFile)
        return VolumeBlobReadStream::open(shared_from_this(), n.rowid, n.size);

    sqlite3_bind_int64(mSelectData, 1, n.rowid);
    QByteArray data;
    bool ok = sqlite3_step(mSelectData) == SQLITE_ROW;
    if (ok) {
        const qint64 length = sqlite3_column_bytes(mSelectData, 0);
        ok = length == n.stored;
        if (ok && n.stored == n.size)
            data =
                QByteArray(static_cast<const char*>(sqlite3_column_blob(mSelectData, 0)), length);
        else if (ok)
            ok = inflateExactly(static_cast<const char*>(sqlite3_column_blob(mSelectData, 0)),
                                length, n.size, data);
    }
    sqlite3_reset(mSelectData);
    if (!ok) {
        mUnreadable.insert(index);
        return nullptr;
    }
    return BinaryStream::onBytes(std::move(data));
}

sqlite3_blob* VolumeStore::openBlob(qint64 rowid, bool write) {
    sqlite3* handle = db();
    if (!handle || (write && mMode != Mode::Writing)) return nullptr;
    sqlite3_blob* blob = nullptr;
    if (sqlite3_blob_open(handle, "main", "sqlar", "data", rowid, write ? 1 : 0, &blob) !=
        SQLITE_OK) {
        sqlite3_blob_close(blob);
        return nullptr;
    }
    return blob;
}

qint64 VolumeStore::insertFile(int index, const char* data, qint64 size) {
    if (mMode != Mode::Writing || !alive(index)) return 0;
    const QByteArray name = rowName(index);
    sqlite3_bind_text(mInsert, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(mInsert, 2, kFileMode);
    sqlite3_bind_int64(mInsert, 3, mMtime);
    sqlite3_bind_int64(mInsert, 4, size);
    if (data && size > 0)
        sqlite3_bind_blob64(mInsert, 5, data, sqlite3_uint64(size), SQLITE_STATIC);
    else
        sqlite3_bind_zeroblob64(mInsert, 5, sqlite3_uint64(size));
    const int rc = sqlite3_step(mInsert);
    sqlite3_reset(mInsert);
    sqlite3_clear_bindings(mInsert);
    if (rc != SQLITE_DONE) {
        fail();
        return 0;
    }
    return sqlite3_last_insert_rowid(mDb);
}

void VolumeStore::deleteRow(qint64 rowid) {
    if (mMode != Mode::Writing) return;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(mDb, "DELETE FROM sqlar WHERE rowid = ?1", -1, &st, nullptr) !=
        SQLITE_OK) {
        fail();
        return;
    }
    sqlite3_bind_int64(st, 1, rowid);
    if (sqlite3_step(st) != SQLITE_DONE) fail();
    sqlite3_finalize(st);
}

void VolumeStore::fileWritten(int index, qint64 rowid, qint64 size) {
    if (!alive(index)) return;
    Node& n = mNodes[size_t(index)];
    n.rowid = rowid;
    n.size = n.stored = size;
}

void VolumeStore::dropFile(int index) {
    if (mMode != Mode::Writing || !alive(index) || index == 0) return;
    sqlite3_stmt* st = nullptr;
    const QByteArray name = rowName(index);
    if (sqlite3_prepare_v2(mDb, "DELETE FROM sqlar WHERE name = ?1", -1, &st, nullptr) !=
        SQLITE_OK) {
        fail();
        return;
    }
    sqlite3_bind_text(st, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(st) != SQLITE_DONE) fail();
    sqlite3_finalize(st);
    Node& n = mNodes[size_t(index)];
    n.alive = false;
    Node& p = mNodes[size_t(n.parent)];
    p.byFold.remove(n.fold);
    p.children.erase(std::find(p.children.begin(), p.children.end(), index));
}

qint64 VolumeStore::maxFileSize() const {
    // Room for the rest of the row within SQLite's size limit.
    const qint64 limit = mDb ? qint64(sqlite3_limit(mDb, SQLITE_LIMIT_LENGTH, -1)) - 65536 : 0;
    return std::min(kMaxFileSize, limit);
}

bool VolumeStore::flush() {
    if (mMode == Mode::Flushed) return true;
    if (mMode != Mode::Writing) return false;
    // Streams still open store what they were given, as closing them would.
    for (VolumeHandleUser* user : std::vector<VolumeHandleUser*>(mUsers.begin(), mUsers.end()))
        user->finish();
    if (mFailed || !exec(mDb, "COMMIT")) {
        discard();
        return false;
    }
    closeDatabase();
    // A replaced package keeps its permissions.
    struct stat previous {};
    if (::stat(mPath.constData(), &previous) == 0 && S_ISREG(previous.st_mode))
        ::fchmod(mLockFd, previous.st_mode & 07777);
    if (::fsync(mLockFd) != 0 || ::rename(mTempPath.constData(), mPath.constData()) != 0) {
        discard();
        return false;
    }
    const int slash = mPath.lastIndexOf('/');
    const int dirFd =
        ::open(slash > 0 ? mPath.left(slash).constData() : "/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    ::close(mLockFd);
    mLockFd = -1;
    mTempPath.clear();
    mMode = Mode::Flushed;
    return true;
}

void VolumeStore::discard() {
    if (mMode != Mode::Writing) return;
    for (VolumeHandleUser* user : std::vector<VolumeHandleUser*>(mUsers.begin(), mUsers.end()))
        user->detach();
    closeDatabase();
    if (!mTempPath.isEmpty()) ::unlink(mTempPath.constData());
    mTempPath.clear();
    if (mLockFd >= 0) ::close(mLockFd);
    mLockFd = -1;
    mMode = Mode::Closed;
}

}  // namespace zpc::platform
