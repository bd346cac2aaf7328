#include "platform/BinaryStream.h"
#include "platform/Exceptions.h"
#include "platform/VirtualVolume.h"
#include "support/TestSupport.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <csignal>

using namespace zpc::platform;
using zpc::test::runProcess;
using zpc::test::noise;
using zpc::test::TempDir;

namespace {

// Relative path -> bytes, "<dir>" for a folder (the form snapshotTree gives).
using Tree = QMap<QString, QByteArray>;
const QByteArray kDir = "<dir>";

FolderItemPtr at(FolderItemPtr folder, const QString& path) {
    for (const QString& part : path.split(QLatin1Char('/'))) folder = folder->Child(part);
    return folder;
}

// Writes a tree the way plugin items store themselves: folders made with
// CreateAsFolder, files announced with reserve and copied in 4096-byte chunks.
void storeTree(const FolderItemPtr& into, const Tree& tree, bool announce = true) {
    for (auto it = tree.begin(); it != tree.end(); ++it) {
        auto item = at(into, it.key());
        if (it.value() == kDir) {
            item->CreateAsFolder();
            EXPECT_EQ(item->LastErrorCode(), 0) << it.key().toStdString();
            continue;
        }
        auto out = BinaryStream::Create(item, true);
        ASSERT_TRUE(out) << it.key().toStdString();
        auto in = BinaryStream::onBytes(it.value());
        if (announce) out->reserve(in->Length());
        while (!in->isEOF()) out->Write(in->Read(4096));
        out->Close();
        EXPECT_FALSE(out->hasError()) << it.key().toStdString();
    }
}

// Reads a folder back the way a plugin tree copies a package: each file in
// one read of its whole length.
Tree readTree(const FolderItemPtr& folder, const QString& prefix = QString()) {
    Tree out;
    const int n = folder->Count();
    for (int i = 1; i <= n; ++i) {
        auto entry = folder->TrueItem(i);
        const QString path = prefix + entry->Name();
        if (entry->Directory()) {
            out[path] = kDir;
            out.insert(readTree(entry, path + QLatin1Char('/')));
        } else {
            auto in = entry->openForReading();
            out[path] = in ? in->Read(entry->Length()) : QByteArray("<unreadable>");
        }
    }
    return out;
}

std::shared_ptr<VirtualVolume> writePackage(const FolderItemPtr& file, const Tree& tree) {
    auto volume = file->CreateVirtualVolume();
    if (!volume) return nullptr;
    storeTree(volume->Root(), tree);
    EXPECT_TRUE(volume->Flush());
    return volume;
}

Tree readPackage(const FolderItemPtr& file) {
    auto volume = file->OpenAsVirtualVolume();
    return volume ? readTree(volume->Root()) : Tree{{"<not a package>", ""}};
}

QStringList leftovers(const TempDir& dir) {
    return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

// Takes write permission away for the life of the object; where permission
// bits do not bind (a superuser), the immutable flag does, if the file system has it.
class Unwritable {
public:
    explicit Unwritable(const QString& path) : mPath(QFile::encodeName(path)) {
        struct stat st {};
        ::stat(mPath.constData(), &st);
        mMode = st.st_mode & 07777;
        ::chmod(mPath.constData(), mMode & ~0222);
        if (::access(mPath.constData(), W_OK) != 0) return;
        mFd = ::open(mPath.constData(), O_RDONLY);
        int flags = 0;
        if (mFd >= 0 && ::ioctl(mFd, FS_IOC_GETFLAGS, &flags) == 0) {
            flags |= FS_IMMUTABLE_FL;
            ::ioctl(mFd, FS_IOC_SETFLAGS, &flags);
        }
    }
    ~Unwritable() {
        int flags = 0;
        if (mFd >= 0 && ::ioctl(mFd, FS_IOC_GETFLAGS, &flags) == 0) {
            flags &= ~FS_IMMUTABLE_FL;
            ::ioctl(mFd, FS_IOC_SETFLAGS, &flags);
        }
        if (mFd >= 0) ::close(mFd);
        ::chmod(mPath.constData(), mMode);
    }
    bool binds() const { return ::access(mPath.constData(), W_OK) != 0; }

private:
    QByteArray mPath;
    mode_t mMode = 0;
    int mFd = -1;
};

const Tree kPlugin = {
    {"Plugin", kDir},
    {"Plugin/Build Resources", kDir},
    {"Plugin/Build Resources/Linux x86", kDir},
    {"Plugin/Build Resources/Linux x86/lib.so", noise(70000, 1)},
    {"Plugin/Build Resources/Windows", kDir},
    {"Plugin/IDE Resources", kDir},
    {"Plugin/IDE Resources/help.html", "<html>help</html>"},
    {"Plugin/IDE Resources/empty.txt", ""},
};

}  // namespace

TEST(VirtualVolume, TreeRoundTripsThroughAPackage) {
    TempDir dir;
    Tree tree = kPlugin;
    for (const char* name :
         {"with blank", "it's", "say \"hi\"", "$(touch pwned)", "line\nbreak", "100% done#frag",
          "\xc3\x9cn\xc3\xaf"
          "c\xc3\xb6"
          "d\xc3\xa9",
          ".hidden", "back\\slash"})
        tree[QStringLiteral("Plugin/IDE Resources/") + QString::fromUtf8(name)] = name;
    tree["Plugin/IDE Resources/deep/er/still empty"] = kDir;
    tree["Plugin/IDE Resources/deep"] = kDir;
    tree["Plugin/IDE Resources/deep/er"] = kDir;
    tree["Plugin/Build Resources/Linux x86/big.so"] = noise(3 << 20, 2);

    writePackage(dir.item("Plugin.kvx"), tree);
    EXPECT_EQ(readPackage(dir.item("Plugin.kvx")), tree);
    EXPECT_EQ(leftovers(dir), QStringList{"Plugin.kvx"}) << "no temporary file stays behind";

    // The standard tool unpacks the same tree, byte for byte.
    dir.mkdir("x");
    ASSERT_EQ(
        runProcess("sqlite3", {dir.path("Plugin.kvx"), "-A", "-x", "-C", dir.path("x")}).exitCode,
        0);
    EXPECT_EQ(zpc::test::snapshotTree(dir.path("x")), tree);
}

TEST(VirtualVolume, FilesWhoseSizeDiffersFromTheAnnouncementAreStoredWhole) {
    struct Case {
        const char* name;
        qint64 announced;  // -1: nothing announced
        qint64 actual;
    };
    const Case cases[] = {
        {"exact large", 3 << 20, 3 << 20},
        {"fewer than announced", 3 << 20, (2 << 20) + 17},
        {"more than announced", 2 << 20, (7 << 19) + 5},
        {"large, unannounced", -1, (5 << 19) + 3},
        {"small, more", 100, 5000},
        {"announced, nothing came", 5000, 0},
    };
    TempDir dir;
    auto volume = dir.item("P.kvx")->CreateVirtualVolume();
    ASSERT_TRUE(volume);
    auto root = volume->Root();
    Tree expected;
    quint32 seed = 10;
    for (const Case& c : cases) {
        const QByteArray bytes = noise(c.actual, ++seed);
        auto out = BinaryStream::Create(root->Child(c.name), true);
        ASSERT_TRUE(out);
        if (c.announced >= 0) out->reserve(c.announced);
        for (qint64 pos = 0; pos < bytes.size(); pos += 4096) out->Write(bytes.mid(pos, 4096));
        EXPECT_EQ(out->Length(), c.actual) << c.name;
        out->Close();
        EXPECT_FALSE(out->hasError()) << c.name;
        expected[c.name] = bytes;
    }
    EXPECT_EQ(readTree(root), expected) << "readable before Flush";
    ASSERT_TRUE(volume->Flush());
    volume.reset();
    EXPECT_EQ(readPackage(dir.item("P.kvx")), expected);
    const auto check = runProcess("sqlite3", {dir.path("P.kvx"), "PRAGMA integrity_check"});
    EXPECT_EQ(check.output.trimmed(), "ok");
}

TEST(VirtualVolume, StandardToolListsExactlyWhatWasWritten) {
    TempDir dir;
    writePackage(dir.item("Plugin.kvx"), kPlugin);
    const auto listing = runProcess("sqlite3", {dir.path("Plugin.kvx"), "-A", "-tv"});
    ASSERT_EQ(listing.exitCode, 0) << listing.output.toStdString();
    static const QRegularExpression line(
        R"(^(\S+)\s+(\d+)\s+\d{4}-\d\d-\d\d \d\d:\d\d:\d\d  (.+)$)");
    QMap<QString, QString> listed;
    QStringList roots;
    for (const QString& text : QString::fromUtf8(listing.output).split('\n', Qt::SkipEmptyParts)) {
        const auto m = line.match(text);
        ASSERT_TRUE(m.hasMatch()) << text.toStdString();
        listed[m.captured(3)] = m.captured(1) + ' ' + m.captured(2);
        if (!m.captured(3).contains('/')) roots << m.captured(3);
    }
    QMap<QString, QString> expected;
    for (auto it = kPlugin.begin(); it != kPlugin.end(); ++it)
        expected[it.key()] = it.value() == kDir
                                 ? QStringLiteral("drwxr-xr-x 0")
                                 : QStringLiteral("-rw-r--r-- %1").arg(it.value().size());
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(roots, QStringList{"Plugin"});
}

TEST(VirtualVolume, OpensAPackageMadeByTheStandardToolWithCompression) {
    TempDir dir;
    Tree source = {
        {"P", kDir},
        {"P/text.html", QByteArray(20000, 'a') + "end"},
        {"P/noise.bin", noise(50000, 3)},
        {"P/empty", ""},
        {"P/sub", kDir},
        {"P/sub/nothing here", kDir},
        {"P/sub/big.txt", QByteArray("line of text\n").repeated(300000)},
    };
    for (auto it = source.begin(); it != source.end(); ++it) {
        if (it.value() == kDir)
            dir.mkdir("src/" + it.key());
        else
            dir.write("src/" + it.key(), it.value());
    }
    ASSERT_EQ(::symlink("text.html", QFile::encodeName(dir.path("src/P/link")).constData()), 0);
    const auto made =
        runProcess("sqlite3", {dir.path("P.kvx"), "-A", "-c", "-C", dir.path("src"), "P"});
    ASSERT_EQ(made.exitCode, 0) << made.output.toStdString();
    // The tool really compressed: otherwise this test proves nothing.
    const auto packed = runProcess(
        "sqlite3", {dir.path("P.kvx"), "SELECT count(*) FROM sqlar WHERE length(data) < sz"});
    ASSERT_EQ(packed.output.trimmed(), "2");

    EXPECT_EQ(readPackage(dir.item("P.kvx")), source) << "the link is left out";
}

TEST(VirtualVolume, CreateAnswersNilWhereNoPackageCanBeWritten) {
    TempDir dir;
    dir.mkdir("folder");
    dir.mkdir("locked");
    dir.write("protected.kvx", "old");
    Unwritable lockedFolder(dir.path("locked")), protectedFile(dir.path("protected.kvx"));

    EXPECT_FALSE(dir.item("missing/P.kvx")->CreateVirtualVolume()) << "folder missing";
    EXPECT_FALSE(dir.item("folder")->CreateVirtualVolume()) << "an existing folder";
    EXPECT_FALSE(dir.item()->Child("..")->CreateVirtualVolume()) << "a name that is no entry";
    if (lockedFolder.binds()) {
        EXPECT_FALSE(dir.item("locked/P.kvx")->CreateVirtualVolume()) << "unwritable folder";
    }
    if (protectedFile.binds()) {
        EXPECT_FALSE(dir.item("protected.kvx")->CreateVirtualVolume()) << "write-protected file";
    }
    EXPECT_EQ(dir.read("protected.kvx"), "old");

    auto volume = dir.item("P.kvx")->CreateVirtualVolume();
    ASSERT_TRUE(volume);
    EXPECT_FALSE(volume->Root()->Child("inner.kvx")->CreateVirtualVolume()) << "inside a volume";
    EXPECT_FALSE(volume->Root()->OpenAsVirtualVolume());
    if (!lockedFolder.binds() || !protectedFile.binds())
        GTEST_SKIP() << "no way to make an entry unwritable here";
}

TEST(VirtualVolume, EntriesMatchIgnoringCaseAndRefuseASecondCase) {
    TempDir dir;
    auto volume = dir.item("P.kvx")->CreateVirtualVolume();
    ASSERT_TRUE(volume);
    auto root = volume->Root();
    EXPECT_EQ(root->Name(), "P.kvx");
    EXPECT_TRUE(root->Directory());
    EXPECT_FALSE(root->Parent());

    auto plugin = root->Child("Plugin");
    EXPECT_FALSE(plugin->Exists());
    plugin->CreateAsFolder();
    EXPECT_EQ(plugin->LastErrorCode(), 0);
    plugin->CreateAsFolder();
    EXPECT_EQ(plugin->LastErrorCode(), 0) << "an existing folder is success";
    auto otherCase = root->Child("plugin");
    otherCase->CreateAsFolder();
    EXPECT_NE(otherCase->LastErrorCode(), 0) << "never merged into the folder of another case";
    EXPECT_EQ(root->Count(), 1);

    auto orphan = plugin->Child("no such")->Child("x");
    orphan->CreateAsFolder();
    EXPECT_NE(orphan->LastErrorCode(), 0);
    EXPECT_FALSE(BinaryStream::Create(orphan, true));

    auto readme = plugin->Child("ReadMe");
    auto out = BinaryStream::Create(readme, true);
    ASSERT_TRUE(out);
    out->Write("first");
    out->Close();
    EXPECT_FALSE(BinaryStream::Create(plugin->Child("README"), false)) << "exists already";
    EXPECT_FALSE(BinaryStream::Create(plugin->Child("README"), true))
        << "replacing a file of another case would lose one of the two";
    out = BinaryStream::Create(plugin->Child("ReadMe"), true);
    ASSERT_TRUE(out);
    out->Write("second");
    out->Close();
    auto fileAsFolder = plugin->Child("readme");
    fileAsFolder->CreateAsFolder();
    EXPECT_NE(fileAsFolder->LastErrorCode(), 0);
    EXPECT_FALSE(BinaryStream::Create(plugin, true)) << "a folder is not a file";

    ASSERT_EQ(plugin->Count(), 1);
    EXPECT_EQ(plugin->Item(1)->Name(), "ReadMe") << "the stored name stays";
    EXPECT_EQ(plugin->Item(1)->Length(), 6);
    EXPECT_EQ(plugin->Item(1)->openForReading()->Read(100), "second");
    EXPECT_TRUE(readme->sameFileAs(*plugin->Child("README")));
    EXPECT_FALSE(plugin->Child("..")->Exists());
    EXPECT_FALSE(plugin->Child("a/b")->openForReading());

    // Paths are for people only: nothing turns them back into files on disk.
    EXPECT_EQ(readme->NativePath(), dir.path("P.kvx") + "//Plugin/ReadMe");
    EXPECT_THROW(GetFolderItem(readme->URLPath()), UnsupportedFormatException);
    EXPECT_EQ(readme->Parent()->Parent()->Name(), "P.kvx");

    // The same names listed in the same order as on disk.
    const QStringList names = {"beta", "Alpha", "_under", "10", "2", "Gamma", "\xc3\xa9t\xc3\xa9",
                               "zeta", "Zulu",  ".hidden"};
    dir.mkdir("ondisk");
    for (const QString& name : names) {
        dir.write("ondisk/" + name, "x");
        auto f = BinaryStream::Create(plugin->Child(name), true);
        f->Write("x");
    }
    auto disk = dir.item("ondisk");
    const int n = disk->Count();
    ASSERT_EQ(plugin->Count(), n + 1);
    QStringList onDisk, inVolume;
    for (int i = 1; i <= n; ++i) onDisk << disk->Item(i)->Name();
    for (int i = 1; i <= n + 1; ++i)
        if (plugin->Item(i)->Name() != "ReadMe") inVolume << plugin->Item(i)->Name();
    EXPECT_EQ(inVolume, onDisk);

    ASSERT_TRUE(volume->Flush());
    auto late = plugin->Child("after flush");
    late->CreateAsFolder();
    EXPECT_NE(late->LastErrorCode(), 0);
    EXPECT_EQ(readme->openForReading()->Read(100), "second") << "still readable after Flush";

    auto reopened = dir.item("P.kvx")->OpenAsVirtualVolume();
    ASSERT_TRUE(reopened);
    auto again = reopened->Root()->Child("PLUGIN");
    EXPECT_TRUE(again->Directory());
    auto refused = again->Child("new");
    refused->CreateAsFolder();
    EXPECT_NE(refused->LastErrorCode(), 0) << "opened read-only";
    again->CreateAsFolder();
    EXPECT_EQ(again->LastErrorCode(), 0);
    EXPECT_FALSE(BinaryStream::Create(again->Child("x"), true));
    EXPECT_FALSE(reopened->Flush());
}

TEST(VirtualVolume, VolumeReleasedWithoutFlushWritesNothing) {
    TempDir dir;
    writePackage(dir.item("Old.kvx"), kPlugin);
    const QByteArray before = dir.read("Old.kvx");
    for (const char* name : {"Old.kvx", "New.kvx"}) {
        auto volume = dir.item(name)->CreateVirtualVolume();
        ASSERT_TRUE(volume);
        storeTree(volume->Root(), {{"Other", kDir}, {"Other/f", noise(3 << 20, 4)}});
        auto open = BinaryStream::Create(volume->Root()->Child("Other")->Child("open"), true);
        open->Write("still writing");
        volume.reset();
        open->Write("more");
        open->Close();
        EXPECT_TRUE(open->hasError());
    }
    EXPECT_EQ(dir.read("Old.kvx"), before);
    EXPECT_EQ(leftovers(dir), QStringList{"Old.kvx"});
}

TEST(VirtualVolume, SavingOverThePackageBeingReadWorks) {
    TempDir dir;
    auto file = dir.item("P.kvx");
    const Tree old = {{"P", kDir}, {"P/big", noise(3 << 20, 5)}};
    writePackage(file, old);
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path("P.kvx")).constData(), 0640), 0);
    auto reader = file->OpenAsVirtualVolume();
    ASSERT_TRUE(reader);
    auto in = reader->Root()->Child("P")->Child("big")->openForReading();
    ASSERT_TRUE(in);
    QByteArray got = in->Read(1000);

    const Tree fresh = {{"P", kDir}, {"P/small", "new"}};
    ASSERT_TRUE(writePackage(file, fresh));
    while (!in->isEOF()) got += in->Read(1 << 20);
    EXPECT_EQ(got, old["P/big"]) << "the old package stays readable to whoever has it open";
    EXPECT_EQ(readPackage(file), fresh);
    EXPECT_EQ(QFileInfo(dir.path("P.kvx")).permissions(), QFile::ReadOwner | QFile::WriteOwner |
                                                              QFile::ReadUser | QFile::WriteUser |
                                                              QFile::ReadGroup)
        << "the replaced package's permissions stay";
}

TEST(VirtualVolume, KilledSaveLeavesThePreviousPackageIntact) {
    TempDir dir;
    auto file = dir.item("P.kvx");
    writePackage(file, kPlugin);
    const QByteArray before = dir.read("P.kvx");

    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(ready[0]);
        auto volume = file->CreateVirtualVolume();
        if (volume) {
            auto root = volume->Root();
            root->Child("P")->CreateAsFolder();
            for (int i = 0; i < 200; ++i) {
                auto out = BinaryStream::Create(root->Child("P")->Child(QString::number(i)), true);
                out->Write(noise(20000, quint32(i)));
            }
            auto big = BinaryStream::Create(root->Child("P")->Child("big"), true);
            big->reserve(8 << 20);
            big->Write(noise(3 << 20, 6));
        }
        const char state = volume ? 'w' : 'n';
        if (::write(ready[1], &state, 1) != 1) ::_exit(1);
        for (;;) ::pause();
    }
    ::close(ready[1]);
    char state = 0;
    ASSERT_EQ(::read(ready[0], &state, 1), 1);
    ::close(ready[0]);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ASSERT_EQ(state, 'w');

    EXPECT_EQ(dir.read("P.kvx"), before);
    EXPECT_EQ(readPackage(file), kPlugin);
    const QStringList left = leftovers(dir);
    ASSERT_EQ(left.size(), 2) << left.join(", ").toStdString();
    EXPECT_EQ(left.filter(QRegularExpression(R"(^\.P\.kvx\.\w{8}\.tmp$)")).size(), 1)
        << "the killed save's file, under a name a later save recognises";

    // The next save clears what the killed one left.
    const Tree fresh = {{"P", kDir}, {"P/f", "new"}};
    writePackage(file, fresh);
    EXPECT_EQ(readPackage(file), fresh);
    EXPECT_EQ(leftovers(dir), QStringList{"P.kvx"});
}

TEST(VirtualVolume, SaveThatRunsOutOfSpaceFailsAndKeepsThePreviousPackage) {
    TempDir dir;
    auto file = dir.item("P.kvx");
    writePackage(file, kPlugin);
    const QByteArray before = dir.read("P.kvx");

    // A file-size limit stands in for a full disk.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit limit = {rlim_t(before.size() + (256 << 10)),
                                     rlim_t(before.size() + (256 << 10))};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        auto volume = file->CreateVirtualVolume();
        if (!volume) ::_exit(3);
        storeTree(volume->Root(), {{"P", kDir}, {"P/big", noise(4 << 20, 7)}});
        const bool flushed = volume->Flush();
        volume.reset();
        ::_exit(flushed ? 1 : 0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "Flush must report the failure";
    EXPECT_EQ(dir.read("P.kvx"), before);
    EXPECT_EQ(leftovers(dir), QStringList{"P.kvx"});
}

// Packages that come from elsewhere: each is refused, or opens without what
// is wrong in it. Nothing crashes and nothing outside the package is read.
TEST(VirtualVolume, ForeignPackagesAreReadSafely) {
    struct Case {
        const char* name;
        const char* sql;  // run by the standard tool on a fresh file; nil: see below
        Tree expected;    // empty: the file is not a package
    };
    const char* table =
        "CREATE TABLE sqlar(name TEXT PRIMARY KEY, mode INT, mtime INT, sz INT, "
        "data BLOB);";
    auto sql = [&](const char* rows) { return QByteArray(table) + rows; };
    const QByteArray deflated =
        QByteArray::fromHex("789c4b4c1c05a360140c770000f9d87af8");  // "a" x 1000
    const QByteArray ok =
        "INSERT INTO sqlar VALUES('P', 16877, 0, 0, NULL),"
        "('P/ok', 33188, 0, 2, X'6f6b');";
    const Tree plain = {{"P", kDir}, {"P/ok", "ok"}};
    const std::vector<std::pair<QString, QByteArray>> scripts = {
        {"no table", "CREATE TABLE files(name TEXT, data BLOB);"},
        {"wrong columns", "CREATE TABLE sqlar(name TEXT PRIMARY KEY, content BLOB);"},
        {"a view",
         "CREATE TABLE t(a); CREATE VIEW sqlar AS SELECT 'P' AS name, 16877 AS mode, "
         "0 AS mtime, 0 AS sz, NULL AS data;"},
        {"hostile names",
         sql("INSERT INTO sqlar VALUES('../evil', 33188, 0, 1, X'41'), ('/abs', 33188, 0, 1, "
             "X'41'), ('P//x', 33188, 0, 1, X'41'), ('', 33188, 0, 1, X'41'), "
             "('P/./y', 33188, 0, 1, X'41'), ('P/../z', 33188, 0, 1, X'41'), "
             "('P/end/', 16877, 0, 0, NULL), ('P/nul' || char(0) || 'x', 33188, 0, 1, X'41'), "
             "(rtrim(replace(hex(zeroblob(2100)), '00', 'a/'), '/'), 16877, 0, 0, NULL);") +
             ok},
        {"case duplicates", sql("INSERT INTO sqlar VALUES('P/Readme', 33188, 0, 1, X'61'), "
                                "('P/README', 33188, 0, 1, X'41'), ('p', 16877, 0, 0, NULL);") +
                                ok},
        {"parent is a file", sql("INSERT INTO sqlar VALUES('P/f', 33188, 0, 1, X'41'), "
                                 "('P/f/x', 33188, 0, 1, X'42'), ('P/f/d', 16877, 0, 0, NULL);") +
                                 ok},
        {"folders named only by their entries",
         sql("INSERT INTO sqlar VALUES('Q/a/b.txt', 33188, 0, 2, X'6869');")},
        {"sizes that do not fit the data",
         sql("INSERT INTO sqlar VALUES('P/huge', 33188, 0, 1099511627776, X'00112233'),"
             "('P/bomb', 33188, 0, 500000000, X'789c0000'),"
             "('P/longer', 33188, 0, 1, X'4142'),"
             "('P/negative', 33188, 0, -5, X''),"
             "('P/null data', 33188, 0, 3, NULL),"
             "('P/garbage', 33188, 0, 100, X'00112233445566778899'),"
             "('P/one short', 33188, 0, 999, X'" +
             deflated.toHex() +
             "'),"
             "('P/one long', 33188, 0, 1001, X'" +
             deflated.toHex() +
             "'),"
             "('P/inflates', 33188, 0, 1000, X'" +
             deflated.toHex() +
             "'),"
             "('P/link', 41471, 0, 2, X'6f6b'), ('P/text', 33188, 0, 2, 'ok');") +
             ok},
    };
    const std::vector<Tree> expectations = {
        {},
        {},
        {},
        plain,
        {{"P", kDir}, {"P/ok", "ok"}, {"P/README", "A"}},
        {{"P", kDir}, {"P/ok", "ok"}, {"P/f", "A"}},
        {{"Q", kDir}, {"Q/a", kDir}, {"Q/a/b.txt", "hi"}},
        {{"P", kDir},
         {"P/ok", "ok"},
         {"P/garbage", "<unreadable>"},
         {"P/one short", "<unreadable>"},
         {"P/one long", "<unreadable>"},
         {"P/inflates", QByteArray(1000, 'a')}},
    };

    TempDir dir;
    for (size_t i = 0; i < scripts.size(); ++i) {
        const QString path = dir.path(QStringLiteral("case%1.kvx").arg(i));
        const auto made = runProcess("sqlite3", {path, QString::fromUtf8(scripts[i].second)});
        ASSERT_EQ(made.exitCode, 0) << scripts[i].first.toStdString() << made.output.toStdString();
        auto volume = folderItemForPath(path)->OpenAsVirtualVolume();
        if (expectations[i].isEmpty()) {
            EXPECT_FALSE(volume) << scripts[i].first.toStdString();
        } else {
            ASSERT_TRUE(volume) << scripts[i].first.toStdString();
            EXPECT_EQ(readTree(volume->Root()), expectations[i]) << scripts[i].first.toStdString();
        }
    }

    // Files that are no database, or no longer a whole one.
    dir.write("text.kvx", "just some text, not a package\n");
    dir.write("zipped/P/a.txt", "hello");
    ASSERT_EQ(
        runProcess("sh", {"-c", "cd '" + dir.path("zipped") + "' && zip -qr ../P.zip P"}).exitCode,
        0);
    writePackage(dir.item("whole.kvx"), kPlugin);
    const QByteArray whole = dir.read("whole.kvx");
    dir.write("header only.kvx", whole.left(100));
    dir.write("first page.kvx", whole.left(65536));
    QByteArray scrambled = whole;
    for (qint64 i = 65536 + 100; i < scrambled.size(); i += 7) scrambled[i] = char(i * 31);
    dir.write("scrambled.kvx", scrambled);
    dir.write("empty.kvx", "");
    for (const char* name : {"text.kvx", "P.zip", "header only.kvx", "first page.kvx", "empty.kvx"})
        EXPECT_FALSE(dir.item(name)->OpenAsVirtualVolume()) << name;
    EXPECT_FALSE(dir.item("zipped")->OpenAsVirtualVolume()) << "a folder";
    EXPECT_FALSE(dir.item("missing.kvx")->OpenAsVirtualVolume());
    if (auto volume = dir.item("scrambled.kvx")->OpenAsVirtualVolume())
        readTree(volume->Root());  // whatever it lists, reading it must not crash
}
