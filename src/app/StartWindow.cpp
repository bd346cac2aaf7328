#include "app/StartWindow.h"

#include "app/App.h"
#include "app/Menu.h"
#include "platform/BundlePictures.h"
#include "platform/Picture.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace zpc::app {

StartWindow::StartWindow(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QCoreApplication::applicationName());
    Menu::instance().installInto(menuBar());

    auto* content = new QWidget(this);
    auto* outer = new QVBoxLayout(content);
    outer->setContentsMargins(24, 20, 24, 24);
    outer->setSpacing(14);

    auto* heading = new QHBoxLayout();
    auto* logo = new QLabel(content);
    if (platform::PicturePtr icon = platform::pictures::appIcon())
        logo->setPixmap(QPixmap::fromImage(icon->composed())
                            .scaled(48, 48, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    heading->addWidget(logo);
    auto* title = new QLabel(
        QStringLiteral("<b>%1</b><br>Make a new plugin, open one, or convert one to a single-file "
                       "plugin.")
            .arg(QCoreApplication::applicationName().toHtmlEscaped()),
        content);
    title->setWordWrap(true);
    heading->addWidget(title, 1);
    outer->addLayout(heading);

    auto* grid = new QGridLayout();
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(8);
    struct Entry {
        const char* item;
        const char* text;
        int row, column;
    };
    const Entry entries[] = {
        {"FileNew", "New", 0, 0},
        {"FileOpen", "Open...", 0, 1},
        {"FileOpenFolder", "Open Folder Hierarchy...", 0, 2},
        {"FileNewClassicHierarchy", "New (Classic Hierarchy)", 1, 0},
        {"ConvertOldPluginFormat", "Convert Old Plugin Format...", 1, 1},
        {"ConvertFolderHierarchy", "Convert Folder Hierarchy...", 1, 2},
    };
    for (const Entry& e : entries) {
        auto* b = new QPushButton(QString::fromLatin1(e.text), content);
        b->setObjectName(QString::fromLatin1(e.item));
        b->setAutoDefault(false);
        const QString item = QString::fromLatin1(e.item);
        connect(b, &QPushButton::clicked, this, [item] { Menu::instance().choose(item); });
        grid->addWidget(b, e.row, e.column);
        mButtons << b;
    }
    outer->addLayout(grid);
    outer->addStretch(1);
    setCentralWidget(content);
    resize(sizeHint().expandedTo(QSize(520, 190)));
}

QPushButton* StartWindow::button(const QString& itemName) const {
    for (QPushButton* b : mButtons)
        if (b->objectName() == itemName) return b;
    return nullptr;
}

void StartWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    if (hasApp() && !app().quitting()) app().FileQuit_Action();
}

}  // namespace zpc::app
