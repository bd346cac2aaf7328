#pragma once

#include "editor/PluginRowModel.h"

#include <QListView>
#include <functional>

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

signals:
    void ExpandRow(int row);
    void CollapseRow(int row);
    // The selection changed.
    void Change();
    void DoubleClick();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    // The row that shows the owner of the row's node, searched upwards; -1.
    int parentRow(int row) const;
    bool toggleAt(const QPoint& pos);

    PluginRowModel* mRows;
    QStringList mAcceptedFileTypes;
};

}  // namespace zpc::editor
