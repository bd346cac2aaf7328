#include "KvxRecipe.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>
#include <algorithm>
#include <cstring>

namespace zpc::fuzz {

namespace {

// Reads past the end give zeros and empty byte runs, so every input decodes.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : mData(data), mSize(size) {}
    quint64 number(int bytes) {
        quint64 v = 0;
        for (int i = 0; i < bytes; ++i) v = (v << 8) | (mAt < mSize ? mData[mAt++] : 0);
        return v;
    }
    QByteArray run(size_t length) {
        const size_t take = std::min(length, mSize - mAt);
        QByteArray out(reinterpret_cast<const char*>(mData + mAt), qsizetype(take));
        mAt += take;
        return out;
    }

private:
    const uint8_t* mData;
    size_t mSize;
    size_t mAt = 0;
};

class Writer {
public:
    void number(quint64 v, int bytes) {
        for (int i = bytes - 1; i >= 0; --i) mOut.append(char(v >> (8 * i)));
    }
    void run(const QByteArray& b) { mOut += b; }
    QByteArray mOut;
};

template <class E>
E pick(quint64 v) {
    return E(v % quint64(E::Count));
}

bool takesExtraSize(KvxRecipe::Size s) {
    return s == KvxRecipe::Size::Explicit || s == KvxRecipe::Size::Off;
}
bool isSynthesized(KvxRecipe::Data d) {
    return d == KvxRecipe::Data::Zeros || d == KvxRecipe::Data::Repeated;
}

QByteArray deflated(const QByteArray& bytes) {
    uLongf length = compressBound(uLong(bytes.size()));
    QByteArray out(qsizetype(length), Qt::Uninitialized);
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &length,
                  reinterpret_cast<const Bytef*>(bytes.constData()), uLong(bytes.size()),
                  Z_BEST_SPEED) != Z_OK)
        return {};
    out.resize(qsizetype(length));
    return out;
}

struct SchemaSql {
    const char* create;
    const char* insert;
};

SchemaSql schemaSql(KvxRecipe::Schema s) {
    static const char* kStandard =
        "CREATE TABLE sqlar(name TEXT PRIMARY KEY, mode INT, mtime INT, sz INT, data BLOB);";
    static const char* kInsert =
        "INSERT OR IGNORE INTO sqlar(name, mode, mtime, sz, data) VALUES(?1, ?2, ?3, ?4, ?5)";
    switch (s) {
        case KvxRecipe::Schema::Untyped:
            return {"CREATE TABLE sqlar(name, mode, mtime, sz, data);", kInsert};
        case KvxRecipe::Schema::WithoutRowid:
            return {
                "CREATE TABLE sqlar(name TEXT PRIMARY KEY, mode INT, mtime INT, sz INT, "
                "data BLOB) WITHOUT ROWID;",
                kInsert};
        case KvxRecipe::Schema::OtherCase:
            return {
                "CREATE TABLE SQLAR(NAME TEXT PRIMARY KEY, MODE INT, MTIME INT, SZ INT, "
                "DATA BLOB, EXTRA);",
                kInsert};
        case KvxRecipe::Schema::View:
            return {
                "CREATE TABLE t(name TEXT PRIMARY KEY, mode INT, mtime INT, sz INT, data BLOB);"
                "CREATE VIEW sqlar AS SELECT * FROM t;",
                "INSERT OR IGNORE INTO t(name, mode, mtime, sz, data) "
                "VALUES(?1, ?2, ?3, ?4, ?5)"};
        case KvxRecipe::Schema::MissingColumn:
            return {"CREATE TABLE sqlar(name TEXT PRIMARY KEY, mode INT, sz INT, data BLOB);",
                    "INSERT OR IGNORE INTO sqlar(name, mode, sz, data) VALUES(?1, ?2, ?4, ?5)"};
        case KvxRecipe::Schema::Indexed:
            return {
                "CREATE TABLE sqlar(name TEXT PRIMARY KEY, mode INT, mtime INT, sz INT, "
                "data BLOB); CREATE INDEX sqlar_sz ON sqlar(sz);",
                kInsert};
        default:
            return {kStandard, kInsert};
    }
}

bool bindRow(sqlite3_stmt* st, const KvxRecipe::Row& row) {
    using R = KvxRecipe;
    switch (row.nameAs) {
        case R::Name::Blob:
            sqlite3_bind_blob(st, 1, row.name.constData(), int(row.name.size()), SQLITE_TRANSIENT);
            break;
        case R::Name::Null:
            sqlite3_bind_null(st, 1);
            break;
        default:
            sqlite3_bind_text(st, 1, row.name.constData(), int(row.name.size()), SQLITE_TRANSIENT);
    }
    static const qint64 kModes[] = {S_IFREG | 0644, S_IFDIR | 0755, S_IFLNK | 0777, 0};
    sqlite3_bind_int64(st, 2, row.mode == R::Mode::Other ? row.otherMode : kModes[int(row.mode)]);
    sqlite3_bind_int64(st, 3, 1700000000);

    qint64 exact = row.content.size();
    switch (row.data) {
        case R::Data::Bytes:
            sqlite3_bind_blob(st, 5, row.content.constData(), int(row.content.size()),
                              SQLITE_TRANSIENT);
            break;
        case R::Data::Compressed: {
            const QByteArray packed = deflated(row.content);
            sqlite3_bind_blob(st, 5, packed.constData(), int(packed.size()), SQLITE_TRANSIENT);
            break;
        }
        case R::Data::Null:
            exact = 0;
            sqlite3_bind_null(st, 5);
            break;
        case R::Data::Text:
            sqlite3_bind_text(st, 5, row.content.constData(), int(row.content.size()),
                              SQLITE_TRANSIENT);
            break;
        case R::Data::Zeros:
            exact = row.length;
            sqlite3_bind_zeroblob64(st, 5, row.length);
            break;
        case R::Data::Repeated: {
            exact = row.length;
            const char fill = row.content.isEmpty() ? '\0' : row.content[0];
            const QByteArray packed = deflated(QByteArray(qsizetype(row.length), fill));
            sqlite3_bind_blob(st, 5, packed.constData(), int(packed.size()), SQLITE_TRANSIENT);
            break;
        }
        default: {
            qint64 v = 0;
            std::memcpy(&v, row.content.constData(),
                        size_t(std::min<qsizetype>(8, row.content.size())));
            sqlite3_bind_int64(st, 5, v);
        }
    }
    const qint64 sz = row.size == R::Size::Explicit ? row.sz
                      : row.size == R::Size::Off    ? qint64(quint64(exact) + quint64(row.sz))
                                                    : exact;
    sqlite3_bind_int64(st, 4, sz);
    const int rc = sqlite3_step(st);
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    return rc == SQLITE_DONE;
}

}  // namespace

QByteArray KvxRecipe::encode() const {
    Writer w;
    w.number(quint64(schema), 1);
    w.number(quint64(pageSizeLog2 - 9), 1);
    w.number(rows.size(), 1);
    for (const Row& r : rows) {
        w.number(quint64(r.mode) | quint64(r.data) << 4, 1);
        w.number(quint64(r.nameAs) + 3 * quint64(r.size), 1);
        w.number(quint64(r.name.size()), 2);
        w.run(r.name);
        if (r.mode == Mode::Other) w.number(quint64(r.otherMode), 8);
        if (takesExtraSize(r.size)) w.number(quint64(r.sz), 8);
        if (isSynthesized(r.data)) w.number(r.length, 4);
        w.number(quint64(r.content.size()), 2);
        w.run(r.content);
    }
    w.number(patches.size(), 1);
    for (const Patch& p : patches) {
        w.number(p.offset, 4);
        w.number(p.value, 1);
    }
    return w.mOut;
}

KvxRecipe KvxRecipe::decode(const uint8_t* data, size_t size) {
    Reader in(data, size);
    KvxRecipe r;
    r.schema = pick<Schema>(in.number(1));
    r.pageSizeLog2 = quint8(9 + in.number(1) % 8);
    const int rows = int(in.number(1) % (kMaxRows + 1));
    qint64 budget = kMaxSynthesized;
    for (int i = 0; i < rows; ++i) {
        Row row;
        const quint64 kinds = in.number(1), more = in.number(1);
        row.mode = pick<Mode>(kinds & 15);
        row.data = pick<Data>(kinds >> 4);
        row.nameAs = pick<Name>(more % 3);
        row.size = pick<Size>(more / 3);
        row.name = in.run(in.number(2));
        if (row.mode == Mode::Other) row.otherMode = qint64(in.number(8));
        if (takesExtraSize(row.size)) row.sz = qint64(in.number(8));
        if (isSynthesized(row.data)) {
            row.length = quint32(std::min<qint64>(qint64(in.number(4)), budget));
            budget -= row.length;
        }
        row.content = in.run(in.number(2));
        r.rows.push_back(std::move(row));
    }
    const int patches = int(in.number(1));
    for (int i = 0; i < patches; ++i) {
        Patch p;
        p.offset = quint32(in.number(4));
        p.value = quint8(in.number(1));
        r.patches.push_back(p);
    }
    return r;
}

bool KvxRecipe::build(const QByteArray& path) const {
    ::unlink(path.constData());
    sqlite3* db = nullptr;
    bool ok = sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                              nullptr) == SQLITE_OK;
    const SchemaSql sql = schemaSql(schema);
    const QByteArray setup = "PRAGMA page_size=" + QByteArray::number(1 << pageSizeLog2) +
                             "; PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN;" +
                             sql.create;
    ok = ok && sqlite3_exec(db, setup.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_stmt* insert = nullptr;
    ok = ok && sqlite3_prepare_v2(db, sql.insert, -1, &insert, nullptr) == SQLITE_OK;
    for (const Row& row : rows) {
        if (!ok) break;
        // A row SQLite turns down (a name it will not take twice) is simply absent.
        bindRow(insert, row);
    }
    sqlite3_finalize(insert);
    ok = ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close_v2(db);
    if (!ok) {
        ::unlink(path.constData());
        return false;
    }
    if (patches.empty()) return true;
    const int fd = ::open(path.constData(), O_RDWR | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_size == 0) {
        if (fd >= 0) ::close(fd);
        ::unlink(path.constData());
        return false;
    }
    for (const Patch& p : patches) {
        const char value = char(p.value);
        if (::pwrite(fd, &value, 1, off_t(p.offset % quint64(st.st_size))) != 1) ok = false;
    }
    ::close(fd);
    return ok;
}

}  // namespace zpc::fuzz
