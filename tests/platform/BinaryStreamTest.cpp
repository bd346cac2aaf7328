#include "platform/BinaryStream.h"
#include "support/TestSupport.h"

#include <QFile>
#include <sys/stat.h>

using namespace zpc::platform;
using zpc::test::TempDir;

namespace {
QByteArray pattern(int size) {
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i) b[i] = char((i * 7 + i / 251) & 0xFF);
    return b;
}
}  // namespace

TEST(BinaryStream, CopiesInSmallChunksAcrossBufferBoundaries) {
    TempDir dir;
    for (int size : {0, 1, 4096, 4097, 256 * 1024, 256 * 1024 + 1, 1000003}) {
        const QByteArray data = pattern(size);
        auto out = BinaryStream::Create(dir.item("f"), true);
        ASSERT_NE(out, nullptr);
        for (int at = 0; at < size; at += 4096) out->Write(data.mid(at, 4096));
        out->Close();
        EXPECT_FALSE(out->hasError());

        auto in = BinaryStream::Open(dir.item("f"));
        ASSERT_NE(in, nullptr);
        EXPECT_EQ(in->Length(), size);
        QByteArray back;
        int reads = 0;
        while (!in->isEOF()) {
            back += in->Read(4096);
            ++reads;
        }
        EXPECT_EQ(back, data) << size;
        EXPECT_EQ(reads, (size + 4095) / 4096) << size;
    }
}

TEST(BinaryStream, CreateReplacesOrRefuses) {
    TempDir dir;
    dir.write("f", "old contents");
    auto noReplace = BinaryStream::Create(dir.item("f"), false);
    EXPECT_EQ(noReplace, nullptr);
    auto out = BinaryStream::Create(dir.item("f"), true);
    ASSERT_NE(out, nullptr);
    out->Write(QByteArray("new"));
    out->Close();
    EXPECT_EQ(dir.read("f"), "new");
}

TEST(BinaryStream, OpenRefusesMissingFilesAndFolders) {
    TempDir dir;
    dir.mkdir("sub");
    EXPECT_EQ(BinaryStream::Open(dir.item("missing")), nullptr);
    EXPECT_EQ(BinaryStream::Open(dir.item("sub")), nullptr);
    EXPECT_EQ(BinaryStream::Open(nullptr), nullptr);
}

TEST(BinaryStream, PipesAndDevicesAreNoStreamsAndNeverHang) {
    TempDir dir;
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.path("pipe")).constData(), 0644), 0);
    EXPECT_EQ(BinaryStream::Open(dir.item("pipe")), nullptr);
    EXPECT_EQ(BinaryStream::Create(dir.item("pipe"), true), nullptr);
    EXPECT_EQ(BinaryStream::Open(folderItemForPath("/dev/zero")), nullptr);
}

TEST(BinaryStream, StreamOnBytesReadsThem) {
    auto s = BinaryStream::onBytes("abcdef");
    EXPECT_EQ(s->Length(), 6);
    EXPECT_EQ(s->Read(4), "abcd");
    EXPECT_FALSE(s->isEOF());
    EXPECT_EQ(s->Read(4), "ef");
    EXPECT_TRUE(s->isEOF());
    EXPECT_EQ(s->Read(4), "");
}
