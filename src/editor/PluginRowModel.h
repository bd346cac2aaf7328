#pragma once

#include "model/PluginItem.h"

#include <QAbstractListModel>
#include <QString>
#include <vector>

namespace zpc::editor {

// The rows of the editor's list, all at one level: each row holds the tree
// node it shows and, for a folder row, whether it is expanded. The hierarchy
// is the window's business (it inserts and removes the rows under a folder);
// the model only keeps rows, and changes them in batches so that thousands of
// rows cost one notification.
class PluginRowModel : public QAbstractListModel {
    Q_OBJECT
public:
    struct Row {
        model::PluginItemPtr node;
        bool folder = false;
        bool expanded = false;
        QString helpTag;
    };

    explicit PluginRowModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    // Display: the node's name (keyboard search, accessibility); tool tip:
    // the row's own help tag.
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    int count() const { return int(mRows.size()); }
    bool validRow(int row) const { return row >= 0 && row < count(); }
    // Rows outside the list answer nil and false.
    model::PluginItemPtr node(int row) const;
    bool isFolder(int row) const;
    bool isExpanded(int row) const;
    void setExpandedFlag(int row, bool expanded);
    void setNode(int row, const model::PluginItemPtr& node);
    void setHelpTag(int row, const QString& tag);

    // Inserts the rows before `at` (count() appends) in one notification.
    void insert(int at, std::vector<Row> rows);
    // Removes `n` rows from `first` in one notification.
    void removeRange(int first, int n);
    void clear();
    // Asks the views to repaint one row.
    void refreshRow(int row);

private:
    std::vector<Row> mRows;
};

}  // namespace zpc::editor
