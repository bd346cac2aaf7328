#include "platform/BinaryStream.h"
#include "platform/DiskFolderItem.h"
#include "platform/Exceptions.h"
#include "platform/Shell.h"
#include "support/TestSupport.h"

#include <QFile>
#include <cerrno>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace zpc::platform;
using zpc::test::TempDir;

namespace {

QStringList listNames(const FolderItemPtr& folder) {
    QStringList names;
    const int n = folder->Count();
    for (int i = 1; i <= n; ++i) names << folder->Item(i)->Name();
    return names;
}

// Names that break naive quoting or URL handling.
const QStringList kHostileNames = {
    QStringLiteral("plain"),
    QStringLiteral("with blank"),
    QStringLiteral("it's"),
    QStringLiteral("say \"hi\""),
    QStringLiteral("$(touch pwned)"),
    QStringLiteral("a;b&c|d"),
    QStringLiteral("star*?[x]"),
    QStringLiteral("back\\slash`tick`"),
    QStringLiteral("line\nbreak"),
    QStringLiteral("100% done#frag"),
    QStringLiteral("Ünïcödé ñame"),
    QStringLiteral(".hidden"),
    QStringLiteral("-dash"),
};

}  // namespace

TEST(FolderItem, ListsEntriesIgnoringCaseWithByteTieBreak) {
    TempDir dir;
    for (const char* n : {"beta", "Alpha", "alpha", "Gamma", "_under", "10", "2"})
        dir.write(QString::fromLatin1(n), "x");
    auto folder = dir.item();
    EXPECT_EQ(listNames(folder), (QStringList{"10", "2", "_under", "Alpha", "alpha", "beta", "Gamma"}));
    EXPECT_EQ(folder->Item(0), nullptr);
    EXPECT_EQ(folder->Item(8), nullptr);
    EXPECT_EQ(dir.item("beta")->Count(), 0) << "a file has no entries";
}

TEST(FolderItem, ItemFollowsLinksAndTrueItemDoesNot) {
    TempDir dir;
    dir.mkdir("target");
    ASSERT_EQ(::symlink("target", QFile::encodeName(dir.path("link")).constData()), 0);
    ASSERT_EQ(::symlink("nowhere", QFile::encodeName(dir.path("dangling")).constData()), 0);
    auto folder = dir.item();
    ASSERT_EQ(folder->Count(), 3);
    // dangling, link, target
    EXPECT_FALSE(folder->Item(1)->Exists());
    EXPECT_TRUE(folder->TrueItem(1)->Exists());
    EXPECT_TRUE(folder->Item(2)->Directory());
    EXPECT_FALSE(folder->TrueItem(2)->Directory());
    EXPECT_TRUE(folder->TrueItem(2)->IsSymbolicLink());
    EXPECT_TRUE(folder->TrueItem(3)->Directory());
}

TEST(FolderItem, ChildNamesThatCannotBeEntriesNeverExistNorGetCreated) {
    TempDir dir;
    dir.mkdir("sub");
    auto sub = dir.item("sub");
    for (const QString& bad : {QString(), QStringLiteral("."), QStringLiteral(".."),
                               QStringLiteral("../escape"), QStringLiteral("a/b")}) {
        auto child = sub->Child(bad);
        EXPECT_FALSE(child->Exists()) << bad.toStdString();
        child->CreateAsFolder();
        EXPECT_NE(child->LastErrorCode(), 0) << bad.toStdString();
        EXPECT_EQ(BinaryStream::Create(child, true), nullptr) << bad.toStdString();
        EXPECT_THROW(GetFolderItem(child->URLPath()), UnsupportedFormatException) << bad.toStdString();
    }
    EXPECT_FALSE(dir.exists("escape"));
    EXPECT_EQ(dir.item()->Count(), 1);
}

TEST(FolderItem, CreateAsFolderReportsErrors) {
    TempDir dir;
    auto fresh = dir.item("fresh");
    fresh->CreateAsFolder();
    EXPECT_EQ(fresh->LastErrorCode(), 0);
    EXPECT_TRUE(fresh->Directory());
    fresh->CreateAsFolder();
    EXPECT_EQ(fresh->LastErrorCode(), 0) << "an existing folder counts as created";
    dir.write("file", "x");
    auto onFile = dir.item("file");
    onFile->CreateAsFolder();
    EXPECT_EQ(onFile->LastErrorCode(), EEXIST);
    auto deep = dir.item("missing/child");
    deep->CreateAsFolder();
    EXPECT_EQ(deep->LastErrorCode(), ENOENT);
}

TEST(FolderItem, NamesParentsAndVisibility) {
    TempDir dir;
    dir.write(".secret", "x");
    auto hidden = dir.item(".secret");
    EXPECT_EQ(hidden->Name(), ".secret");
    EXPECT_FALSE(hidden->Visible());
    EXPECT_TRUE(dir.item()->Visible());
    EXPECT_EQ(hidden->Parent()->NativePath(), dir.path());
    EXPECT_EQ(folderItemForPath("/")->Parent(), nullptr);
    EXPECT_EQ(folderItemForPath(dir.path("a/../b//c/."))->NativePath(), dir.path("b/c"));
    EXPECT_EQ(folderItemForPath(dir.path("b/"))->NativePath(), dir.path("b"));
    EXPECT_EQ(folderItemForPath(dir.path("..b/.c/..."))->NativePath(), dir.path("..b/.c/..."));
    EXPECT_EQ(folderItemForPath("/..")->NativePath(), "/");
}

TEST(FolderItem, IsFileAndDelete) {
    TempDir dir;
    dir.write("f", "x");
    dir.mkdir("d/inner");
    ASSERT_EQ(::symlink("f", QFile::encodeName(dir.path("link")).constData()), 0);
    EXPECT_TRUE(dir.item("f")->IsFile());
    EXPECT_FALSE(dir.item("d")->IsFile());
    EXPECT_FALSE(dir.item("missing")->IsFile());

    EXPECT_TRUE(dir.item("link")->Delete()) << "the link itself goes";
    EXPECT_TRUE(dir.exists("f"));
    auto d = dir.item("d");
    EXPECT_FALSE(d->Delete()) << "a folder that is not empty stays";
    EXPECT_EQ(d->LastErrorCode(), ENOTEMPTY);
    EXPECT_TRUE(dir.item("d/inner")->Delete());
    EXPECT_TRUE(dir.item("f")->Delete());
    EXPECT_FALSE(dir.item("f")->Delete());
    EXPECT_FALSE(dir.item()->Child("..")->Delete());
    EXPECT_TRUE(dir.exists("d"));
}

TEST(FolderItem, LockedWhenTheOwnerMayNotWrite) {
    TempDir dir;
    dir.write("f", "x");
    auto f = dir.item("f");
    EXPECT_FALSE(f->Locked());
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path("f")).constData(), 0444), 0);
    EXPECT_TRUE(f->Locked());
    EXPECT_FALSE(dir.item("missing")->Locked());
}

TEST(FolderItem, ShellPathIsOneWordForEveryCharacter) {
    TempDir dir;
    for (const QString& name : kHostileNames) {
        auto item = dir.item()->Child(name);
        Shell shell;
        // printf prints its argument unchanged only when the quoting holds.
        shell.Execute(QStringLiteral("printf '%s|' ") + item->ShellPath());
        EXPECT_EQ(shell.ErrorCode(), 0) << name.toStdString();
        EXPECT_EQ(shell.Result(), item->NativePath() + QLatin1Char('|')) << name.toStdString();
    }
    EXPECT_FALSE(QFile::exists(QStringLiteral("pwned")));
    EXPECT_EQ(dir.item()->Count(), 0) << "nothing was created by a quoted name";
}

TEST(FolderItem, UrlPathRoundTripsAndIsPercentEncoded) {
    TempDir dir;
    for (const QString& name : kHostileNames) {
        dir.write(name, name.toUtf8());
        auto item = dir.item()->Child(name);
        const QString url = item->URLPath();
        EXPECT_TRUE(url.startsWith("file:///")) << url.toStdString();
        for (QChar c : url.mid(7))
            EXPECT_TRUE(c.unicode() < 128 && !c.isSpace() && c != '"' && c != '\'' && c != '#')
                << url.toStdString();
        auto back = GetFolderItem(url);
        EXPECT_EQ(back->NativePath(), item->NativePath());
        EXPECT_TRUE(back->Exists());
    }
}

TEST(FolderItem, GetFolderItemRejectsOtherForms) {
    for (const char* bad : {"http://example.com/x", "relative/path", "file://host/x", "file:///a%2", "file:///a%zz",
                            "file:///a%00b", ""})
        EXPECT_THROW(GetFolderItem(QString::fromLatin1(bad)), UnsupportedFormatException) << bad;
    EXPECT_EQ(GetFolderItem("file://localhost/tmp")->NativePath(), "/tmp");
}

TEST(FolderItem, NamesThatAreNotUtf8StillResolve) {
    TempDir dir;
    const QByteArray raw = QFile::encodeName(dir.path()) + "/bad\xff\xfename";
    FILE* out = std::fopen(raw.constData(), "w");
    ASSERT_NE(out, nullptr);
    std::fputs("data", out);
    std::fclose(out);
    auto folder = dir.item();
    ASSERT_EQ(folder->Count(), 1);
    auto entry = folder->TrueItem(1);
    EXPECT_TRUE(entry->Exists());
    auto stream = BinaryStream::Open(entry);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->Read(100), "data");
    EXPECT_TRUE(GetFolderItem(entry->URLPath())->Exists());
}

TEST(FolderItem, MacCodesTravelInTheFinderInfoAttribute) {
    TempDir dir;
    dir.write("pkg.kvx", "x");
    auto f = dir.item("pkg.kvx");
    const QByteArray probe = QFile::encodeName(dir.path("pkg.kvx"));
    if (::setxattr(probe.constData(), "user.probe", "1", 1, 0) != 0) GTEST_SKIP() << "no user xattrs";
    EXPECT_EQ(f->MacType(), "");
    f->setMacCreator("KVv2");
    f->setMacType("KVPx");
    EXPECT_EQ(f->MacType(), "KVPx");
    EXPECT_EQ(f->MacCreator(), "KVv2");
    // The blob is AppleDouble v2 with the Finder info entry (id 9).
    char blob[128];
    const ssize_t n = ::getxattr(probe.constData(), "user.org.netatalk.Metadata", blob, sizeof blob);
    ASSERT_GE(n, 26 + 12 + 32);
    EXPECT_EQ(QByteArray(blob, 8), QByteArray("\x00\x05\x16\x07\x00\x02\x00\x00", 8));
    EXPECT_EQ(QByteArray(blob + 38, 8), "KVPxKVv2");
}

TEST(FolderItem, SameFileAsSeesThroughLinksAndPaths) {
    TempDir dir;
    dir.write("a", "x");
    dir.write("b", "x");
    ASSERT_EQ(::symlink("a", QFile::encodeName(dir.path("la")).constData()), 0);
    EXPECT_TRUE(dir.item("a")->sameFileAs(*dir.item("la")));
    EXPECT_TRUE(dir.item("a")->sameFileAs(*folderItemForPath(dir.path("sub/../a"))));
    EXPECT_FALSE(dir.item("a")->sameFileAs(*dir.item("b")));
    EXPECT_FALSE(dir.item("a")->sameFileAs(*dir.item("missing")));
}
