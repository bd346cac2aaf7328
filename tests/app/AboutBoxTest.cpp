#include "app/AboutBox.h"
#include "controls/Canvas.h"
#include "platform/Application.h"
#include "platform/BundlePictures.h"
#include "platform/Picture.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>

using namespace zpc;

namespace {

int aboutBoxes() {
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        n += qobject_cast<app::AboutBox*>(w) != nullptr;
    return n;
}

void processDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace

TEST(AboutBox, VersionLineDropsTheFirstWord) {
    struct Case {
        const char* longVersion;
        const char* line;
    };
    for (const Case& c : {Case{"ZanthPluginConverter 1.0.0 build 12", "1.0.0 build 12"},
                          Case{"Name 1.2.3 build 4", "1.2.3 build 4"}, Case{"NoBlank", ""},
                          Case{"", ""}, Case{"A  B", " B"}})
        EXPECT_EQ(app::AboutBox::versionLine(c.longVersion), c.line) << c.longVersion;
}

TEST(AboutBox, OneBoxAtATimeWithItsTextsIconAndVersion) {
    platform::Application::setLongVersion("ZanthPluginConverter 1.0.0 build 12");
    QPointer<app::AboutBox> box = app::AboutBox::showSingle();
    ASSERT_TRUE(box);
    EXPECT_EQ(app::AboutBox::showSingle(), box.data());
    EXPECT_EQ(aboutBoxes(), 1);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->windowTitle(), "About...");
    EXPECT_EQ(box->size(), QSize(336, 284));
    EXPECT_EQ(box->minimumSize(), box->maximumSize()) << "not resizable";

    EXPECT_EQ(box->StaticText1->text(), "ZanthPluginConverter");
    EXPECT_EQ(box->StaticText11->text(), "1.0.0 build 12");
    EXPECT_EQ(
        box->StaticText2->text(),
        "This program converts a plugin from old to new formats(either kvx or zanth), or makes "
        "a new-format plugin from an expanded folder hierarchy.  See the associated Read Me "
        "file for details.\r");
    EXPECT_EQ(box->PushButton1->text(), "OK");
    EXPECT_EQ(box->Canvas1->geometry(), QRect(136, 14, 64, 64));
    EXPECT_EQ(box->StaticText1->geometry(), QRect(20, 90, 296, 35));
    EXPECT_EQ(box->StaticText11->geometry(), QRect(20, 137, 296, 24));
    EXPECT_EQ(box->StaticText2->geometry(), QRect(20, 173, 296, 59));
    EXPECT_EQ(box->PushButton1->geometry(), QRect(136, 244, 64, 20));

    // The icon, fitted to the canvas, is what the canvas shows.
    const QImage icon = platform::pictures::appIcon()->composed();
    const QImage shown = box->Canvas1->grab().toImage();
    ASSERT_EQ(shown.size(), QSize(64, 64));
    int opaque = 0, same = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            if (qAlpha(icon.pixel(x, y)) == 255) {
                ++opaque;
                same += shown.pixel(x, y) == icon.pixel(x, y);
            }
    EXPECT_GT(opaque, 500);
    EXPECT_EQ(same, opaque);

    QTest::keyClick(box, Qt::Key_Return);
    processDeletes();
    EXPECT_FALSE(box) << "Return closes the box";
    EXPECT_EQ(aboutBoxes(), 0);

    QPointer<app::AboutBox> again = app::AboutBox::showSingle();
    ASSERT_TRUE(again);
    QTest::mouseClick(again->PushButton1, Qt::LeftButton);
    processDeletes();
    EXPECT_FALSE(again);
    EXPECT_EQ(app::AboutBox::instance(), nullptr);
}
