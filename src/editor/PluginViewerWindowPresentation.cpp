// The rows of the list and how they are painted.
#include "editor/PluginListBox.h"
#include "editor/PluginViewerWindow.h"
#include "editor/PluginViewerWindowBusy.h"
#include "model/PluginItemFile.h"
#include "platform/Picture.h"
#include "platform/Yield.h"

#include <QPainter>
#include <QSet>

namespace zpc::editor {

using model::PluginItemFolder;
using model::PluginItemPtr;

namespace {

// The identifiers of everything below the folder.
void collectUids(PluginItemFolder& folder, QSet<QString>& into) {
    for (size_t i = 0; i < folder.items().size(); ++i) {
        const PluginItemPtr child = folder.items()[i];
        into.insert(child->uid());
        if (PluginItemFolder* sub = child->asFolder()) collectUids(*sub, into);
        platform::yield();
    }
}

}  // namespace

void PluginViewerWindow::RepopulateListbox() {
    if (!mArchive) return;
    mListBox1->DeleteAllRows();
    mListBox1->AddFolder(mArchive);
    mListBox1->setCellHelpTag(0, kRootHelpTag);
}

void PluginViewerWindow::ListBox1_ExpandRow(int row) {
    _expandRow(row, false);
}

void PluginViewerWindow::ListBox1_CollapseRow(int row) {
    _collapseRow(row, false);
}

// One level is added: the folder's children in their order, folder rows
// collapsed. The rows are gathered first and go into the list in one batch.
void PluginViewerWindow::_expandRow(int row, bool onlyIfCollapsed) {
    if (row == -1) return;
    if (onlyIfCollapsed && mListBox1->Expanded(row)) return;
    const PluginItemPtr node = mListBox1->RowTag(row);
    PluginItemFolder* folder = node ? node->asFolder() : nullptr;
    if (!folder || folder->items().empty()) return;

    Busy busy(this);
    platform::ProgressScope progress(QStringLiteral("Expanding \"%1\"").arg(node->name()));
    std::vector<PluginRowModel::Row> rows;
    rows.reserve(folder->items().size());
    for (size_t i = 0; i < folder->items().size(); ++i) {
        PluginRowModel::Row r;
        r.node = folder->items()[i];
        r.folder = r.node->asFolder() != nullptr;
        rows.push_back(std::move(r));
        platform::yield();
    }
    mListBox1->rows()->insert(row + 1, std::move(rows));
}

int PluginViewerWindow::shownRowsUnder(PluginItemFolder& folder, int row) {
    // Searching the subtree once per row, as a plain walk would, grows with
    // rows times nodes; the identifiers are collected once instead.
    QSet<QString> inside;
    collectUids(folder, inside);
    int end = row + 1;
    const int count = mListBox1->ListCount();
    while (end < count) {
        const PluginItemPtr node = mListBox1->RowTag(end);
        if (!node || !inside.contains(node->uid())) break;
        ++end;
        platform::yield();
    }
    return end - row - 1;
}

// Everything shown under the folder row goes, down to the deepest expanded
// level, in one batch; sub-folders come back collapsed.
void PluginViewerWindow::_collapseRow(int row, bool onlyIfExpanded) {
    if (row < 0 || row >= mListBox1->ListCount() - 1) return;
    if (onlyIfExpanded && !mListBox1->Expanded(row)) return;
    const PluginItemPtr node = mListBox1->RowTag(row);
    PluginItemFolder* folder = node ? node->asFolder() : nullptr;
    if (!folder) return;

    Busy busy(this);
    platform::ProgressScope progress(QStringLiteral("Collapsing \"%1\"").arg(node->name()));
    mListBox1->rows()->removeRange(row + 1, shownRowsUnder(*folder, row));
}

int PluginViewerWindow::_countDisplayedChildForItem(const PluginItemPtr& folder, int row) {
    const auto asFolder = model::castItem<PluginItemFolder>(folder);
    if (!asFolder) return 0;
    return shownRowsUnder(*asFolder, row);
}

PluginViewerWindow::RowStyle PluginViewerWindow::rowStyle(const model::PluginItem& node) {
    RowStyle style;
    style.text = node.name();
    if (dynamic_cast<const archive::PluginArchive*>(&node)) {
        style.bold = true;
        style.size = 14;
    } else if (node.asFolder()) {
        style.bold = true;
    } else if (const auto* file = dynamic_cast<const model::PluginItemFile*>(&node)) {
        if (file->isStored()) style.text += QStringLiteral(" (Stored)");
    }
    return style;
}

bool PluginViewerWindow::ListBox1_CellBackgroundPaint(QPainter& g, int row, int) {
    QColor colour;
    if (row == mListBox1->ListIndex())
        colour = mListBox1->palette().color(QPalette::Highlight);
    else
        colour = row % 2 == 0 ? QColor(255, 255, 255) : QColor(244, 247, 251);
    g.fillRect(0, 0, mListBox1->width(), mListBox1->DefaultRowHeight(), colour);
    return true;
}

bool PluginViewerWindow::ListBox1_CellTextPaint(QPainter& g, int row, int column, int x, int y) {
    if (column != 0) return true;
    QColor ink(0, 0, 0);
    if (row == mDragRowTarget) {
        ink = QColor(0, 0, 255);
        // A pen 4 pixels wide, lying inside the rectangle as the framework draws it.
        const int w = mListBox1->columnWidth(), h = mListBox1->DefaultRowHeight(), pen = 4;
        g.fillRect(0, 0, w, pen, ink);
        g.fillRect(0, h - pen, w, pen, ink);
        g.fillRect(0, 0, pen, h, ink);
        g.fillRect(w - pen, 0, pen, h, ink);
    }
    const PluginItemPtr node = mListBox1->RowTag(row);
    if (!node) return true;

    const RowStyle style = rowStyle(*node);
    // x: where the list proposes the text, after the triangle's gutter.
    const int left = x + 5 + PluginListBox::kIndentStep * node->identation();
    const platform::PicturePtr picture = node->icon();
    int textLeft = left + 5;
    if (picture) {
        g.drawImage(left, 0, picture->composed());
        textLeft += picture->Width();
    }
    QFont font = mListBox1->font();
    font.setBold(style.bold);
    font.setPixelSize(style.size);
    g.setFont(font);
    g.setPen(ink);
    g.drawText(textLeft, y, style.text);
    return true;
}

}  // namespace zpc::editor
