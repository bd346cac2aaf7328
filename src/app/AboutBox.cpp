#include "app/AboutBox.h"

#include "controls/Canvas.h"
#include "platform/Application.h"
#include "platform/BundlePictures.h"
#include "platform/Text.h"
#include "util/WytFramework.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>

namespace zpc::app {

namespace {

QPointer<AboutBox> gAboutBox;

QLabel* label(QWidget* parent, const QString& text, const QRect& geometry, bool small,
              bool multiLine) {
    auto* l = new QLabel(text, parent);
    l->setGeometry(geometry);
    l->setTextFormat(Qt::PlainText);
    l->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    l->setWordWrap(multiLine);
    l->setTextInteractionFlags(Qt::NoTextInteraction);
    QPalette colours = l->palette();
    colours.setColor(QPalette::WindowText, Qt::black);
    l->setPalette(colours);
    if (small) {
        QFont f = l->font();
        f.setPointSizeF(qMax(6.0, f.pointSizeF() - 2));
        l->setFont(f);
    }
    return l;
}

}  // namespace

const QString AboutBox::kDescription = QStringLiteral(
    "This program converts a plugin from old to new formats(either kvx or zanth), or makes a "
    "new-format plugin from an expanded folder hierarchy.  See the associated Read Me file for "
    "details.\r");

AboutBox::AboutBox()
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("About..."));
    setFixedSize(336, 284);

    Canvas1 = new controls::Canvas(this);
    Canvas1->setGeometry(136, 14, 64, 64);
    StaticText1 =
        label(this, QStringLiteral("ZanthPluginConverter"), QRect(20, 90, 296, 35), false, false);
    StaticText11 =
        label(this, QStringLiteral("iPlimsor Plugin"), QRect(20, 137, 296, 24), false, false);
    StaticText2 = label(this, kDescription, QRect(20, 173, 296, 59), true, true);
    PushButton1 = new QPushButton(QStringLiteral("OK"), this);
    PushButton1->setGeometry(136, 244, 64, 20);
    PushButton1->setDefault(true);
    PushButton1->setFocus();
    connect(PushButton1, &QPushButton::clicked, this, &AboutBox::PushButton1_Action);

    Canvas1_Open();
    StaticText11_Open();
}

AboutBox* AboutBox::instance() {
    return gAboutBox.data();
}

AboutBox* AboutBox::showSingle() {
    if (!gAboutBox) gAboutBox = new AboutBox();
    gAboutBox->show();
    gAboutBox->raise();
    gAboutBox->activateWindow();
    return gAboutBox;
}

QString AboutBox::versionLine(const QString& longVersion) {
    QStringList words = platform::text::split(longVersion, QStringLiteral(" "));
    if (!words.isEmpty()) words.removeFirst();
    return words.join(QLatin1Char(' '));
}

void AboutBox::Canvas1_Open() {
    Canvas1->setBackdrop(util::WytFramework::pictureScaled(platform::pictures::appIcon(),
                                                           Canvas1->width(), Canvas1->height()));
}

void AboutBox::StaticText11_Open() {
    StaticText11->setText(versionLine(platform::Application::LongVersion()));
}

void AboutBox::PushButton1_Action() {
    close();
}

void AboutBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        PushButton1->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace zpc::app
