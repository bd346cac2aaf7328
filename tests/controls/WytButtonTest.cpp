#include "controls/WytButton.h"
#include "platform/Picture.h"
#include "support/TestSupport.h"

#include <QEnterEvent>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

using namespace zpc::controls;
using namespace zpc::platform;

namespace {

// Opens the protected state for checks.
class Button : public WytButton {
public:
    using WytButton::mIconDisabled;
    using WytButton::mIconNormal;
    using WytButton::mIconPressed;
    using WytButton::mStatus;
    using WytButton::WytButton;
};

const QColor kIconColour(200, 100, 60);

PicturePtr solid(int w, int h, QColor color, QImage::Format format = QImage::Format_RGB32) {
    QImage img(w, h, format);
    img.fill(color);
    return std::make_shared<Picture>(img);
}

class WytButtonTest : public zpc::test::ScriptedUITest {
protected:
    WytButtonTest() {
        window.resize(200, 120);
        window.move(300, 200);
        button = new Button(&window);
        button->setGeometry(10, 20, 40, 30);
        // A different size from the control's, so the pictures are fitted.
        button->initWithIcons(solid(80, 60, kIconColour), nullptr, nullptr);
        window.show();
        actions = std::make_unique<QSignalSpy>(button, &WytButton::Action);
    }

    void press(QPoint at) { QTest::mousePress(button, Qt::LeftButton, {}, at); }
    void drag(QPoint at) { QTest::mouseMove(button, at); }
    void release(QPoint at) { QTest::mouseRelease(button, Qt::LeftButton, {}, at); }
    void enter() {
        QEnterEvent event(QPointF(5, 5), QPointF(15, 25), button->mapToGlobal(QPointF(5, 5)));
        QCoreApplication::sendEvent(button, &event);
    }
    void leave() {
        QEvent event(QEvent::Leave);
        QCoreApplication::sendEvent(button, &event);
    }
    QColor shown(QPoint at = {20, 15}) { return button->grab().toImage().pixelColor(at); }

    QWidget window;
    Button* button = nullptr;
    std::unique_ptr<QSignalSpy> actions;
};

}  // namespace

TEST_F(WytButtonTest, PushButtonFollowsThePointerAndActsOnlyWhenReleasedOverItself) {
    press({5, 5});
    EXPECT_EQ(button->mStatus, 1);
    EXPECT_EQ(button->Backdrop(), button->mIconPressed);
    drag({-1, 5});
    EXPECT_EQ(button->mStatus, 0);
    EXPECT_EQ(button->Backdrop(), button->mIconNormal);
    drag({40, 30});  // the right and bottom edges count as inside
    EXPECT_EQ(button->mStatus, 1);
    EXPECT_EQ(button->Backdrop(), button->mIconPressed);
    release({40, 30});
    EXPECT_EQ(actions->count(), 1);
    EXPECT_EQ(button->mStatus, 0);
    EXPECT_EQ(button->Backdrop(), button->mIconNormal);

    press({5, 5});
    drag({41, 5});
    release({41, 5});
    EXPECT_EQ(actions->count(), 1) << "released outside: no Action";
    EXPECT_EQ(button->mStatus, 0);
    EXPECT_EQ(button->Backdrop(), button->mIconNormal);
}

TEST_F(WytButtonTest, ToggleActsOnEveryPressAndValueOnlyTakesOnEnabledToggles) {
    button->setValue(true);
    EXPECT_FALSE(button->value()) << "a push button takes no value";
    EXPECT_EQ(actions->count(), 0);
    button->setButtonStyle(7);
    EXPECT_EQ(button->buttonStyle(), 0);
    button->setButtonStyle(1);
    for (int i = 1; i <= 3; ++i) {
        press({5, 5});
        drag({-10, 5});
        release({-10, 5});
        EXPECT_EQ(actions->count(), i);
        EXPECT_EQ(button->value(), i % 2 == 1);
    }
    EXPECT_EQ(button->Backdrop(), button->mIconPressed);
    button->setValue(true);
    EXPECT_EQ(actions->count(), 4) << "Action even when the value does not change";
    button->setEnabled(false);
    button->setValue(false);
    EXPECT_TRUE(button->value());
    EXPECT_EQ(actions->count(), 4);
}

TEST_F(WytButtonTest, DisabledButtonShowsItsDisabledPictureAndIgnoresTheMouse) {
    button->setEnabled(false);
    EXPECT_EQ(button->Backdrop(), button->mIconDisabled);
    press({5, 5});
    release({5, 5});
    EXPECT_EQ(actions->count(), 0);
    EXPECT_EQ(button->mStatus, 0);
    button->setEnabled(true);
    EXPECT_EQ(button->Backdrop(), button->mIconNormal);
}

TEST_F(WytButtonTest, GeneratedPicturesDarkenWhenPressedAndFadeWhenDisabled) {
    const QImage normal = button->mIconNormal->composed();
    const QImage pressed = button->mIconPressed->composed();
    const QImage disabled = button->mIconDisabled->composed();
    ASSERT_EQ(normal.size(), QSize(40, 30));
    for (QPoint at : {QPoint(0, 0), QPoint(20, 15), QPoint(39, 29)}) {
        EXPECT_EQ(normal.pixelColor(at), kIconColour);
        const QColor p = pressed.pixelColor(at);
        // 135/255 of the icon under a black layer.
        EXPECT_NEAR(p.red(), 200 * 135 / 255, 2);
        EXPECT_NEAR(p.green(), 100 * 135 / 255, 2);
        EXPECT_NEAR(p.blue(), 60 * 135 / 255, 2);
        EXPECT_EQ(p.alpha(), 255);
        const QColor d = disabled.pixelColor(at);
        EXPECT_NEAR(d.alpha(), 250, 1);
        EXPECT_NEAR(d.red(), 200, 1);
    }
    // And on screen.
    EXPECT_EQ(shown(), kIconColour);
    press({5, 5});
    EXPECT_NEAR(shown().red(), 105, 2);
    release({5, 5});
    EXPECT_EQ(shown(), kIconColour);
}

TEST_F(WytButtonTest, OnlyMissingPicturesAreGenerated) {
    PicturePtr given = solid(40, 30, Qt::blue);
    button->initWithIcons(solid(40, 30, Qt::red), given, solid(40, 30, Qt::gray));
    EXPECT_EQ(button->mIconPressed, given) << "the control's size: the picture itself";
    EXPECT_EQ(button->mIconDisabled->composed().pixelColor(3, 3), QColor(Qt::gray));

    button->initWithIcons(solid(40, 30, Qt::red), given, nullptr);
    EXPECT_EQ(button->mIconPressed, given);
    ASSERT_TRUE(button->mIconDisabled);
    EXPECT_NEAR(button->mIconDisabled->composed().pixelColor(3, 3).alpha(), 250, 1);

    // Transparency kept in the pixels: there is no mask to generate from.
    button->initWithIcons(solid(40, 30, Qt::red, QImage::Format_ARGB32), nullptr, nullptr);
    EXPECT_TRUE(button->mIconNormal);
    EXPECT_FALSE(button->mIconPressed);
    EXPECT_FALSE(button->mIconDisabled);

    PicturePtr before = button->mIconNormal;
    button->initWithIcons(nullptr, given, given);
    EXPECT_EQ(button->mIconNormal, before) << "a nil normal picture changes nothing";

    // An icon with its own mask: half the icon transparent.
    QImage m(2, 1, QImage::Format_Grayscale8);
    m.setPixelColor(0, 0, Qt::black);
    m.setPixelColor(1, 0, Qt::white);
    button->initWithIconAndMask(solid(8, 8, Qt::red), std::make_shared<Picture>(m));
    EXPECT_EQ(button->mIconNormal->composed().pixelColor(5, 10), QColor(Qt::red));
    EXPECT_EQ(button->mIconNormal->composed().pixelColor(35, 10).alpha(), 0);
    EXPECT_EQ(button->Backdrop(), button->mIconNormal);
}

TEST_F(WytButtonTest, RollOverReplacesOnlyTheIdlePicture) {
    QSignalSpy entered(button, &WytButton::MouseEnter);
    QSignalSpy exited(button, &WytButton::MouseExit);
    enter();
    EXPECT_EQ(button->mStatus, 2);
    EXPECT_EQ(button->Backdrop(), button->mIconNormal) << "no roll-over picture set";
    leave();
    EXPECT_EQ(button->mStatus, 0);

    button->setRollOver(solid(20, 15, Qt::green));
    ASSERT_TRUE(button->rollOver());
    EXPECT_EQ(QSize(button->rollOver()->Width(), button->rollOver()->Height()), QSize(40, 30));
    enter();
    EXPECT_EQ(button->Backdrop(), button->rollOver());
    EXPECT_EQ(shown(), QColor(Qt::green));
    leave();
    EXPECT_EQ(button->Backdrop(), button->mIconNormal);

    button->setButtonStyle(1);
    button->setValue(true);
    enter();
    leave();
    EXPECT_EQ(button->Backdrop(), button->mIconPressed) << "an on toggle keeps its picture";
    EXPECT_EQ(entered.count(), 3);
    EXPECT_EQ(exited.count(), 3);
}

TEST_F(WytButtonTest, MenuPopsUpInsideTheCornerAndActsOnlyOnAChoice) {
    auto menu = MenuItem::create();
    menu->Append(MenuItem::create("One", 1));
    menu->Append(MenuItem::create("-"));
    menu->Append(MenuItem::create("Two", 2));
    button->setAttachedMenu(menu);

    ui->queuePopUpAnswer(2);
    press({7, 3});
    ASSERT_EQ(ui->popUps().size(), 1u);
    EXPECT_EQ(ui->popUps()[0].entries, QStringList({"One", "-", "Two"}));
    EXPECT_EQ(ui->popUps()[0].globalPosition, button->mapToGlobal(QPoint(32, 22)));
    EXPECT_EQ(actions->count(), 1);
    ASSERT_TRUE(button->menuValue());
    EXPECT_EQ(button->menuValue()->Tag.toInt(), 2);
    EXPECT_EQ(button->mStatus, 0);
    EXPECT_EQ(button->Backdrop(), button->mIconNormal);
    drag({-10, -10});
    EXPECT_EQ(button->mStatus, 0) << "no drag tracking with a menu";

    ui->queuePopUpAnswer(-1);  // dismissed
    press({7, 3});
    EXPECT_EQ(actions->count(), 1);
    EXPECT_EQ(button->menuValue(), nullptr);
    ui->queuePopUpAnswer(1);  // the separator
    press({7, 3});
    EXPECT_EQ(actions->count(), 1);
    EXPECT_EQ(button->menuValue(), nullptr);
}

TEST_F(WytButtonTest, RefreshRectPaintsThePictureOfTheStateWithoutPoppingTheMenuAgain) {
    auto menu = MenuItem::create();
    menu->Append(MenuItem::create("One"));
    button->setAttachedMenu(menu);
    button->mStatus = 1;
    button->RefreshRect(0, 0, 40, 30);
    EXPECT_TRUE(ui->popUps().empty());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    // What reached the screen, not a fresh rendering of the backdrop.
    auto onScreen = [this] {
        const QPoint at = button->mapTo(&window, QPoint(20, 15));
        return QGuiApplication::primaryScreen()
            ->grabWindow(window.winId(), at.x(), at.y(), 1, 1)
            .toImage()
            .pixelColor(0, 0);
    };
    EXPECT_EQ(onScreen(), kIconColour);
    EXPECT_EQ(button->Backdrop(), button->mIconNormal);
    button->RefreshRect(0, 0, 40, 30);
    EXPECT_NEAR(onScreen().red(), 105, 2) << "the pressed picture, painted directly";
}
