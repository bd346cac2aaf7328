#include "controls/Canvas.h"
#include "controls/ContainerControlBubble.h"
#include "controls/RoundRectangle.h"
#include "controls/WytButton.h"
#include "platform/BundlePictures.h"
#include "platform/Picture.h"
#include "support/TestSupport.h"

#include <QCloseEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

using namespace zpc::controls;
using namespace zpc::platform;

namespace {

// A window that may refuse to close, as an editor with unsaved changes does.
class Window : public QWidget {
public:
    bool refuseClose = false;

protected:
    void closeEvent(QCloseEvent* event) override {
        if (refuseClose) event->ignore();
    }
};

class BubbleTest : public ::testing::Test {
protected:
    BubbleTest() {
        window = new Window;
        window->resize(420, 300);
        window->show();
    }
    ~BubbleTest() override { delete window.data(); }

    // A bubble whose every effect is written to the log, in order.
    ContainerControlBubble* open(const QString& text, bool delegates = true) {
        auto* b = new ContainerControlBubble(text);
        if (delegates) {
            QObject::connect(b, &ContainerControlBubble::Apply,
                             [this](const QString& t) { log << "event:" + t; });
            b->applyDelegate = [this, b](const QString& t) {
                log << "apply:" + t + (b->isVisible() ? "" : " (hidden)");
            };
            b->closeDelegate = [this, b] {
                log << QString("close") + (b->isVisible() ? "" : " (hidden)");
            };
        }
        b->EmbedWithin(window, 100, 50);
        bubble = b;
        return b;
    }
    static void deleteLater() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    QPointer<Window> window;
    QPointer<ContainerControlBubble> bubble;
    QStringList log;
};

}  // namespace

TEST_F(BubbleTest, LayoutColoursAndPointer) {
    auto* b = open("Help Pages");
    // The widget starts 4 pixels left of the bubble to hold the pointer.
    EXPECT_EQ(b->geometry(), QRect(96, 50, 316, 74));
    EXPECT_EQ(b->Height(), 74);
    auto inBubble = [b](QWidget* w) {
        return QRect(w->mapTo(b, QPoint(0, 0)) - QPoint(4, 0), w->size());
    };
    EXPECT_EQ(inBubble(b->RoundRectangle1), QRect(14, 14, 286, 58));
    EXPECT_EQ(inBubble(b->TextField1), QRect(28, 20, 260, 22));
    EXPECT_EQ(inBubble(b->PushButton1), QRect(208, 53, 80, 16));
    EXPECT_EQ(inBubble(b->Canvas1), QRect(282, 0, 30, 30));
    EXPECT_EQ(inBubble(b->Canvas2), QRect(-4, 30, 24, 24));
    EXPECT_EQ(b->TextField1->text(), "Help Pages");
    EXPECT_EQ(b->PushButton1->text(), "Apply");
    EXPECT_TRUE(b->PushButton1->isDefault());
    EXPECT_EQ(b->Canvas1->Backdrop(), pictures::abort());
    EXPECT_EQ(b->Canvas2->Backdrop(), pictures::arrow());

    const QImage shot = window->grab().toImage();
    const QPoint origin(100, 50);
    EXPECT_EQ(shot.pixelColor(origin + QPoint(150, 66)), QColor(0x23, 0x23, 0x23)) << "panel";
    EXPECT_EQ(shot.pixelColor(origin + QPoint(14, 14)), shot.pixelColor(2, 2)) << "rounded corner";
    EXPECT_EQ(shot.pixelColor(origin + QPoint(5, 5)), shot.pixelColor(2, 2)) << "no background";
    // The pointer's opaque pixels, including those left of the bubble.
    const QImage arrow = pictures::arrow()->composed();
    int compared = 0;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 24; ++x)
            if (qAlpha(arrow.pixel(x, y)) == 255) {
                EXPECT_EQ(shot.pixelColor(origin + QPoint(x - 4, y + 30)), arrow.pixelColor(x, y));
                ++compared;
            }
    EXPECT_GT(compared, 20);
}

TEST_F(BubbleTest, ApplyRaisesTheEventThenTheDelegateThenClosesThenTellsTheCloseDelegate) {
    struct Case {
        const char* initial;
        const char* typed;  // nullptr: leave the text as it is
        bool byReturn;
        QString applied;
    };
    for (const Case& c :
         {Case{"Old", "New Name", false, "New Name"}, Case{"Same", nullptr, false, "Same"},
          Case{"Gone", "", false, ""}, Case{"Old", "By Key", true, "By Key"}}) {
        log.clear();
        auto* b = open(c.initial);
        if (c.typed) b->TextField1->setText(c.typed);
        if (c.byReturn) {
            b->TextField1->setFocus();
            QTest::keyClick(b->TextField1, Qt::Key_Return);
        } else {
            QTest::mouseClick(b->PushButton1, Qt::LeftButton);
        }
        EXPECT_EQ(log, QStringList({"event:" + c.applied, "apply:" + c.applied, "close (hidden)"}))
            << c.initial;
        deleteLater();
        EXPECT_FALSE(bubble) << "released after closing";
    }
}

TEST_F(BubbleTest, CloseButtonOnlyCloses) {
    open("Name");
    bubble->TextField1->setText("Edited");
    QTest::mouseClick(bubble->Canvas1, Qt::LeftButton, {}, QPoint(15, 15));
    EXPECT_EQ(log, QStringList({"close (hidden)"}));
    bubble->Close();
    EXPECT_EQ(log.size(), 1) << "closed once";
    deleteLater();
    EXPECT_FALSE(bubble);
}

TEST_F(BubbleTest, WithoutDelegatesApplyAndCloseButtonStillClose) {
    open("A", false);
    QTest::mouseClick(bubble->PushButton1, Qt::LeftButton);
    EXPECT_TRUE(bubble->isClosed());
    open("B", false);
    QTest::mouseClick(bubble->Canvas1, Qt::LeftButton, {}, QPoint(15, 15));
    EXPECT_TRUE(bubble->isClosed());
    deleteLater();
    EXPECT_FALSE(bubble);
}

TEST_F(BubbleTest, ClosingTheWindowClosesTheBubbleButARefusedCloseDoesNot) {
    open("Name");
    window->refuseClose = true;
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(log.isEmpty());
    EXPECT_TRUE(bubble->isVisible());
    window->refuseClose = false;
    EXPECT_TRUE(window->close());
    EXPECT_EQ(log, QStringList({"close (hidden)"}));
    EXPECT_TRUE(bubble->isClosed());
}

TEST_F(BubbleTest, AWindowDeletedWithItsBubbleCallsNothing) {
    open("Name");
    delete window.data();
    EXPECT_FALSE(bubble);
    EXPECT_TRUE(log.isEmpty());
}
