// Writes the binary seeds of the fuzz targets: forks in every carrier, and
// packages both as files from our writer and as KvxRecipes.
//   zpc_fuzz_seeds OUTDIR   (fills OUTDIR/resource_fork and OUTDIR/kvx)
#include "KvxRecipe.h"
#include "platform/BinaryStream.h"
#include "platform/DiskFolderItem.h"
#include "platform/VirtualVolume.h"
#include "support/ResourceForkWriter.h"

#include <QDir>
#include <QFile>
#include <cstdio>

using namespace zpc::platform;
using zpc::fuzz::KvxRecipe;
using zpc::test::ResourceForkWriter;

namespace {

QString gOut;
QByteArray gFork;  // a small plugin's resource fork, for the package seeds

void write(const QString& relative, const QByteArray& bytes) {
    QFile f(gOut + QLatin1Char('/') + relative);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(f.fileName()));
        std::exit(1);
    }
}

void forkSeeds() {
    ResourceForkWriter plugin;
    plugin.add("PL86", 128, "\x01\x02\x03", QStringLiteral("Library"));
    plugin.add("PL86", -5, "\xff", std::nullopt);
    plugin.add("PLPC", 1000, "ppc code", QStringLiteral("Caf\u00e9"));
    plugin.add("PLCN", 0, QByteArray(), QStringLiteral(""), 0x20);
    const QByteArray fork = plugin.fork();
    gFork = fork;
    ResourceForkWriter one;
    one.add("PL86", 1, "x");
    const QByteArray small = one.fork();
    const QByteArray empty = ResourceForkWriter().fork();

    // The first byte picks the carrier (see fuzz_resource_fork.cpp).
    const QByteArray single = ResourceForkWriter::appleSingle(fork, "data fork");
    const QByteArray doubled = ResourceForkWriter::appleDouble(fork);
    const QByteArray mb2 = ResourceForkWriter::macBinary(fork, "data", QStringLiteral("Plugin"),
                                                         ResourceForkWriter::MacBinary::II);
    const QByteArray mb3 = ResourceForkWriter::macBinary(
        small, QByteArray(200, 'd'), QStringLiteral("Plugin"), ResourceForkWriter::MacBinary::III);
    write(QStringLiteral("resource_fork/raw"), '\0' + fork);
    write(QStringLiteral("resource_fork/raw-one"), '\0' + small);
    write(QStringLiteral("resource_fork/raw-empty-map"), '\0' + empty);
    write(QStringLiteral("resource_fork/applesingle"), '\1' + single);
    write(QStringLiteral("resource_fork/appledouble"), '\1' + doubled);
    write(QStringLiteral("resource_fork/macbinary2"), '\2' + mb2);
    write(QStringLiteral("resource_fork/macbinary3"), '\2' + mb3);
    write(QStringLiteral("resource_fork/file-applesingle"), '\3' + single);
    write(QStringLiteral("resource_fork/file-macbinary"), '\3' + mb2);
    write(QStringLiteral("resource_fork/file-raw"), '\3' + fork);
    write(QStringLiteral("resource_fork/companion"), '\4' + doubled);
}

// A small plugin stored by our own writer.
bool writerPackage(const QString& relative) {
    const QByteArray path = QFile::encodeName(gOut + QLatin1Char('/') + relative);
    auto volume = DiskFolderItem::fromBytes(path)->CreateVirtualVolume();
    if (!volume) return false;
    const FolderItemPtr root = volume->Root();
    const FolderItemPtr build = root->Child(QStringLiteral("Build Resources"));
    build->CreateAsFolder();
    build->Child(QStringLiteral("Linux x86-64"))->CreateAsFolder();
    root->Child(QStringLiteral("IDE Resources"))->CreateAsFolder();
    const std::pair<FolderItemPtr, QByteArray> files[] = {
        {build->Child(QStringLiteral("Linux x86-64"))->Child(QStringLiteral("lib.so")),
         QByteArray(300, 'L')},
        {root->Child(QStringLiteral("IDE Resources"))->Child(QStringLiteral("help.html")),
         "<html><body>Help</body></html>"},
        {root->Child(QStringLiteral("Empty")), QByteArray()},
    };
    for (const auto& [item, bytes] : files) {
        auto out = BinaryStream::Create(item, true);
        if (!out) return false;
        out->reserve(bytes.size());
        out->Write(bytes);
        out->Close();
    }
    return volume->Flush();
}

KvxRecipe::Row row(const QByteArray& name, KvxRecipe::Mode mode, KvxRecipe::Data data,
                   const QByteArray& content = {}, quint32 length = 0) {
    KvxRecipe::Row r;
    r.name = name;
    r.mode = mode;
    r.data = data;
    r.content = content;
    r.length = length;
    return r;
}

void kvxSeeds() {
    // Larger files reach the blob stream through the recipes' zero blobs:
    // a megabyte seed would slow every mutation.
    if (!writerPackage(QStringLiteral("kvx/writer.kvx"))) {
        std::fprintf(stderr, "cannot write the package seeds\n");
        std::exit(1);
    }

    using R = KvxRecipe;
    R plugin;
    plugin.rows = {
        row("Build Resources", R::Mode::Folder, R::Data::Null),
        row("Build Resources/Linux x86-64/lib.so", R::Mode::File, R::Data::Bytes, "ELF library"),
        row("IDE Resources/help.html", R::Mode::File, R::Data::Compressed,
            QByteArray("<html><body>") + QByteArray(400, 'h') + "</body></html>"),
        row("IDE Resources/icon.png", R::Mode::File, R::Data::Repeated, "\x89", 5000),
        row("Empty", R::Mode::File, R::Data::Null),
        row("Big", R::Mode::File, R::Data::Zeros, {}, 1200000),
    };
    write(QStringLiteral("kvx/recipe-plugin"), plugin.encode());

    R hostile = plugin;
    hostile.rows.push_back(row("../outside", R::Mode::File, R::Data::Bytes, "x"));
    hostile.rows.push_back(row("/etc/passwd", R::Mode::File, R::Data::Bytes, "x"));
    hostile.rows.push_back(row("a//b", R::Mode::File, R::Data::Bytes, "x"));
    hostile.rows.push_back(row("ide resources/HELP.HTML", R::Mode::File, R::Data::Bytes, "case"));
    hostile.rows.push_back(row("Empty/below", R::Mode::File, R::Data::Bytes, "under a file"));
    hostile.rows.push_back(row("link", R::Mode::Link, R::Data::Bytes, "/etc"));
    R::Row huge = row("huge", R::Mode::File, R::Data::Compressed, "tiny");
    huge.size = R::Size::Explicit;
    huge.sz = qint64(1) << 40;
    hostile.rows.push_back(huge);
    R::Row liar = row("liar", R::Mode::File, R::Data::Bytes, "twelve bytes");
    liar.size = R::Size::Off;
    liar.sz = 1;
    hostile.rows.push_back(liar);
    hostile.rows.push_back(row("text", R::Mode::File, R::Data::Text, "text data"));
    hostile.rows.push_back(row("number", R::Mode::File, R::Data::Integer, "12345678"));
    R::Row blobName = row("blob-name", R::Mode::File, R::Data::Bytes, "b");
    blobName.nameAs = R::Name::Blob;
    hostile.rows.push_back(blobName);
    write(QStringLiteral("kvx/recipe-hostile"), hostile.encode());

    for (int s = 1; s < int(R::Schema::Count); ++s) {
        R variant = plugin;
        variant.schema = R::Schema(s);
        write(QStringLiteral("kvx/recipe-schema-%1").arg(s), variant.encode());
    }
    // Old plugins inside a package, their forks in every carrier.
    R old;
    old.rows = {
        row("Old/Raw", R::Mode::File, R::Data::Bytes, gFork),
        row("Old/Plugin", R::Mode::File, R::Data::Null),
        row("Old/._Plugin", R::Mode::File, R::Data::Bytes, ResourceForkWriter::appleDouble(gFork)),
        row("Old/Zipped", R::Mode::File, R::Data::Null),
        row("__MACOSX/Old/._Zipped", R::Mode::File, R::Data::Compressed,
            ResourceForkWriter::appleDouble(gFork)),
        row("Old/Single", R::Mode::File, R::Data::Bytes,
            ResourceForkWriter::appleSingle(gFork, "data")),
        row("Old/Binary", R::Mode::File, R::Data::Bytes,
            ResourceForkWriter::macBinary(gFork, "data", QStringLiteral("Binary"))),
    };
    write(QStringLiteral("kvx/recipe-old-plugins"), old.encode());

    R small = plugin;
    small.pageSizeLog2 = 9;
    write(QStringLiteral("kvx/recipe-small-pages"), small.encode());
    R damaged = plugin;
    damaged.patches = {{100, 0xff}, {4000, 0}, {5000, 0x0d}};
    write(QStringLiteral("kvx/recipe-damaged"), damaged.encode());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    gOut = QFile::decodeName(argv[1]);
    for (const char* sub : {"resource_fork", "kvx"}) QDir(gOut).mkpath(QLatin1String(sub));
    forkSeeds();
    kvxSeeds();
    return 0;
}
