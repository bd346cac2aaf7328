#pragma once

#include "archive/PluginArchive.h"
#include "controls/MenuCommandTarget.h"

#include <QMainWindow>
#include <QPointer>

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
// the rows and their painting in PluginViewerWindowPresentation.cpp, saving,
// reverting and closing in PluginViewerWindowDocument.cpp.
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
    // The buttons' events.
    void BtnAdd_Open();
    void BtnAdd_Action();
    void BtnDelete_Action();

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

    QWidget* mContent = nullptr;
    PluginListBox* mListBox1 = nullptr;
    BevelButton* mBtnAdd = nullptr;
    BevelButton* mBtnDelete = nullptr;
    QString mTitle;
    int mBusy = 0;
    bool mClosed = false;
};

}  // namespace zpc::editor
