#pragma once

#include "platform/BinaryStream.h"
#include "platform/VolumeStore.h"

#include <QByteArray>
#include <memory>

namespace zpc::platform {

// Bytes waiting for their row: kept in memory up to a limit, then in an
// unnamed temporary file, so a large file is never held whole.
class PendingBytes {
public:
    static constexpr qint64 kMemoryLimit = 1 << 20;

    PendingBytes() = default;
    ~PendingBytes();
    PendingBytes(const PendingBytes&) = delete;
    PendingBytes& operator=(const PendingBytes&) = delete;

    bool append(const char* data, qint64 count);
    qint64 size() const { return mSize; }
    bool inMemory() const { return mFd < 0; }
    const QByteArray& memory() const { return mMemory; }
    // Hands the bytes over in order, in chunks; false when a read or the sink failed.
    template <typename Sink>
    bool drain(Sink&& sink);

private:
    bool spill();
    bool readChunk(QByteArray& chunk);
    bool rewind();

    QByteArray mMemory;
    int mFd = -1;
    qint64 mSize = 0;
};

template <typename Sink>
bool PendingBytes::drain(Sink&& sink) {
    if (inMemory()) return mMemory.isEmpty() || sink(mMemory.constData(), qint64(mMemory.size()));
    if (!rewind()) return false;
    QByteArray chunk;
    for (;;) {
        if (!readChunk(chunk)) return false;
        if (chunk.isEmpty()) return true;
        if (!sink(chunk.constData(), qint64(chunk.size()))) return false;
    }
}

// Writes one file of a volume. A size announced with reserve() lets a large
// file go straight into its row in chunks; otherwise, and for whatever
// differs from the announcement, the bytes wait in PendingBytes until Close.
class VolumeWriteStream final : public BinaryStream, private VolumeHandleUser {
public:
    VolumeWriteStream(std::shared_ptr<VolumeStore> store, int node);
    ~VolumeWriteStream() override;

    void reserve(qint64 expectedSize) override;
    QByteArray Read(qint64) override { return {}; }
    void Write(const char* data, qint64 count) override;
    qint64 Length() const override { return mWritten; }
    qint64 Position() const override { return mWritten; }
    bool isEOF() const override { return true; }
    void Close() override;
    bool hasError() const override { return mError; }

private:
    void finish() override { Close(); }
    void detach() override;
    bool flushStage();
    bool storeDirect();
    bool storePending(PendingBytes& bytes);
    void refuse();
    void end();

    std::shared_ptr<VolumeStore> mStore;
    int mNode;
    bool mClosed = false;
    bool mError = false;
    qint64 mWritten = 0;
    // Straight into a row of the reserved size.
    qint64 mReserved = -1;
    qint64 mRowid = 0;
    sqlite3_blob* mBlob = nullptr;
    qint64 mBlobPos = 0;
    QByteArray mStage;
    PendingBytes mPending;
};

// Reads a large file of a volume from its row in chunks.
class VolumeBlobReadStream final : public BinaryStream, private VolumeHandleUser {
public:
    static std::unique_ptr<BinaryStream> open(std::shared_ptr<VolumeStore> store, qint64 rowid,
                                              qint64 size);
    ~VolumeBlobReadStream() override;

    QByteArray Read(qint64 count) override;
    void Write(const char*, qint64) override {}
    qint64 Length() const override { return mSize; }
    qint64 Position() const override { return mPos; }
    bool isEOF() const override { return mPos >= mSize; }
    void Close() override;
    bool hasError() const override { return mError; }

private:
    VolumeBlobReadStream(std::shared_ptr<VolumeStore> store, sqlite3_blob* blob, qint64 size);
    void finish() override { detach(); }
    void detach() override;

    std::shared_ptr<VolumeStore> mStore;
    sqlite3_blob* mBlob;
    qint64 mSize;
    qint64 mPos = 0;
    bool mError = false;
};

}  // namespace zpc::platform
