#include "Trees.h"

#include "Harness.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <cstdint>
#include <cstring>

namespace zpc::bench {

namespace {

const char* const kPlatforms[] = {"Mac Carbon Mach-O Universal", "Mac Cocoa", "Windows",
                                  "Linux X86"};

// Deterministic bytes, so every run generates the same trees.
class Writer {
public:
    explicit Writer(uint64_t seed) : mState(seed | 1) {
        mBlock.resize(1 << 20);
        for (int i = 0; i < mBlock.size(); i += 8) {
            const uint64_t v = next();
            std::memcpy(mBlock.data() + i, &v, 8);
        }
    }
    uint64_t next() {
        mState ^= mState << 13;
        mState ^= mState >> 7;
        mState ^= mState << 17;
        return mState;
    }
    int between(int low, int high) { return low + int(next() % uint64_t(high - low + 1)); }

    void file(Tree& tree, const QString& path, qint64 size) {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) fail("cannot write " + path);
        // Start each file at a different place so no two files are alike.
        qint64 offset = qint64(next() % uint64_t(mBlock.size()));
        for (qint64 left = size; left > 0;) {
            const qint64 n = std::min(left, qint64(mBlock.size()) - offset);
            if (f.write(mBlock.constData() + offset, n) != n) fail("cannot write " + path);
            left -= n;
            offset = 0;
        }
        ++tree.files;
        tree.bytes += size;
    }

private:
    uint64_t mState;
    QByteArray mBlock;
};

void mkdir(const QString& path) {
    if (!QDir().mkpath(path)) fail("cannot make " + path);
}

}  // namespace

Tree makeTypical(const QString& parent, bool quick) {
    Tree tree;
    tree.root = parent + "/Typical Plugin";
    Writer w(0x7e57);
    const qint64 unit = quick ? (1 << 16) : (1 << 20);                    // 64 KB or 1 MB
    const int sizes[] = {20, 18, 16, 14, 12, 10, 20, 18, 16, 12, 10, 4};  // 170 units
    int n = 0;
    for (const char* platform : kPlatforms) {
        const QString dir = tree.root + "/Build Resources/" + platform;
        mkdir(dir);
        for (int i = 0; i < 3; ++i, ++n)
            w.file(tree, dir + QString("/Library %1.lib").arg(i + 1), sizes[n] * unit);
    }
    const QString palette = tree.root + "/IDE Resources/Controls Palette";
    mkdir(palette);
    for (int i = 0; i < (quick ? 20 : 50); ++i)
        w.file(tree, palette + QString("/Control%1.png").arg(i, 2, 10, QLatin1Char('0')),
               w.between(1024, 6 * 1024));
    const QString help = tree.root + "/IDE Resources/Help";
    mkdir(help);
    for (int i = 0; i < (quick ? 50 : 200); ++i)
        w.file(tree, help + QString("/page%1.html").arg(i, 3, 10, QLatin1Char('0')),
               w.between(2 * 1024, 24 * 1024));
    return tree;
}

Tree makeManySmall(const QString& parent, bool quick) {
    Tree tree;
    tree.root = parent + "/Many Plugin";
    Writer w(0x5a11);
    const int totalFiles = quick ? 2000 : 20000;
    const int perPlatform = quick ? 2 : 5;
    const int helpFolders = quick ? 30 : 276;
    QStringList folders;
    for (const char* platform : kPlatforms)
        for (int i = 0; i < perPlatform; ++i)
            folders << tree.root + "/Build Resources/" + platform + QString("/lib%1").arg(i);
    for (int i = 0; i < helpFolders; ++i)
        folders << tree.root +
                       QString("/IDE Resources/Help/topic %1").arg(i, 3, 10, QLatin1Char('0'));
    mkdir(tree.root + "/IDE Resources/Controls Palette");
    for (int f = 0; f < folders.size(); ++f) {
        mkdir(folders[f]);
        const int count =
            totalFiles / int(folders.size()) + (f < totalFiles % folders.size() ? 1 : 0);
        for (int i = 0; i < count; ++i)
            w.file(tree, folders[f] + QString("/item%1.dat").arg(i, 3, 10, QLatin1Char('0')),
                   w.between(1024, 16 * 1024));
    }
    return tree;
}

}  // namespace zpc::bench
