#include "platform/VolumeStreams.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstdlib>

namespace zpc::platform {

namespace {

constexpr qint64 kChunk = 1 << 20;

bool writeAll(int fd, const char* data, qint64 count) {
    qint64 done = 0;
    while (done < count) {
        const ssize_t n = ::write(fd, data + done, size_t(count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += n;
    }
    return true;
}

}  // namespace

PendingBytes::~PendingBytes() {
    if (mFd >= 0) ::close(mFd);
}

bool PendingBytes::spill() {
    QByteArray path = QFile::encodeName(QDir::tempPath()) + "/zpc-spill-XXXXXX";
    const int fd = ::mkostemp(path.data(), O_CLOEXEC);
    if (fd < 0) return false;
    ::unlink(path.constData());
    if (!writeAll(fd, mMemory.constData(), mMemory.size())) {
        ::close(fd);
        return false;
    }
    mFd = fd;
    mMemory.resize(0);
    return true;
}

bool PendingBytes::append(const char* data, qint64 count) {
    if (count <= 0) return true;
    if (inMemory()) {
        if (mMemory.size() + count <= kMemoryLimit) {
            mMemory.append(data, count);
            mSize += count;
            return true;
        }
        if (!spill()) return false;
    }
    // On file: mMemory only gathers small writes into large ones.
    if (mMemory.size() + count > kMemoryLimit) {
        if (!writeAll(mFd, mMemory.constData(), mMemory.size())) return false;
        mMemory.resize(0);
    }
    if (count >= kMemoryLimit) {
        if (!writeAll(mFd, data, count)) return false;
    } else {
        mMemory.append(data, count);
    }
    mSize += count;
    return true;
}

bool PendingBytes::rewind() {
    if (!mMemory.isEmpty()) {
        if (!writeAll(mFd, mMemory.constData(), mMemory.size())) return false;
        mMemory.resize(0);
    }
    return ::lseek(mFd, 0, SEEK_SET) == 0;
}

bool PendingBytes::readChunk(QByteArray& chunk) {
    chunk.resize(kChunk);
    ssize_t n;
    do n = ::read(mFd, chunk.data(), size_t(kChunk));
    while (n < 0 && errno == EINTR);
    if (n < 0) return false;
    chunk.resize(n);
    return true;
}

VolumeWriteStream::VolumeWriteStream(std::shared_ptr<VolumeStore> store, int node)
    : mStore(std::move(store)), mNode(node) {
    mStore->attach(this);
}

VolumeWriteStream::~VolumeWriteStream() {
    Close();
}

void VolumeWriteStream::reserve(qint64 expectedSize) {
    if (mClosed || mError || mWritten > 0 || mReserved >= 0 || expectedSize < 0) return;
    if (expectedSize > mStore->maxFileSize()) {
        refuse();
        return;
    }
    // A small file is stored in one insert at Close.
    if (expectedSize <= PendingBytes::kMemoryLimit) return;
    mRowid = mStore->insertFile(mNode, nullptr, expectedSize);
    if (mRowid != 0) mBlob = mStore->openBlob(mRowid, true);
    if (!mBlob) {
        mStore->fail();
        mError = true;
        end();
        return;
    }
    mReserved = expectedSize;
    mStage.reserve(kChunk);
}

void VolumeWriteStream::Write(const char* data, qint64 count) {
    if (mClosed || mError || count <= 0) return;
    qint64 direct = 0;
    if (mReserved >= 0) {
        direct = std::clamp(mReserved - mWritten, qint64(0), count);
        for (qint64 done = 0; done < direct;) {
            const qint64 take = std::min(direct - done, kChunk - mStage.size());
            mStage.append(data + done, take);
            done += take;
            if (mStage.size() >= kChunk && !flushStage()) return;
        }
    }
    if (count > direct && !mPending.append(data + direct, count - direct)) {
        refuse();
        return;
    }
    mWritten += count;
    if (mWritten > mStore->maxFileSize()) refuse();
}

bool VolumeWriteStream::flushStage() {
    if (mStage.isEmpty()) return true;
    if (sqlite3_blob_write(mBlob, mStage.constData(), int(mStage.size()), int(mBlobPos)) !=
        SQLITE_OK) {
        mStore->fail();
        mError = true;
        end();
        return false;
    }
    mBlobPos += mStage.size();
    mStage.resize(0);
    return true;
}

void VolumeWriteStream::Close() {
    if (mClosed) return;
    if (!mError) {
        if (mReserved >= 0)
            storeDirect();
        else
            storePending(mPending);
    }
    end();
}

bool VolumeWriteStream::storeDirect() {
    if (!flushStage()) return false;
    if (mWritten == mReserved) {
        const int rc = sqlite3_blob_close(mBlob);
        mBlob = nullptr;
        if (rc != SQLITE_OK) {
            mStore->fail();
            mError = true;
            return false;
        }
        mStore->fileWritten(mNode, mRowid, mWritten);
        return true;
    }
    // The source was not the size it announced: gather the bytes again, in
    // order, and store them in a row of the right size.
    PendingBytes all;
    const qint64 placed = std::min(mWritten, mReserved);
    QByteArray chunk;
    for (qint64 pos = 0; pos < placed; pos += kChunk) {
        chunk.resize(std::min(kChunk, placed - pos));
        if (sqlite3_blob_read(mBlob, chunk.data(), int(chunk.size()), int(pos)) != SQLITE_OK) {
            mStore->fail();
            mError = true;
            return false;
        }
        if (!all.append(chunk.constData(), chunk.size())) {
            refuse();
            return false;
        }
    }
    if (!mPending.drain([&](const char* d, qint64 n) { return all.append(d, n); })) {
        refuse();
        return false;
    }
    sqlite3_blob_close(mBlob);
    mBlob = nullptr;
    mStore->deleteRow(mRowid);
    mRowid = 0;
    return storePending(all);
}

bool VolumeWriteStream::storePending(PendingBytes& bytes) {
    const qint64 total = bytes.size();
    if (total > mStore->maxFileSize()) {
        refuse();
        return false;
    }
    if (bytes.inMemory()) {
        const qint64 rowid = mStore->insertFile(mNode, bytes.memory().constData(), total);
        if (rowid == 0) {
            mError = true;
            return false;
        }
        mStore->fileWritten(mNode, rowid, total);
        return true;
    }
    const qint64 rowid = mStore->insertFile(mNode, nullptr, total);
    sqlite3_blob* blob = rowid != 0 ? mStore->openBlob(rowid, true) : nullptr;
    if (!blob) {
        mStore->fail();
        mError = true;
        return false;
    }
    qint64 pos = 0;
    bool dbError = false;
    const bool ok = bytes.drain([&](const char* d, qint64 n) {
        if (sqlite3_blob_write(blob, d, int(n), int(pos)) != SQLITE_OK) {
            dbError = true;
            return false;
        }
        pos += n;
        return true;
    });
    if (sqlite3_blob_close(blob) != SQLITE_OK) dbError = true;
    if (dbError) {
        mStore->fail();
        mError = true;
        return false;
    }
    if (!ok) {
        refuse();
        return false;
    }
    mStore->fileWritten(mNode, rowid, total);
    return true;
}

// The file cannot be stored (too large, or its bytes could not be kept):
// it leaves the volume, so whoever wrote it sees it missing.
void VolumeWriteStream::refuse() {
    mError = true;
    if (mBlob) {
        sqlite3_blob_close(mBlob);
        mBlob = nullptr;
    }
    mStore->dropFile(mNode);
    end();
}

void VolumeWriteStream::end() {
    if (mBlob) {
        sqlite3_blob_close(mBlob);
        mBlob = nullptr;
    }
    if (!mClosed) mStore->release(this);
    mClosed = true;
    mStage = QByteArray();
}

void VolumeWriteStream::detach() {
    mError = true;
    end();
}

std::unique_ptr<BinaryStream> VolumeBlobReadStream::open(std::shared_ptr<VolumeStore> store,
                                                         qint64 rowid, qint64 size) {
    sqlite3_blob* blob = store->openBlob(rowid, false);
    if (!blob) return nullptr;
    if (sqlite3_blob_bytes(blob) != size) {
        sqlite3_blob_close(blob);
        return nullptr;
    }
    return std::unique_ptr<BinaryStream>(new VolumeBlobReadStream(std::move(store), blob, size));
}

VolumeBlobReadStream::VolumeBlobReadStream(std::shared_ptr<VolumeStore> store, sqlite3_blob* blob,
                                           qint64 size)
    : mStore(std::move(store)), mBlob(blob), mSize(size) {
    mStore->attach(this);
}

VolumeBlobReadStream::~VolumeBlobReadStream() {
    Close();
}

QByteArray VolumeBlobReadStream::Read(qint64 count) {
    if (!mBlob || count <= 0 || mPos >= mSize) return {};
    QByteArray out;
    out.resize(std::min(count, mSize - mPos));
    if (sqlite3_blob_read(mBlob, out.data(), int(out.size()), int(mPos)) != SQLITE_OK) {
        mError = true;
        return {};
    }
    mPos += out.size();
    return out;
}

void VolumeBlobReadStream::Close() {
    if (!mBlob) return;
    sqlite3_blob_close(mBlob);
    mBlob = nullptr;
    mStore->release(this);
}

void VolumeBlobReadStream::detach() {
    if (mBlob) mError = true;
    Close();
}

}  // namespace zpc::platform
