#include "platform/BinaryStream.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zpc::platform {

namespace {
constexpr qint64 kBufferSize = 256 * 1024;
}

BinaryStream::~BinaryStream() = default;

std::unique_ptr<BinaryStream> BinaryStream::Open(const FolderItemPtr& item, bool readWrite) {
    if (!item) return nullptr;
    if (readWrite) return item->openForWriting(false);
    return item->openForReading();
}

std::unique_ptr<BinaryStream> BinaryStream::Create(const FolderItemPtr& item, bool replace) {
    if (!item) return nullptr;
    return item->openForWriting(replace);
}

std::unique_ptr<BinaryStream> BinaryStream::onBytes(QByteArray bytes) {
    return std::make_unique<MemoryBinaryStream>(std::move(bytes));
}

FileBinaryStream::FileBinaryStream(int fd, bool writing) : mFd(fd), mWriting(writing) {
    struct stat st {};
    if (fstat(mFd, &st) == 0) mSize = st.st_size;
    if (mWriting) {
        mSize = 0;
        mBuffer.reserve(kBufferSize);
    } else {
        ::posix_fadvise(mFd, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
}

FileBinaryStream::~FileBinaryStream() { Close(); }

QByteArray FileBinaryStream::Read(qint64 count) {
    QByteArray out;
    if (mFd < 0 || mWriting || count <= 0) return out;
    out.reserve(int(std::min(count, kBufferSize)));
    while (count > 0) {
        const qint64 avail = mBuffer.size() - mBufStart;
        if (avail > 0) {
            const qint64 n = std::min(avail, count);
            out.append(mBuffer.constData() + mBufStart, n);
            mBufStart += n;
            mPos += n;
            count -= n;
            continue;
        }
        mBuffer.resize(kBufferSize);
        mBufStart = 0;
        ssize_t got;
        do got = ::read(mFd, mBuffer.data(), kBufferSize);
        while (got < 0 && errno == EINTR);
        if (got <= 0) {
            mBuffer.clear();
            if (got < 0) mError = true;
            // The file ended early (it shrank, or a read failed): stop here.
            mSize = mPos;
            break;
        }
        mBuffer.resize(got);
        if (mPos + got > mSize) mSize = mPos + got;
    }
    return out;
}

void FileBinaryStream::Write(const char* data, qint64 count) {
    if (mFd < 0 || !mWriting || count <= 0) return;
    if (mBuffer.size() + count > kBufferSize && !flushWrites()) return;
    if (count >= kBufferSize) {
        qint64 done = 0;
        while (done < count) {
            ssize_t n = ::write(mFd, data + done, size_t(count - done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                mError = true;
                return;
            }
            done += n;
        }
    } else {
        mBuffer.append(data, count);
    }
    mPos += count;
    mSize = std::max(mSize, mPos);
}

bool FileBinaryStream::flushWrites() {
    qint64 done = 0;
    while (done < mBuffer.size()) {
        ssize_t n = ::write(mFd, mBuffer.constData() + done, size_t(mBuffer.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            mError = true;
            mBuffer.resize(0);
            return false;
        }
        done += n;
    }
    // Emptied, not released: the next writes fill the same memory.
    mBuffer.resize(0);
    return true;
}

qint64 FileBinaryStream::Length() const { return mSize; }

bool FileBinaryStream::isEOF() const { return mWriting || mFd < 0 || mPos >= mSize; }

bool FileBinaryStream::sync() {
    if (mFd < 0) return false;
    if (mWriting && !flushWrites()) return false;
    if (::fsync(mFd) != 0) mError = true;
    return !mError;
}

void FileBinaryStream::Close() {
    if (mFd < 0) return;
    if (mWriting) flushWrites();
    if (::close(mFd) != 0 && mWriting) mError = true;
    mFd = -1;
    mBuffer.clear();
}

QByteArray MemoryBinaryStream::Read(qint64 count) {
    if (mClosed || count <= 0 || mPos >= mBytes.size()) return {};
    const qint64 n = std::min(count, qint64(mBytes.size()) - mPos);
    QByteArray out = mBytes.mid(int(mPos), int(n));
    mPos += n;
    return out;
}

void MemoryBinaryStream::Write(const char* data, qint64 count) {
    if (mClosed || count <= 0) return;
    if (mPos + count > mBytes.size()) mBytes.resize(int(mPos + count));
    std::memcpy(mBytes.data() + mPos, data, size_t(count));
    mPos += count;
}

}  // namespace zpc::platform
