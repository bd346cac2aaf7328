#pragma once

#include "archive/PluginArchive.h"
#include "controls/MenuCommandTarget.h"
#include "controls/MenuItem.h"

#include <QMainWindow>
#include <QPointer>

class QMimeData;
class QPainter;

namespace zpc::controls {
class ContainerControlBubble;
}

namespace zpc::editor {

class BevelButton;
class PluginListBox;

// The editor window: one plugin tree shown as an indented, expandable list,
// and a document that is saved in one of four forms, reverted, and asks
// before it closes with unsaved changes. It owns its archive. Windows delete
// themselves when closed.
//
// The window's source is split by concern: the window and its controls here,
// the rows and their painting in PluginViewerWindowPresentation.cpp, the edits
// (selection, adding, removing, drops, moves, renaming) in
// PluginViewerWindowEditing.cpp, the contextual menu and double-clicks in
// PluginViewerWindowActions.cpp, saving, reverting and closing in
// PluginViewerWindowDocument.cpp.
class PluginViewerWindow : public QMainWindow, public controls::MenuCommandTarget {
    Q_OBJECT
public:
    static constexpr int kWidth = 541;
    static constexpr int kHeight = 546;

    // Constructor(archive): shows the plugin; answers nil when the archive is
    // not valid (the window then closes at once).
    static PluginViewerWindow* create(std::shared_ptr<archive::PluginArchive> archive);
    // Constructor(classic): a new, empty plugin with the classic or the
    // modern standard folders.
    static PluginViewerWindow* create(bool classic);
    ~PluginViewerWindow() override;

    // The editor windows that are open, in the order they were made.
    static QList<PluginViewerWindow*> windows();

    PluginListBox* ListBox1() const { return mListBox1; }
    BevelButton* BtnAdd() const { return mBtnAdd; }
    BevelButton* BtnDelete() const { return mBtnDelete; }
    std::shared_ptr<archive::PluginArchive> archive() const { return mArchive; }
    // The title, without the platform's modified marker.
    QString Title() const { return mTitle; }
    // The unsaved-changes flag.
    bool ContentsChanged() const { return isWindowModified(); }
    // True while one of this window's operations runs.
    bool busy() const { return mBusy > 0; }

    // The list's events.
    void ListBox1_Open();
    void ListBox1_ExpandRow(int row);
    void ListBox1_CollapseRow(int row);
    bool ListBox1_CellBackgroundPaint(QPainter& g, int row, int column);
    bool ListBox1_CellTextPaint(QPainter& g, int row, int column, int x, int y);
    void ListBox1_DoubleClick();
    void ListBox1_Change();
    // Files and folders dragged from outside; DragOver answers true to refuse
    // a drop at that point (viewport coordinates).
    bool ListBox1_DragEnter(const QMimeData* items);
    bool ListBox1_DragOver(int x, int y, const QMimeData* items);
    void ListBox1_DragExit(const QMimeData* items);
    void ListBox1_DropObject(const QMimeData* items);
    // The selected row was dragged onto the folder row parentRow (-1: none).
    bool ListBox1_DragReorderRows(int newPosition, int parentRow);
    // Fills the menu for the row at x, y; true shows it.
    bool ListBox1_ConstructContextualMenu(const controls::MenuItemPtr& base, int x, int y);
    bool ListBox1_ContextualMenuAction(const controls::MenuItemPtr& hitItem);
    // The buttons' events.
    void BtnAdd_Open();
    void BtnAdd_Action();
    void BtnDelete_Action();

    // The rename bubble's delegates.
    void RenameRow(const QString& newName);
    void BubbleClosed();

    // The node of the selected row, or nil.
    model::PluginItemPtr currentSelection() const { return mCurrentSelection; }
    // The folder row shown as the drop target, or -1.
    int dragRowTarget() const { return mDragRowTarget; }
    // The rename bubble open over the list, or nil.
    controls::ContainerControlBubble* currentBubble() const;

    // The document.
    void AddMenuHandlers();
    void Event_EnableMenuItems();
    // True keeps the window open.
    bool Event_CancelClose(bool appQuitting);
    bool _FileSave_Action();
    bool _FileSaveAsFolderHierarchy_Action();
    bool _FileSaveAsProject_Action();
    bool _SaveKVXFormat_Action();
    bool _SaveZanthFormat_Action();
    bool _EditRevert_Action();

    // How a node's row is written: the root bold at 14, folders bold at 12,
    // files at 12 with " (Stored)" when their contents are held in memory.
    struct RowStyle {
        bool bold = false;
        int size = 12;
        QString text;
    };
    static RowStyle rowStyle(const model::PluginItem& node);

    static const QString kListHelpTag;
    static const QString kRootHelpTag;

protected:
    // The framework's window constructor: layout and controls, title "Untitled".
    PluginViewerWindow();

    void enableMenuItems() override { Event_EnableMenuItems(); }
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    friend class PluginViewerWindowTestAccess;
    class Busy;

    void CreateControls();
    void Layout();
    // Shown once constructed: the host sets up the menu bar first.
    void present();
    void setTitle(const QString& title);

    // Presentation.
    void RepopulateListbox();
    void _expandRow(int row, bool onlyIfCollapsed);
    void _collapseRow(int row, bool onlyIfExpanded);
    int _countDisplayedChildForItem(const model::PluginItemPtr& folder, int row);
    // How many rows after `row` show nodes inside the folder (by identifier).
    int shownRowsUnder(model::PluginItemFolder& folder, int row);

    // Editing.
    void _handleSelectionChanged();
    void _addItemToSelection(const model::PluginItemPtr& item, const model::PluginItemPtr& target,
                             int row);
    void _removeSelection();
    void _reorderRows(int newPosition, int parentRow);
    // At the pointer, when it is over the list; else at the selected row.
    void _startRename();
    // At a point of the list's viewport.
    void startRenameAt(const QPoint& inList);
    // Where a bubble opened from the keyboard points: just right of the
    // row's icon, halfway down.
    QPoint renameAnchor(int row) const;
    // The drop highlight moves to the row (-1: none).
    void setDragRowTarget(int row);
    // Why a node may not go into a folder, or empty when it may.
    static QString moveRefusal(const model::PluginItemPtr& node,
                               const model::PluginItemPtr& destination);

    // Item actions.
    void openFileItem(const model::PluginItemPtr& node);
    void showDataSource(const model::PluginItemPtr& node);

    // Document.
    void _handleChanges(bool changed);
    void _savePlugin(int format);
    void _savePluginAsFolderHierarchy();
    void _savePluginAsProject();
    void _revert();
    platform::FolderItemPtr chooseDestinationFolder();

    std::shared_ptr<archive::PluginArchive> mArchive;
    int mDragRowTarget = -1;
    QPointer<controls::ContainerControlBubble> mCurrentBubble;
    model::PluginItemPtr mCurrentSelection;
    // Where the last contextual click was, in the list's viewport: a rename
    // chosen from the menu opens its bubble there.
    QPoint mContextPoint;

    QWidget* mContent = nullptr;
    PluginListBox* mListBox1 = nullptr;
    BevelButton* mBtnAdd = nullptr;
    BevelButton* mBtnDelete = nullptr;
    QString mTitle;
    int mBusy = 0;
    bool mClosed = false;
};

}  // namespace zpc::editor
