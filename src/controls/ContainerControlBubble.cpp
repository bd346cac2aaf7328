#include "controls/ContainerControlBubble.h"

#include "controls/Canvas.h"
#include "controls/RoundRectangle.h"
#include "controls/WytButton.h"
#include "platform/BundlePictures.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

namespace zpc::controls {

namespace {

// Positions are given from the bubble's top-left corner; the widget starts
// kPointerOverhang further left to make room for the pointer.
QRect at(int left, int top, int width, int height) {
    return QRect(left + ContainerControlBubble::kPointerOverhang, top, width, height);
}

}  // namespace

ContainerControlBubble::ContainerControlBubble(const QString& text, QWidget* parent)
    : QWidget(parent) {
    setFixedSize(kWidth + kPointerOverhang, kHeight);

    RoundRectangle1 = new RoundRectangle(this);
    RoundRectangle1->setGeometry(at(14, 14, 286, 58));
    RoundRectangle1->setOval(16, 16);
    RoundRectangle1->setFillColor(QColor(0x23, 0x23, 0x23));
    RoundRectangle1->setBorder(QColor(0x19, 0x19, 0x19), 0);

    // The field and the button sit inside the rectangle; their positions are
    // the bubble's, so they are moved by the rectangle's own offset.
    const QPoint inside = -RoundRectangle1->pos() + QPoint(kPointerOverhang, 0);
    TextField1 = new QLineEdit(RoundRectangle1);
    TextField1->setGeometry(QRect(QPoint(28, 20) + inside, QSize(260, 22)));
    TextField1->setFrame(true);
    QPalette fieldColours = TextField1->palette();
    fieldColours.setColor(QPalette::Base, Qt::white);
    fieldColours.setColor(QPalette::Text, Qt::black);
    TextField1->setPalette(fieldColours);

    PushButton1 = new QPushButton(QStringLiteral("Apply"), RoundRectangle1);
    PushButton1->setGeometry(QRect(QPoint(208, 53) + inside, QSize(80, 16)));
    PushButton1->setDefault(true);
    QFont small = PushButton1->font();
    small.setPointSizeF(qMax(6.0, small.pointSizeF() - 2));
    PushButton1->setFont(small);
    PushButton1->setStyleSheet(QStringLiteral(
        "QPushButton { border: 1px solid #8c8c8c; border-radius: 7px; background: #f0f0f0;"
        " color: black; padding: 0 6px; }"
        "QPushButton:pressed { background: #c8c8c8; }"));
    setTabOrder(TextField1, PushButton1);

    Canvas1 = new WytButton(this);
    Canvas1->setGeometry(at(282, 0, 30, 30));

    Canvas2 = new Canvas(this);
    Canvas2->setGeometry(at(-4, 30, 24, 24));
    Canvas2->setBackdrop(platform::pictures::arrow());

    Canvas1_Open();
    connect(Canvas1, &WytButton::Action, this, &ContainerControlBubble::Canvas1_Action);
    connect(PushButton1, &QPushButton::clicked, this, &ContainerControlBubble::PushButton1_Action);

    TextField1->setText(text);
}

void ContainerControlBubble::Canvas1_Open() {
    Canvas1->initWithIcons(platform::pictures::abort(), platform::pictures::abortP(), nullptr);
}

void ContainerControlBubble::EmbedWithin(QWidget* window, int left, int top) {
    if (!window || mClosed) return;
    if (mWatched) mWatched->removeEventFilter(this);
    setParent(window);
    move(left - kPointerOverhang, top);
    mWatched = window->window();
    mWatched->installEventFilter(this);
    show();
    raise();
}

void ContainerControlBubble::Close() {
    if (mClosed) return;
    mClosed = true;
    if (mWatched) mWatched->removeEventFilter(this);
    hide();
    QPointer<ContainerControlBubble> self(this);
    // A copy: the delegate may release the bubble's owner and with it the bubble.
    const CloseBubble notify = closeDelegate;
    if (notify) notify();
    if (self) deleteLater();
}

void ContainerControlBubble::Canvas1_Action() {
    Close();
}

void ContainerControlBubble::PushButton1_Action() {
    if (mClosed) return;
    QPointer<ContainerControlBubble> self(this);
    emit Apply(TextField1->text());
    if (!self || mClosed) return;
    if (applyDelegate) {
        const ActionBubble apply = applyDelegate;
        apply(TextField1->text());
        if (!self) return;
    }
    Close();
}

void ContainerControlBubble::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        PushButton1->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

// The window's close event comes before the window decides; only a hide that
// follows it means the window really closed.
bool ContainerControlBubble::eventFilter(QObject* watched, QEvent* event) {
    if (watched == mWatched) {
        if (event->type() == QEvent::Close) {
            mWindowClosing = true;
        } else if (event->type() == QEvent::Hide && mWindowClosing && !event->spontaneous()) {
            Close();
        } else if (event->type() == QEvent::Show) {
            mWindowClosing = false;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace zpc::controls
