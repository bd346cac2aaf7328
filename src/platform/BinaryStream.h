#pragma once

#include "platform/FolderItem.h"

#include <QByteArray>
#include <memory>

namespace zpc::platform {

// A byte stream on a file, on bytes in memory, or on an entry of a package.
class BinaryStream {
public:
    virtual ~BinaryStream();

    // Nil when the entry is missing, a folder, or cannot be opened.
    static std::unique_ptr<BinaryStream> Open(const FolderItemPtr& item, bool readWrite = false);
    // Creates the entry for writing; replace: an existing file is replaced.
    static std::unique_ptr<BinaryStream> Create(const FolderItemPtr& item, bool replace);
    // A stream that reads the given bytes.
    static std::unique_ptr<BinaryStream> onBytes(QByteArray bytes);

    // Up to count bytes from the current position; fewer at the end.
    virtual QByteArray Read(qint64 count) = 0;
    virtual void Write(const char* data, qint64 count) = 0;
    // The number of bytes about to be written, when known: a stream that must
    // size its storage up front can then take them without buffering.
    virtual void reserve(qint64 expectedSize) { (void)expectedSize; }
    void Write(const QByteArray& bytes) { Write(bytes.constData(), bytes.size()); }
    virtual qint64 Length() const = 0;
    virtual qint64 Position() const = 0;
    // "EOF" itself is a C macro, hence the name.
    virtual bool isEOF() const = 0;
    // Writes what is buffered and releases the stream; later calls do nothing.
    virtual void Close() = 0;
    // True once a read or write failed (a full disk, say).
    virtual bool hasError() const = 0;
};

// Reads and writes through a file descriptor with a large buffer, so callers
// may copy in small chunks without paying a system call for each.
class FileBinaryStream final : public BinaryStream {
public:
    FileBinaryStream(int fd, bool writing);
    ~FileBinaryStream() override;

    QByteArray Read(qint64 count) override;
    void Write(const char* data, qint64 count) override;
    qint64 Length() const override;
    qint64 Position() const override { return mPos; }
    bool isEOF() const override;
    void Close() override;
    bool hasError() const override { return mError; }
    // Flushes and forces the data to the device.
    bool sync();

private:
    bool flushWrites();

    int mFd;
    bool mWriting;
    bool mError = false;
    qint64 mPos = 0;
    qint64 mSize = 0;
    QByteArray mBuffer;
    qint64 mBufStart = 0;  // reading: bytes of mBuffer already handed out
};

class MemoryBinaryStream final : public BinaryStream {
public:
    explicit MemoryBinaryStream(QByteArray bytes) : mBytes(std::move(bytes)) {}
    QByteArray Read(qint64 count) override;
    void Write(const char* data, qint64 count) override;
    qint64 Length() const override { return mBytes.size(); }
    qint64 Position() const override { return mPos; }
    bool isEOF() const override { return mPos >= mBytes.size(); }
    void Close() override { mClosed = true; }
    bool hasError() const override { return false; }
    const QByteArray& bytes() const { return mBytes; }

private:
    QByteArray mBytes;
    qint64 mPos = 0;
    bool mClosed = false;
};

}  // namespace zpc::platform
