#include "editor/PluginViewerWindow.h"

#include "controls/ContainerControlBubble.h"
#include "editor/BevelButton.h"
#include "editor/DocumentHost.h"
#include "editor/PluginListBox.h"
#include "editor/PluginViewerWindowBusy.h"
#include "platform/BundlePictures.h"
#include "platform/Yield.h"

#include <QCloseEvent>
#include <QMenuBar>
#include <algorithm>
#include <vector>

namespace zpc::editor {

using archive::PluginArchive;

const QString PluginViewerWindow::kListHelpTag = QStringLiteral(
    "You can drag and drop files/folders and drag reorder them, click Save to save changes.");
const QString PluginViewerWindow::kRootHelpTag = QStringLiteral("Right click to rename the plugin");

namespace {
std::vector<PluginViewerWindow*>& registry() {
    static std::vector<PluginViewerWindow*> windows;
    return windows;
}
}  // namespace

PluginViewerWindow::PluginViewerWindow() {
    setAttribute(Qt::WA_DeleteOnClose);
    setMinimumSize(64, 64);
    setMaximumSize(32000, 32000);
    mContent = new QWidget(this);
    setCentralWidget(mContent);
    resize(kWidth, kHeight);
    setTitle(QStringLiteral("Untitled"));
    CreateControls();
    AddMenuHandlers();
    registry().push_back(this);
}

PluginViewerWindow::~PluginViewerWindow() {
    auto& all = registry();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
}

QList<PluginViewerWindow*> PluginViewerWindow::windows() {
    QList<PluginViewerWindow*> open;
    for (PluginViewerWindow* w : registry())
        if (!w->mClosed) open << w;
    return open;
}

PluginViewerWindow* PluginViewerWindow::create(std::shared_ptr<PluginArchive> archive) {
    auto* window = new PluginViewerWindow();
    if (!archive || !archive->isValid()) {
        // Closed during construction: never shown.
        window->mClosed = true;
        delete window;
        return nullptr;
    }
    if (platform::FolderItemPtr source = archive->dataSource()) {
        window->setTitle(source->Name());
    } else {
        window->setTitle(archive->name() + QLatin1Char('.') + PluginArchive::fileExtension());
        // A plugin that exists only in memory counts as unsaved.
        window->_handleChanges(true);
    }
    window->mArchive = std::move(archive);
    window->RepopulateListbox();
    window->present();
    return window;
}

PluginViewerWindow* PluginViewerWindow::create(bool classic) {
    auto* window = new PluginViewerWindow();
    window->mArchive = PluginArchive::create(classic);
    if (DocumentHost* host = documentHost())
        window->mArchive->compressorAgent = host->compressDelegate();
    window->setTitle(window->mArchive->name() + QLatin1Char('.') + PluginArchive::fileExtension());
    window->RepopulateListbox();
    window->_handleChanges(true);
    window->present();
    return window;
}

void PluginViewerWindow::present() {
    if (DocumentHost* host = documentHost()) host->documentWindowOpened(this);
    // The layout's size is the content's; a menu bar of the window's own
    // comes on top of it.
    const int bar = menuWidget() ? menuWidget()->sizeHint().height() : 0;
    resize(kWidth, kHeight + bar);
    show();
    raise();
    activateWindow();
}

void PluginViewerWindow::setTitle(const QString& title) {
    mTitle = title;
    setWindowTitle(title + QStringLiteral("[*]"));
}

void PluginViewerWindow::CreateControls() {
    mListBox1 = new PluginListBox(mContent);
    mListBox1->setObjectName(QStringLiteral("ListBox1"));
    mListBox1->setToolTip(kListHelpTag);
    mListBox1->cellBackgroundPaint = [this](QPainter& g, int row, int column) {
        return ListBox1_CellBackgroundPaint(g, row, column);
    };
    mListBox1->cellTextPaint = [this](QPainter& g, int row, int column, int x, int y) {
        return ListBox1_CellTextPaint(g, row, column, x, y);
    };
    connect(mListBox1, &PluginListBox::ExpandRow, this, &PluginViewerWindow::ListBox1_ExpandRow);
    connect(mListBox1, &PluginListBox::CollapseRow, this,
            &PluginViewerWindow::ListBox1_CollapseRow);
    connect(mListBox1, &PluginListBox::DoubleClick, this,
            &PluginViewerWindow::ListBox1_DoubleClick);
    connect(mListBox1, &PluginListBox::Change, this, &PluginViewerWindow::ListBox1_Change);
    mListBox1->dragEnter = [this](const QMimeData* items) { return ListBox1_DragEnter(items); };
    mListBox1->dragOver = [this](int x, int y, const QMimeData* items) {
        return ListBox1_DragOver(x, y, items);
    };
    mListBox1->dragExit = [this](const QMimeData* items) { ListBox1_DragExit(items); };
    mListBox1->dropObject = [this](const QMimeData* items) { ListBox1_DropObject(items); };
    mListBox1->dragReorderRows = [this](int newPosition, int parentRow) {
        return ListBox1_DragReorderRows(newPosition, parentRow);
    };
    mListBox1->constructContextualMenu = [this](const controls::MenuItemPtr& menu, int x, int y) {
        return ListBox1_ConstructContextualMenu(menu, x, y);
    };
    mListBox1->contextualMenuAction = [this](const controls::MenuItemPtr& item) {
        return ListBox1_ContextualMenuAction(item);
    };
    // Keys: Delete removes as the button does, Insert pops up the add
    // button's menu, F2 renames at the row.
    connect(mListBox1, &PluginListBox::DeleteKey, this, [this] {
        if (mBtnDelete->isEnabled()) BtnDelete_Action();
    });
    connect(mListBox1, &PluginListBox::InsertKey, this, [this] { mBtnAdd->openMenu(); });
    connect(mListBox1, &PluginListBox::RenameKey, this, [this] {
        const int row = mListBox1->ListIndex();
        if (row >= 0) startRenameAt(renameAnchor(row));
    });

    mBtnAdd = new BevelButton(mContent);
    mBtnAdd->setObjectName(QStringLiteral("BtnAdd"));
    mBtnAdd->setPicture(platform::pictures::FolderAdd());
    mBtnAdd->setPopUpMenu(controls::MenuItem::create());
    mBtnAdd->setBevel(3);
    mBtnAdd->setIconAlign(BevelButton::kIconAlignLeft);
    mBtnAdd->setEnabled(false);
    connect(mBtnAdd, &BevelButton::Action, this, &PluginViewerWindow::BtnAdd_Action);

    mBtnDelete = new BevelButton(mContent);
    mBtnDelete->setObjectName(QStringLiteral("BtnDelete"));
    mBtnDelete->setPicture(platform::pictures::FolderRemove());
    mBtnDelete->setBevel(3);
    mBtnDelete->setIconAlign(BevelButton::kIconAlignCenter);
    mBtnDelete->setEnabled(false);
    connect(mBtnDelete, &BevelButton::Action, this, &PluginViewerWindow::BtnDelete_Action);

    ListBox1_Open();
    BtnAdd_Open();
    Layout();
}

// The controls keep their distances to the edges they are anchored to: the
// list to all four, the buttons to the left and bottom ones.
void PluginViewerWindow::Layout() {
    const int w = mContent->width(), h = mContent->height();
    mListBox1->setGeometry(20, 14, std::max(0, w - 40), std::max(0, h - 68));
    mBtnAdd->setGeometry(20, h - 47, 47, 34);
    mBtnDelete->setGeometry(79, h - 47, 47, 34);
}

void PluginViewerWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    Layout();
}

void PluginViewerWindow::ListBox1_Open() {
    mListBox1->AcceptFileDrop(QStringLiteral("special/any"));
}

void PluginViewerWindow::closeEvent(QCloseEvent* event) {
    if (mClosed) {
        event->accept();
        return;
    }
    // Never in the middle of a read, a save or an expansion.
    if (busy() || platform::ProgressScope::depth() > 0) {
        event->ignore();
        return;
    }
    DocumentHost* host = documentHost();
    bool keepOpen;
    {
        Busy busy(this);
        keepOpen = Event_CancelClose(host && host->quitting());
    }
    if (keepOpen) {
        event->ignore();
        return;
    }
    mClosed = true;
    event->accept();
    if (host) host->documentWindowClosed(this);
}

}  // namespace zpc::editor
