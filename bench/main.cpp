// Runs the model's heavy operations on generated plugin folders and compares
// each with the standard tool doing the same work in the same run; then the
// editor window's figures (window_*) on an offscreen window.
//   zpc_bench [--quick] [--dir WORKDIR] [--only TEXT]   (--only: figures whose name holds TEXT)
//   zpc_bench op read DIR | op save DIR DEST | op savekvx DIR DEST | op openkvx FILE
//            | op save-zanth DIR DEST | op open FILE | op save-project RAWFILE DEST | op nothing
//     (one operation, printing its peak memory in KB; "nothing" shows the
//     program's own footprint)
#include "Harness.h"
#include "Trees.h"
#include "WindowFigures.h"

#include "archive/PluginArchive.h"
#include "model/PluginItemFile.h"
#include "model/ZanthPackage.h"
#include "platform/FolderItem.h"
#include "platform/Yield.h"

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstdlib>
#include <cstring>

using namespace zpc;
using namespace zpc::bench;
using archive::PluginArchive;

namespace {

int countFiles(const model::PluginItemPtr& node) {
    int n = 0;
    for (const model::PluginItemPtr& child : node->asFolder()->items())
        n += child->asFolder() ? countFiles(child) : 1;
    return n;
}

std::shared_ptr<PluginArchive> readPlugin(const QString& root) {
    return PluginArchive::create(platform::folderItemForPath(root), false, nullptr);
}

// A new plugin holding one file's bytes in memory, as one read from a
// single-file package does.
std::shared_ptr<PluginArchive> pluginHolding(const QString& file) {
    auto plugin = PluginArchive::create(false);
    plugin->setName("Raw");
    plugin->hasItem(QStringLiteral("Windows"))
        ->asFolder()
        ->add(model::PluginItemFile::create(platform::folderItemForPath(file), true));
    return plugin;
}

qint64 rawBytesHeld(const model::PluginItemPtr& node) {
    qint64 n = 0;
    for (const model::PluginItemPtr& child : node->asFolder()->items()) {
        if (child->asFolder())
            n += rawBytesHeld(child);
        else if (auto file = std::dynamic_pointer_cast<model::PluginItemFile>(child))
            n += file->rawData().size();
    }
    return n;
}

qint64 bytesBelow(const QString& root) {
    qint64 total = 0;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) total += QFileInfo(it.next()).size();
    return total;
}

void makeDir(const QString& path) {
    if (!QDir().mkpath(path)) fail("cannot make " + path);
}

// One operation in this process, for the parent to read its peak memory.
int runOperation(const QStringList& args) {
    int result = -1;
    if (args.size() == 2 && args[0] == "read") {
        result = countFiles(readPlugin(args[1])) > 0 ? 0 : 1;
    } else if (args.size() == 3 && args[0] == "save") {
        auto plugin = readPlugin(args[1]);
        result = plugin->saveAsFolder(platform::folderItemForPath(args[2])) ? 0 : 1;
    } else if (args.size() == 3 && args[0] == "savekvx") {
        auto plugin = readPlugin(args[1]);
        result = plugin->saveAsPluginFile(platform::folderItemForPath(args[2])) ? 0 : 1;
    } else if (args.size() == 2 && args[0] == "openkvx") {
        result = countFiles(readPlugin(args[1])) > 0 ? 0 : 1;
    } else if (args.size() == 3 && args[0] == "save-zanth") {
        result = readPlugin(args[1])->saveAsZanthPluginFile(platform::folderItemForPath(args[2]))
                     ? 0
                     : 1;
    } else if (args.size() == 2 && args[0] == "open") {
        auto plugin = PluginArchive::create(platform::folderItemForPath(args[1]), false, nullptr);
        result = plugin->dataSource() ? 0 : 1;
        model::ZanthPackage::removeExtractionFolders();
    } else if (args.size() == 3 && args[0] == "save-project") {
        result =
            pluginHolding(args[1])->saveAsProject(platform::folderItemForPath(args[2])) ? 0 : 1;
    } else if (args.size() == 1 && args[0] == "nothing") {
        result = 0;
    }
    if (result == 0) printPeak();
    if (result >= 0) return result;
    fail("unknown operation " + args.join(' '));
}

struct Pair {
    double ours = 1e300, ref = 1e300;
};

// Runs ours and the reference alternately, each first in turn, and keeps the
// best of each.
Pair bestOfBoth(int runs, const std::function<double()>& ours, const std::function<double()>& ref) {
    Pair best;
    for (int i = 0; i < runs; ++i) {
        if (i % 2 == 0) {
            best.ours = std::min(best.ours, ours());
            best.ref = std::min(best.ref, ref());
        } else {
            best.ref = std::min(best.ref, ref());
            best.ours = std::min(best.ours, ours());
        }
    }
    return best;
}

void readFigure(const QString& name, const Tree& tree, int runs) {
    std::shared_ptr<PluginArchive> plugin;
    auto ours = [&] {
        plugin.reset();
        return timeOnce([&] { plugin = readPlugin(tree.root); });
    };
    auto ref = [&] { return timeCommand({"find", tree.root}); };
    ours();  // warm the caches for both
    ref();
    const Pair t = bestOfBoth(runs, ours, ref);
    if (countFiles(plugin) != tree.files) fail(name + ": the tree read is incomplete");
    print({name, t.ours, t.ref, peakOfSelf({"op", "read", tree.root})});
}

void saveFigure(const QString& name, const Tree& tree, const QString& work, int runs) {
    auto plugin = readPlugin(tree.root);
    const QString oursDir = work + "/out-ours", refDir = work + "/out-ref";
    auto ours = [&] {
        removeTree(oursDir);
        makeDir(oursDir);
        return timeOnce([&] {
            if (!plugin->saveAsFolder(platform::folderItemForPath(oursDir)))
                fail(name + ": save failed");
        });
    };
    auto ref = [&] {
        removeTree(refDir);
        makeDir(refDir);
        return timeCommand({"cp", "-r", tree.root, refDir + "/copy"});
    };
    const Pair t = bestOfBoth(runs, ours, ref);
    if (bytesBelow(oursDir) != tree.bytes) fail(name + ": the saved tree is incomplete");
    removeTree(oursDir);
    removeTree(refDir);
    makeDir(oursDir);
    const double peak = peakOfSelf({"op", "save", tree.root, oursDir});
    removeTree(oursDir);
    print({name, t.ours, t.ref, peak});
}

// Checks with the standard tool that a package holds every file of the tree.
void checkPackage(const QString& name, const QString& package, const Tree& tree) {
    const QByteArray counted =
        outputOf({"sqlite3", package,
                  "SELECT count(*) || ' ' || sum(sz) FROM sqlar WHERE mode & 61440 = 32768"})
            .trimmed();
    if (counted != QByteArray::number(tree.files) + ' ' + QByteArray::number(tree.bytes))
        fail(name + ": the package is incomplete: " + QString::fromLatin1(counted));
}

// Saving a package, against an archive file made by tar and a package made by
// the standard tool (which compresses every file).
void saveKvxFigure(const QString& name, const Tree& tree, const QString& work, int runs,
                   int toolRuns) {
    auto plugin = readPlugin(tree.root);
    const QFileInfo root(tree.root);
    const QString parent = root.absolutePath(), folder = root.fileName();
    const QString oursDir = work + "/out-ours", refDir = work + "/out-ref";
    const QString package = oursDir + "/" + plugin->name() + ".kvx";
    auto ours = [&] {
        removeTree(oursDir);
        makeDir(oursDir);
        return timeOnce([&] {
            if (!plugin->saveAsPluginFile(platform::folderItemForPath(oursDir)))
                fail(name + ": save failed");
        });
    };
    auto fresh = [&] {
        removeTree(refDir);
        makeDir(refDir);
    };
    auto tar = [&] {
        fresh();
        return timeCommand({"tar", "-cf", refDir + "/out.tar", "-C", parent, folder});
    };
    auto tool = [&] {
        fresh();
        return timeCommand({"sqlite3", refDir + "/out.kvx", "-A", "-c", "-C", parent, folder});
    };
    const Pair t = bestOfBoth(runs, ours, tar);
    checkPackage(name, package, tree);
    const Pair s = bestOfBoth(toolRuns, ours, tool);
    checkPackage(name + "_vs_sqlite3", refDir + "/out.kvx", tree);
    removeTree(oursDir);
    removeTree(refDir);
    makeDir(oursDir);
    const double peak = peakOfSelf({"op", "savekvx", tree.root, oursDir});
    removeTree(oursDir);
    const double best = std::min(t.ours, s.ours);
    print({name, best, t.ref, peak});
    print({name + "_vs_sqlite3", best, s.ref, std::nullopt});
}

// Opening a package copies every file into memory; the standard tool unpacks
// the same package onto disk.
void openKvxFigure(const QString& name, const Tree& tree, const QString& work, int runs) {
    const QString dir = work + "/kvx-open", out = work + "/kvx-unpacked";
    removeTree(dir);
    makeDir(dir);
    auto source = readPlugin(tree.root);
    if (!source->saveAsPluginFile(platform::folderItemForPath(dir))) fail(name + ": save failed");
    source.reset();
    const QString package = dir + "/" + QFileInfo(tree.root).fileName() + ".kvx";
    std::shared_ptr<PluginArchive> plugin;
    auto ours = [&] {
        plugin.reset();
        return timeOnce([&] { plugin = readPlugin(package); });
    };
    auto ref = [&] {
        removeTree(out);
        makeDir(out);
        return timeCommand({"sqlite3", package, "-A", "-x", "-C", out});
    };
    ours();  // warm the caches for both
    const Pair t = bestOfBoth(runs, ours, ref);
    if (countFiles(plugin) != tree.files) fail(name + ": the tree read is incomplete");
    plugin.reset();
    removeTree(out);
    const double peak = peakOfSelf({"op", "openkvx", package});
    removeTree(dir);
    print({name, t.ours, t.ref, peak});
}

QString quoted(const QString& path) {
    QString out = path;
    out.replace("'", "'\\''");
    return "'" + out + "'";
}

// saveAsZanthPluginFile against zip -r on the same folder, then opening the
// package against unzip alone.
void zanthFigures(const Tree& tree, const QString& work, int runs, const QString& only) {
    auto plugin = readPlugin(tree.root);
    const QString oursDir = work + "/zanth-ours", refDir = work + "/zanth-ref";
    const QString name = QFileInfo(tree.root).fileName();
    const QString parent = QFileInfo(tree.root).path();
    const QString package = oursDir + "/" + name + ".zanth_plugin";
    auto saveOurs = [&] {
        removeTree(oursDir);
        makeDir(oursDir);
        return timeOnce([&] {
            if (!plugin->saveAsZanthPluginFile(platform::folderItemForPath(oursDir)))
                fail("save_zanth_typical: save failed");
        });
    };
    auto zipRef = [&] {
        removeTree(refDir);
        makeDir(refDir);
        return timeCommand({"sh", "-c",
                            "cd " + quoted(parent) + " && zip -r " + quoted(refDir + "/ref.zip") +
                                " " + quoted(name)});
    };
    if (QString("save_zanth_typical").contains(only)) {
        const Pair t = bestOfBoth(runs, saveOurs, zipRef);
        removeTree(oursDir);
        makeDir(oursDir);
        const double peak = peakOfSelf({"op", "save-zanth", tree.root, oursDir});
        print({"save_zanth_typical", t.ours, t.ref, peak});
    }
    if (!QString("open_zanth_typical").contains(only)) return;
    if (!QFileInfo::exists(package)) saveOurs();
    std::shared_ptr<PluginArchive> opened;
    auto openOurs = [&] {
        opened.reset();
        model::ZanthPackage::removeExtractionFolders();
        return timeOnce([&] {
            opened = PluginArchive::create(platform::folderItemForPath(package), false, nullptr);
        });
    };
    auto unzipRef = [&] {
        removeTree(refDir);
        makeDir(refDir);
        return timeCommand({"unzip", "-u", package, "-d", refDir});
    };
    const Pair t = bestOfBoth(runs, openOurs, unzipRef);
    if (countFiles(opened) != tree.files) fail("open_zanth_typical: the tree read is incomplete");
    opened.reset();
    model::ZanthPackage::removeExtractionFolders();
    print({"open_zanth_typical", t.ours, t.ref, peakOfSelf({"op", "open", package})});
    removeTree(oursDir);
    removeTree(refDir);
}

// A project holding the bytes of one large file, saved and loaded, against
// the base64 command encoding the same bytes into a file.
void projectFigures(const QString& work, qint64 size, const QString& label, int runs,
                    const QString& only) {
    const QString raw = work + "/raw.bin", dir = work + "/project", encoded = work + "/raw.b64";
    makeDir(dir);
    {
        QFile f(raw);
        if (!f.open(QIODevice::WriteOnly)) fail("cannot write " + raw);
        QByteArray block(1 << 20, Qt::Uninitialized);
        uint64_t state = 0x9e3779b97f4a7c15ull;
        for (int i = 0; i < block.size(); i += 8) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            std::memcpy(block.data() + i, &state, 8);
        }
        for (qint64 left = size; left > 0; left -= block.size())
            f.write(block.constData(), std::min<qint64>(left, block.size()));
    }
    auto encode = [&] {
        return timeCommand({"sh", "-c", "base64 -w 76 " + quoted(raw) + " > " + quoted(encoded)});
    };
    const QString file = dir + "/Raw.prjkvx";
    auto plugin = pluginHolding(raw);
    auto save = [&] {
        return timeOnce([&] {
            if (!plugin->saveAsProject(platform::folderItemForPath(dir)))
                fail("save_project: save failed");
        });
    };
    const QString saveName = "save_project_" + label, loadName = "load_project_" + label;
    if (saveName.contains(only)) {
        const Pair t = bestOfBoth(runs, save, encode);
        print({saveName, t.ours, t.ref, peakOfSelf({"op", "save-project", raw, dir})});
    }
    if (loadName.contains(only)) {
        if (!QFileInfo::exists(file)) save();
        std::shared_ptr<PluginArchive> loaded;
        auto load = [&] {
            loaded.reset();
            return timeOnce([&] {
                loaded = PluginArchive::create(platform::folderItemForPath(file), false, nullptr);
            });
        };
        const Pair t = bestOfBoth(runs, load, encode);
        if (rawBytesHeld(loaded) != size) fail(loadName + ": the bytes read are incomplete");
        loaded.reset();
        print({loadName, t.ours, t.ref, peakOfSelf({"op", "open", file})});
    }
    QFile::remove(raw);
    QFile::remove(encoded);
    removeTree(dir);
}

// The cost of serving the event loop: the same work with yielding on and off.
void yieldFigure(const QString& name, const std::function<double()>& op, int runs) {
    auto with = [&] {
        platform::setYieldEnabled(true);
        return op();
    };
    auto without = [&] {
        platform::setYieldEnabled(false);
        return op();
    };
    const Pair t = bestOfBoth(runs, with, without);
    platform::setYieldEnabled(true);
    print({name, t.ours, t.ref, std::nullopt});
}

}  // namespace

int main(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    if (!args.isEmpty() && args[0] == "op") return runOperation(args.mid(1));

    const bool quick = args.contains("--quick");
    QString work;
    const int dirAt = int(args.indexOf("--dir"));
    const bool keep = dirAt >= 0 && dirAt + 1 < args.size();
    if (keep) {
        work = QDir(args[dirAt + 1]).absolutePath();
        makeDir(work);
    } else {
        QByteArray tmpl = QDir::tempPath().toLocal8Bit() + "/zpc-bench-XXXXXX";
        if (!mkdtemp(tmpl.data())) fail("cannot make a work folder");
        work = QString::fromLocal8Bit(tmpl);
    }

    const int runs = quick ? 3 : 5;
    // A difference of a few percent needs more runs to stand out of the noise.
    const int yieldRuns = quick ? 3 : 9;
    const int onlyAt = int(args.indexOf("--only"));
    const QString only = onlyAt >= 0 ? args.value(onlyAt + 1) : QString();
    auto wanted = [&](const char* name) { return QString(name).contains(only); };

    windowFigures(argc, argv, runs, wanted);
    // The window's figures need no trees on disk.
    if (only.startsWith("window")) {
        if (!keep) removeTree(work);
        return 0;
    }
    for (const QString& sub : {QStringLiteral("/typical"), QStringLiteral("/many")})
        if (QFileInfo::exists(work + sub)) removeTree(work + sub);
    const Tree typical = makeTypical(work + "/typical", quick);
    const Tree many = makeManySmall(work + "/many", quick);

    if (wanted("read_many_small")) readFigure("read_many_small", many, runs);
    if (wanted("read_typical")) readFigure("read_typical", typical, runs);
    if (wanted("save_folder_typical"))
        saveFigure("save_folder_typical", typical, work, quick ? 2 : 3);
    if (wanted("save_folder_many_small"))
        saveFigure("save_folder_many_small", many, work, quick ? 2 : 3);

    if (wanted("save_kvx_typical"))
        saveKvxFigure("save_kvx_typical", typical, work, quick ? 2 : 3, quick ? 1 : 2);
    if (wanted("save_kvx_many_small"))
        saveKvxFigure("save_kvx_many_small", many, work, quick ? 2 : 3, quick ? 1 : 2);
    if (wanted("open_kvx_many_small")) openKvxFigure("open_kvx_many_small", many, work, runs);
    zanthFigures(typical, work, runs, only);
    // Quick: 8 MB under the same names.
    projectFigures(work, quick ? (8 << 20) : 100000000, "100mb", runs, only);

    if (wanted("yield_read_many_small")) {
        yieldFigure(
            "yield_read_many_small",
            [&] {
                std::shared_ptr<PluginArchive> plugin;
                return timeOnce([&] { plugin = readPlugin(many.root); });
            },
            yieldRuns);
    }
    // The large tree: saving many small files varies too much from run to run
    // to show a difference of a few percent.
    if (wanted("yield_save_typical")) {
        auto plugin = readPlugin(typical.root);
        const QString out = work + "/out-yield";
        yieldFigure(
            "yield_save_typical",
            [&] {
                removeTree(out);
                makeDir(out);
                return timeOnce([&] { plugin->saveAsFolder(platform::folderItemForPath(out)); });
            },
            yieldRuns);
        removeTree(out);
    }

    if (!keep) removeTree(work);
    return 0;
}
