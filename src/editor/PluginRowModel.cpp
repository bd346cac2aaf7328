#include "editor/PluginRowModel.h"

#include <algorithm>

namespace zpc::editor {

PluginRowModel::PluginRowModel(QObject* parent) : QAbstractListModel(parent) {}

int PluginRowModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

QVariant PluginRowModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !validRow(index.row())) return {};
    const Row& row = mRows[size_t(index.row())];
    switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            return row.node ? row.node->name() : QString();
        case Qt::ToolTipRole:
            return row.helpTag.isEmpty() ? QVariant() : QVariant(row.helpTag);
        default:
            return {};
    }
}

Qt::ItemFlags PluginRowModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled |
           Qt::ItemIsDropEnabled | Qt::ItemNeverHasChildren;
}

model::PluginItemPtr PluginRowModel::node(int row) const {
    return validRow(row) ? mRows[size_t(row)].node : nullptr;
}

bool PluginRowModel::isFolder(int row) const {
    return validRow(row) && mRows[size_t(row)].folder;
}

bool PluginRowModel::isExpanded(int row) const {
    return validRow(row) && mRows[size_t(row)].expanded;
}

void PluginRowModel::setExpandedFlag(int row, bool expanded) {
    if (!validRow(row) || mRows[size_t(row)].expanded == expanded) return;
    mRows[size_t(row)].expanded = expanded;
    refreshRow(row);
}

void PluginRowModel::setNode(int row, const model::PluginItemPtr& node) {
    if (!validRow(row)) return;
    mRows[size_t(row)].node = node;
    refreshRow(row);
}

void PluginRowModel::setHelpTag(int row, const QString& tag) {
    if (validRow(row)) mRows[size_t(row)].helpTag = tag;
}

void PluginRowModel::insert(int at, std::vector<Row> rows) {
    if (rows.empty()) return;
    at = std::clamp(at, 0, count());
    beginInsertRows(QModelIndex(), at, at + int(rows.size()) - 1);
    mRows.insert(mRows.begin() + at, std::make_move_iterator(rows.begin()),
                 std::make_move_iterator(rows.end()));
    endInsertRows();
}

void PluginRowModel::removeRange(int first, int n) {
    if (first < 0 || n <= 0 || first >= count()) return;
    n = std::min(n, count() - first);
    beginRemoveRows(QModelIndex(), first, first + n - 1);
    mRows.erase(mRows.begin() + first, mRows.begin() + first + n);
    endRemoveRows();
}

void PluginRowModel::clear() {
    beginResetModel();
    mRows.clear();
    endResetModel();
}

void PluginRowModel::refreshRow(int row) {
    if (!validRow(row)) return;
    const QModelIndex i = index(row);
    emit dataChanged(i, i);
}

}  // namespace zpc::editor
