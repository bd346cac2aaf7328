#pragma once

#include "controls/MenuItem.h"
#include "editor/PluginRowModel.h"

#include <QListView>
#include <functional>

class QMimeData;

namespace zpc::editor {

// The editor's list: one column of rows at a single level, each holding a
// tree node (its tag), folder rows with a disclosure triangle. The control
// keeps each folder row's expanded state and raises ExpandRow/CollapseRow when
// it changes; the rows under a folder are inserted and removed by its owner.
// Cells are painted by the owner's two paint handlers.
//
// Column 0 is the whole row. Its first kDisclosureWidth pixels are the gutter
// of the disclosure triangle, which moves right with the node's depth, 10
// pixels per level, as the row's icon does; the list proposes the text to
// start after the gutter.
//
// Drags: files and folders from the desktop go to the owner's drag handlers;
// a row dragged inside the list is reported as a reorder onto the folder row
// it was dropped on (never dropped on itself, never carried out of the list).
class PluginListBox : public QListView {
    Q_OBJECT
public:
    static constexpr int kDefaultRowHeight = 34;
    static constexpr int kDisclosureWidth = 14;
    static constexpr int kDisclosureInset = 4;
    static constexpr int kIndentStep = 10;

    explicit PluginListBox(QWidget* parent = nullptr);

    PluginRowModel* rows() const { return mRows; }

    int ListCount() const { return mRows->count(); }
    int DefaultRowHeight() const { return kDefaultRowHeight; }
    // The selected row, or -1.
    int ListIndex() const;
    void setListIndex(int row);
    model::PluginItemPtr RowTag(int row) const { return mRows->node(row); }
    void setRowTag(int row, const model::PluginItemPtr& node) { mRows->setNode(row, node); }
    bool Expanded(int row) const { return mRows->isExpanded(row); }
    // Opens or closes a folder row: the state changes first, then ExpandRow or
    // CollapseRow is raised. Plain rows and unchanged states do nothing.
    void setExpanded(int row, bool expanded);

    void AddFolder(const model::PluginItemPtr& node);
    void InsertFolder(int row, const model::PluginItemPtr& node);
    void InsertRow(int row, const model::PluginItemPtr& node);
    void RemoveRow(int row);
    void DeleteAllRows();
    // The row at a point of the list's viewport, or -1.
    int RowFromXY(int x, int y) const;
    void setCellHelpTag(int row, const QString& tag) { mRows->setHelpTag(row, tag); }
    // Files and folders of this kind may be dropped on the list ("special/any").
    void AcceptFileDrop(const QString& fileType);
    const QStringList& acceptedFileTypes() const { return mAcceptedFileTypes; }
    // Redraws one row.
    void InvalidateCell(int row) { mRows->refreshRow(row); }
    // The list's mouse cursor (a copy cursor while files can be dropped).
    void setMouseCursor(Qt::CursorShape shape);
    Qt::CursorShape mouseCursor() const { return mCursor; }
    // The keyboard modifiers of the last click or double-click on the list.
    Qt::KeyboardModifiers clickModifiers() const { return mClickModifiers; }
    // The folder row that takes what is dropped at a point: the folder row
    // there, or for a file row the row of the file's folder; -1 for none.
    int dropTargetRow(int x, int y) const;
    // What a row dragged within this list carries: only this list takes it.
    QMimeData* rowDragData() const;
    static const QString kRowMimeType;

    // The width of the cell of column 0, the whole row.
    int columnWidth() const;
    // The baseline the list proposes for a cell's text.
    int textBaseline() const;
    // Where the triangle of a folder row is drawn and clicked, in viewport
    // coordinates; empty for plain rows.
    QRect disclosureRect(int row) const;

    // The owner's paint handlers; both answer true when they drew the cell.
    std::function<bool(QPainter& g, int row, int column)> cellBackgroundPaint;
    std::function<bool(QPainter& g, int row, int column, int x, int y)> cellTextPaint;
    // The owner's drag handlers for files and folders from outside, in
    // viewport coordinates. dragOver answers true to refuse a drop there; it
    // is also asked while a row is dragged, to show where it would go.
    std::function<bool(const QMimeData* items)> dragEnter;
    std::function<bool(int x, int y, const QMimeData* items)> dragOver;
    std::function<void(const QMimeData* items)> dragExit;
    std::function<void(const QMimeData* items)> dropObject;
    // A row dragged within the list was dropped: the row it would take and
    // the folder row it was dropped on (-1 for none).
    std::function<bool(int newPosition, int parentRow)> dragReorderRows;
    // The contextual menu: fill it for the point (viewport coordinates) and
    // answer true to show it; then the chosen entry.
    std::function<bool(const controls::MenuItemPtr& menu, int x, int y)> constructContextualMenu;
    std::function<bool(const controls::MenuItemPtr& item)> contextualMenuAction;

signals:
    void ExpandRow(int row);
    void CollapseRow(int row);
    // The selection changed.
    void Change();
    void DoubleClick();
    // Keys with a meaning beyond moving through the rows: Delete or Backspace
    // removes the selected row; F2, or Return on a file row, renames it;
    // Insert adds to it.
    void DeleteKey();
    void RenameKey();
    void InsertKey();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // A row of this very list is dragged.
    bool isOwnRowDrag(const QMimeData* data) const;
    bool acceptsFiles(const QMimeData* data) const;
    void clearDropTarget();

    // The row that shows the owner of the row's node, searched upwards; -1.
    int parentRow(int row) const;
    bool toggleAt(const QPoint& pos);

    PluginRowModel* mRows;
    QStringList mAcceptedFileTypes;
    Qt::CursorShape mCursor = Qt::ArrowCursor;
    Qt::KeyboardModifiers mClickModifiers;
    // Set while a drag started here runs: a reorder dropped meanwhile waits
    // for the drag to end, so that no dialog opens inside the drag.
    bool mDragging = false;
    std::function<void()> mPendingReorder;
    // A drag of files that the list took at its entry, until it leaves or drops.
    bool mFileDrag = false;
};

}  // namespace zpc::editor
