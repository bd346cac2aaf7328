#include "platform/Exceptions.h"
#include "platform/Shell.h"
#include "support/TestSupport.h"
#include "util/WytFramework.h"

#include <QDateTime>
#include <QFile>
#include <QRegularExpression>
#include <sys/stat.h>
#include <unistd.h>

using namespace zpc::platform;
using namespace zpc::util;
using zpc::test::TempDir;

TEST(CreateUID, TimeStampThenTwoSixDigitDraws) {
    const QString before = QDateTime::currentDateTime().toString("yyyyMMddhhmm");
    const QString uid = WytFramework::createUID();
    static const QRegularExpression shape("^\\d{14}\\.\\d{6}\\.\\d{6}$");
    EXPECT_TRUE(shape.match(uid).hasMatch()) << uid.toStdString();
    EXPECT_EQ(uid.size(), 28);
    const QString after = QDateTime::currentDateTime().toString("yyyyMMddhhmm");
    EXPECT_TRUE(uid.startsWith(before) || uid.startsWith(after)) << uid.toStdString();
    EXPECT_NE(WytFramework::createUID(), WytFramework::createUID());
}

TEST(FileExtension, TextAfterTheLastDotAsStored) {
    TempDir dir;
    struct Case {
        const char* name;
        const char* ext;
    };
    for (const Case& c : {Case{"Build Resources", ""}, Case{"trailing.", ""}, Case{".hidden", "hidden"},
                          Case{"My.Plugin.KVX", "KVX"}, Case{"page.html", "html"}, Case{"a..b", "b"},
                          Case{"x.zanth_plugin", "zanth_plugin"}})
        EXPECT_EQ(WytFramework::fileExtension(dir.item()->Child(QString::fromLatin1(c.name))),
                  QString::fromLatin1(c.ext))
            << c.name;
    EXPECT_THROW(WytFramework::fileExtension(nullptr), NilObjectException);
}

TEST(RecursiveDelete, MissingAndLockedItemsAreLeftAlone) {
    TempDir dir;
    EXPECT_EQ(WytFramework::recursiveDelete(dir.item("missing")), -50);
    dir.write("locked", "keep");
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path("locked")).constData(), 0444), 0);
    EXPECT_EQ(WytFramework::recursiveDelete(dir.item("locked")), -50);
    EXPECT_EQ(dir.read("locked"), "keep");
    EXPECT_THROW(WytFramework::recursiveDelete(nullptr), NilObjectException);
}

TEST(RecursiveDelete, RemovesANestedTreeWithBlanksAndNothingElse) {
    TempDir dir;
    dir.write("My Plugin/Build Resources/Windows/a lib.dll", "x");
    dir.write("My Plugin/IDE Resources/Help/.hidden", "x");
    dir.write("My Plugin 2/keep", "x");
    dir.write("My", "keep");
    EXPECT_EQ(WytFramework::recursiveDelete(dir.item("My Plugin")), 0);
    EXPECT_FALSE(dir.exists("My Plugin"));
    EXPECT_TRUE(dir.exists("My Plugin 2/keep"));
    EXPECT_TRUE(dir.exists("My"));
}

TEST(RecursiveDelete, ShellCharactersDeleteExactlyThatItemAndRunNothing) {
    TempDir dir;
    const QStringList names = {"it's", "say \"hi\"", "$(touch pwned)", "`touch pwned`", "a;touch pwned",
                               "star*", "new\nline", "-rf", "x && touch pwned"};
    for (const QString& name : names) dir.write(name + "/inside", "x");
    dir.write("star-sibling", "keep");
    dir.write("a", "keep");
    for (const QString& name : names) {
        EXPECT_EQ(WytFramework::recursiveDelete(dir.item()->Child(name)), 0) << name.toStdString();
        EXPECT_FALSE(dir.exists(name)) << name.toStdString();
    }
    EXPECT_FALSE(dir.exists("pwned"));
    EXPECT_FALSE(QFile::exists("pwned"));
    EXPECT_EQ(dir.read("star-sibling"), "keep");
    EXPECT_EQ(dir.read("a"), "keep");
}

TEST(RecursiveDelete, ALinkIsDeletedAsItselfNotItsTarget) {
    TempDir dir;
    dir.write("target/file", "keep");
    ASSERT_EQ(::symlink("target", QFile::encodeName(dir.path("link")).constData()), 0);
    ASSERT_EQ(::symlink("gone", QFile::encodeName(dir.path("dangling")).constData()), 0);
    EXPECT_EQ(WytFramework::recursiveDelete(dir.item("link")), 0);
    EXPECT_EQ(WytFramework::recursiveDelete(dir.item("dangling")), 0);
    EXPECT_EQ(dir.read("target/file"), "keep");
    EXPECT_EQ(dir.item()->Count(), 1);
}

TEST(RecursiveDelete, NoShellGives101) {
    TempDir dir;
    dir.write("f", "x");
    Shell::setShellProgram("/nonexistent/sh");
    const int code = WytFramework::recursiveDelete(dir.item("f"));
    Shell::setShellProgram("/bin/sh");
    EXPECT_EQ(code, 101);
    EXPECT_TRUE(dir.exists("f"));
}
