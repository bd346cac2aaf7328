#include "platform/Exceptions.h"
#include "platform/Picture.h"
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

// Pictures ----------------------------------------------------------------

namespace {

PicturePtr solid(int w, int h, QColor color, QImage::Format format = QImage::Format_RGB32) {
    QImage img(w, h, format);
    img.fill(color);
    return std::make_shared<Picture>(img);
}

// The rectangle of drawn (non-transparent) pixels; every pixel inside it must
// be fully opaque and every pixel outside fully transparent.
QRect opaqueArea(const PicturePtr& pic) {
    const QImage drawn = pic->composed();
    QRect area;
    for (int y = 0; y < drawn.height(); ++y)
        for (int x = 0; x < drawn.width(); ++x)
            if (qAlpha(drawn.pixel(x, y)) != 0) area |= QRect(x, y, 1, 1);
    for (int y = 0; y < drawn.height(); ++y)
        for (int x = 0; x < drawn.width(); ++x)
            if (qAlpha(drawn.pixel(x, y)) != (area.contains(x, y) ? 255 : 0)) return QRect(-1, -1, 0, 0);
    return area;
}

}  // namespace

TEST(PictureFitting, WholeSourceCentredProportionsKeptTruncatedInDoubles) {
    struct Case {
        int sw, sh, w, h;
        QRect drawn;
    };
    for (const Case& c : {
             Case{100, 50, 40, 40, {0, 10, 40, 20}},
             Case{50, 100, 40, 40, {10, 0, 20, 40}},
             Case{30, 30, 40, 20, {10, 0, 20, 20}},
             Case{10, 10, 40, 40, {0, 0, 40, 40}},   // enlarged
             Case{3, 2, 10, 10, {0, 2, 10, 6}},      // 6.67 truncated, offsets too
             Case{5, 9, 15, 80, {0, 27, 15, 26}},    // 15 * (1 / (5/9)) is 26.99999... in doubles
             Case{10, 3, 100, 30, {0, 0, 100, 30}},  // exactly the box's proportion
             Case{7, 3, 100, 3, {46, 0, 7, 3}},
         })
        EXPECT_EQ(WytFramework::fittedRect(c.sw, c.sh, c.w, c.h), c.drawn)
            << c.sw << "x" << c.sh << " in " << c.w << "x" << c.h;
}

TEST(PictureFitting, NilAndEmptySizesGiveNilOwnSizeGivesTheSamePicture) {
    PicturePtr pic = solid(30, 20, Qt::red);
    EXPECT_EQ(WytFramework::pictureScaled(pic, 30, 20), pic);
    EXPECT_EQ(WytFramework::pictureScaled(nullptr, 30, 20), nullptr);
    PicturePtr mask = Picture::createGrey(30, 20, 0);
    for (auto [w, h] : {std::pair{0, 20}, {30, 0}, {-1, 20}, {30, -5}}) {
        EXPECT_EQ(WytFramework::pictureScaled(pic, w, h), nullptr) << w << "x" << h;
        EXPECT_EQ(WytFramework::pictureMasked(pic, mask, w, h), nullptr) << w << "x" << h;
    }
    EXPECT_EQ(WytFramework::pictureMasked(pic, nullptr, 30, 20), nullptr);
    EXPECT_EQ(WytFramework::pictureMasked(nullptr, mask, 30, 20), nullptr);
}

TEST(PictureFitting, ScaledPicturesFillExactlyTheFittedRectangleWithTransparentMargins) {
    // Without alpha the picture goes through its (made) mask; with alpha through its pixels.
    PicturePtr opaque = solid(100, 50, Qt::red);
    PicturePtr scaled = WytFramework::pictureScaled(opaque, 40, 40);
    ASSERT_TRUE(scaled);
    EXPECT_TRUE(scaled->hasMask());
    EXPECT_EQ(QSize(scaled->Width(), scaled->Height()), QSize(40, 40));
    EXPECT_EQ(opaqueArea(scaled), QRect(0, 10, 40, 20));
    EXPECT_EQ(scaled->composed().pixelColor(20, 20), QColor(Qt::red));

    PicturePtr alpha = solid(50, 100, Qt::blue, QImage::Format_ARGB32);
    PicturePtr fitted = WytFramework::pictureScaled(alpha, 40, 40);
    ASSERT_TRUE(fitted);
    EXPECT_FALSE(fitted->hasMask());
    EXPECT_EQ(opaqueArea(fitted), QRect(10, 0, 20, 40));
    EXPECT_EQ(fitted->composed().pixelColor(20, 20), QColor(Qt::blue));
}

TEST(PictureFitting, MaskIsStretchedIntoTheSourceRectangle) {
    // A 2x2 mask for a 100x50 source: left column opaque, right column transparent.
    QImage m(2, 2, QImage::Format_Grayscale8);
    m.setPixelColor(0, 0, Qt::black);
    m.setPixelColor(0, 1, Qt::black);
    m.setPixelColor(1, 0, Qt::white);
    m.setPixelColor(1, 1, Qt::white);
    PicturePtr result =
        WytFramework::pictureMasked(solid(100, 50, Qt::green), std::make_shared<Picture>(m), 40, 40);
    ASSERT_TRUE(result);
    const QImage drawn = result->composed();
    for (int y : {10, 20, 29}) {
        EXPECT_EQ(qAlpha(drawn.pixel(2, y)), 255) << y;
        EXPECT_EQ(qAlpha(drawn.pixel(37, y)), 0) << y;
    }
    for (int x : {2, 37}) {
        EXPECT_EQ(qAlpha(drawn.pixel(x, 9)), 0) << "margin above";
        EXPECT_EQ(qAlpha(drawn.pixel(x, 30)), 0) << "margin below";
    }
}

TEST(PictureFitting, WhiteStaysTransparentForPicturesThatDrawWhiteTransparent) {
    QImage img(4, 4, QImage::Format_RGB32);
    img.fill(Qt::white);
    img.setPixelColor(0, 0, Qt::black);
    auto pic = std::make_shared<Picture>(img);
    pic->setTransparent(1);
    PicturePtr scaled = WytFramework::pictureScaled(pic, 8, 8);
    ASSERT_TRUE(scaled);
    EXPECT_EQ(qAlpha(scaled->composed().pixel(7, 7)), 0);
    EXPECT_EQ(scaled->composed().pixelColor(0, 0), QColor(Qt::black));
}
