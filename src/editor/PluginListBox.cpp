#include "editor/PluginListBox.h"

#include <QAbstractItemDelegate>
#include <QContextMenuEvent>
#include <QDrag>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOption>
#include <QToolTip>
#include <QUrl>

namespace zpc::editor {

namespace {

// Every row is painted by the owner's handlers; the delegate only places the
// painter and draws the disclosure triangle between background and cell.
class RowDelegate : public QAbstractItemDelegate {
public:
    explicit RowDelegate(PluginListBox* list) : QAbstractItemDelegate(list), mList(list) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const int row = index.row();
        const QRect r = option.rect;
        painter->save();
        painter->setClipRect(r);
        painter->translate(r.topLeft());
        if (mList->cellBackgroundPaint) mList->cellBackgroundPaint(*painter, row, 0);
        if (mList->rows()->isFolder(row)) {
            QStyleOption arrow;
            arrow.initFrom(mList);
            arrow.rect = mList->disclosureRect(row).translated(-r.topLeft());
            arrow.state = QStyle::State_Children | QStyle::State_Item | QStyle::State_Enabled;
            if (mList->Expanded(row)) arrow.state |= QStyle::State_Open;
            mList->style()->drawPrimitive(QStyle::PE_IndicatorBranch, &arrow, painter, mList);
        }
        painter->setPen(Qt::black);
        painter->setFont(mList->font());
        if (mList->cellTextPaint)
            mList->cellTextPaint(*painter, row, 0, PluginListBox::kDisclosureWidth,
                                 mList->textBaseline());
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
        return {mList->viewport()->width(), PluginListBox::kDefaultRowHeight};
    }

private:
    PluginListBox* mList;
};

int depthOf(const model::PluginItemPtr& node) {
    return node ? node->identation() : 0;
}

}  // namespace

const QString PluginListBox::kRowMimeType = QStringLiteral("application/x-zpc-plugin-row");

PluginListBox::PluginListBox(QWidget* parent) : QListView(parent), mRows(new PluginRowModel(this)) {
    setModel(mRows);
    setItemDelegate(new RowDelegate(this));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalScrollBar()->setSingleStep(kDefaultRowHeight);
    setFrameShape(QFrame::StyledPanel);
    QFont f(QStringLiteral("Arial"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(12);
    setFont(f);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDropIndicatorShown(false);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { emit Change(); });
}

int PluginListBox::ListIndex() const {
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.first().row();
}

void PluginListBox::setListIndex(int row) {
    if (!mRows->validRow(row)) {
        selectionModel()->clearSelection();
        return;
    }
    const QModelIndex i = mRows->index(row);
    selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect);
}

void PluginListBox::setExpanded(int row, bool expanded) {
    if (!mRows->isFolder(row) || mRows->isExpanded(row) == expanded) return;
    mRows->setExpandedFlag(row, expanded);
    if (expanded)
        emit ExpandRow(row);
    else
        emit CollapseRow(row);
}

void PluginListBox::AddFolder(const model::PluginItemPtr& node) {
    InsertFolder(ListCount(), node);
}

void PluginListBox::InsertFolder(int row, const model::PluginItemPtr& node) {
    std::vector<PluginRowModel::Row> one(1);
    one[0].node = node;
    one[0].folder = true;
    mRows->insert(row, std::move(one));
}

void PluginListBox::InsertRow(int row, const model::PluginItemPtr& node) {
    std::vector<PluginRowModel::Row> one(1);
    one[0].node = node;
    mRows->insert(row, std::move(one));
}

void PluginListBox::RemoveRow(int row) {
    // The view would select a neighbour; a removed selection leaves none.
    if (row == ListIndex()) selectionModel()->clear();
    mRows->removeRange(row, 1);
}

void PluginListBox::DeleteAllRows() {
    // A reset clears the selection without telling anybody.
    const bool hadSelection = ListIndex() >= 0;
    mRows->clear();
    if (hadSelection) emit Change();
}

void PluginListBox::AcceptFileDrop(const QString& fileType) {
    if (!mAcceptedFileTypes.contains(fileType)) mAcceptedFileTypes << fileType;
    setAcceptDrops(true);
}

int PluginListBox::RowFromXY(int x, int y) const {
    const QModelIndex i = indexAt(QPoint(x, y));
    return i.isValid() ? i.row() : -1;
}

int PluginListBox::columnWidth() const {
    return viewport()->width();
}

int PluginListBox::textBaseline() const {
    const QFontMetrics fm(font());
    return (kDefaultRowHeight + fm.ascent() - fm.descent()) / 2;
}

QRect PluginListBox::disclosureRect(int row) const {
    if (!mRows->isFolder(row)) return {};
    const QRect r = visualRect(mRows->index(row));
    return QRect(r.left() + kDisclosureInset + kIndentStep * depthOf(mRows->node(row)), r.top(),
                 kDisclosureWidth - kDisclosureInset + 2, r.height());
}

bool PluginListBox::toggleAt(const QPoint& pos) {
    const int row = RowFromXY(pos.x(), pos.y());
    if (row < 0 || !disclosureRect(row).contains(pos)) return false;
    setExpanded(row, !Expanded(row));
    return true;
}

void PluginListBox::mousePressEvent(QMouseEvent* event) {
    mClickModifiers = event->modifiers();
    // A click on a triangle opens or closes the row without selecting it.
    if (event->button() == Qt::LeftButton && toggleAt(event->position().toPoint())) return;
    QListView::mousePressEvent(event);
}

void PluginListBox::mouseDoubleClickEvent(QMouseEvent* event) {
    mClickModifiers = event->modifiers();
    if (event->button() == Qt::LeftButton && toggleAt(event->position().toPoint())) return;
    QListView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton &&
        RowFromXY(event->position().toPoint().x(), event->position().toPoint().y()) >= 0)
        emit DoubleClick();
}

int PluginListBox::parentRow(int row) const {
    const model::PluginItemPtr node = mRows->node(row);
    const model::PluginItemPtr owner = node ? node->owner() : nullptr;
    if (!owner) return -1;
    for (int i = row - 1; i >= 0; --i)
        if (mRows->node(i) == owner) return i;
    return -1;
}

void PluginListBox::keyPressEvent(QKeyEvent* event) {
    const int row = ListIndex();
    // Shift may be needed to type "+"; command keys are left to the menus.
    const bool plain =
        !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (row >= 0 && plain) {
        const bool folder = mRows->isFolder(row);
        const bool open = Expanded(row);
        switch (event->key()) {
            case Qt::Key_Right:
            case Qt::Key_Plus:
                if (folder && !open) {
                    setExpanded(row, true);
                } else if (folder && event->key() == Qt::Key_Right && row + 1 < ListCount() &&
                           parentRow(row + 1) == row) {
                    setListIndex(row + 1);
                    scrollTo(mRows->index(row + 1));
                }
                return;
            case Qt::Key_Left:
            case Qt::Key_Minus:
                if (folder && open) {
                    setExpanded(row, false);
                } else if (event->key() == Qt::Key_Left) {
                    const int up = parentRow(row);
                    if (up >= 0) {
                        setListIndex(up);
                        scrollTo(mRows->index(up));
                    }
                }
                return;
            case Qt::Key_Return:
            case Qt::Key_Enter:
                if (folder)
                    setExpanded(row, !open);
                else
                    emit RenameKey();
                return;
            case Qt::Key_F2:
                emit RenameKey();
                return;
            case Qt::Key_Delete:
            case Qt::Key_Backspace:
                emit DeleteKey();
                return;
            case Qt::Key_Insert:
                emit InsertKey();
                return;
            default:
                break;
        }
    }
    QListView::keyPressEvent(event);
}

bool PluginListBox::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex i = indexAt(help->pos());
        QString tag = i.isValid() ? mRows->data(i, Qt::ToolTipRole).toString() : QString();
        if (tag.isEmpty()) tag = toolTip();
        if (tag.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tag, viewport());
        return true;
    }
    return QListView::viewportEvent(event);
}

void PluginListBox::setMouseCursor(Qt::CursorShape shape) {
    mCursor = shape;
    if (shape == Qt::ArrowCursor)
        viewport()->unsetCursor();
    else
        viewport()->setCursor(shape);
}

int PluginListBox::dropTargetRow(int x, int y) const {
    const int row = RowFromXY(x, y);
    if (row < 0) return -1;
    if (mRows->isFolder(row)) return row;
    return parentRow(row);
}

void PluginListBox::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    QPoint p;
    if (event->reason() == QContextMenuEvent::Keyboard) {
        // From the keyboard: at the selected row, where its name starts.
        const int row = ListIndex();
        if (row < 0) return;
        const QRect r = visualRect(mRows->index(row));
        p = QPoint(r.left() + kDisclosureWidth + 40, r.center().y());
    } else {
        p = viewport()->mapFromGlobal(event->globalPos());
    }
    // The commands act on the selected row: the row clicked becomes it.
    const int row = RowFromXY(p.x(), p.y());
    if (row >= 0 && row != ListIndex()) setListIndex(row);
    const controls::MenuItemPtr menu = controls::MenuItem::create();
    if (!constructContextualMenu || !constructContextualMenu(menu, p.x(), p.y())) return;
    const controls::MenuItemPtr chosen = menu->PopUp(viewport()->mapToGlobal(p));
    if (chosen && contextualMenuAction) contextualMenuAction(chosen);
}

QMimeData* PluginListBox::rowDragData() const {
    auto* data = new QMimeData;
    data->setData(kRowMimeType, QByteArray::number(quintptr(this)));
    return data;
}

bool PluginListBox::isOwnRowDrag(const QMimeData* data) const {
    return data && data->data(kRowMimeType) == QByteArray::number(quintptr(this));
}

bool PluginListBox::acceptsFiles(const QMimeData* data) const {
    if (!data || mAcceptedFileTypes.isEmpty() || !data->hasUrls()) return false;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) return true;
    return false;
}

void PluginListBox::startDrag(Qt::DropActions) {
    const int row = ListIndex();
    if (row < 0) return;
    auto* drag = new QDrag(this);
    drag->setMimeData(rowDragData());
    const QRect r = visualRect(mRows->index(row));
    drag->setPixmap(viewport()->grab(r));
    drag->setHotSpot(viewport()->mapFromGlobal(QCursor::pos()) - r.topLeft());
    mDragging = true;
    drag->exec(Qt::MoveAction, Qt::MoveAction);
    mDragging = false;
    clearDropTarget();
    if (mPendingReorder) {
        const std::function<void()> reorder = std::move(mPendingReorder);
        mPendingReorder = nullptr;
        reorder();
    }
}

void PluginListBox::clearDropTarget() {
    if (dragExit) dragExit(nullptr);
}

void PluginListBox::dragEnterEvent(QDragEnterEvent* event) {
    const QMimeData* data = event->mimeData();
    const bool ownRow = isOwnRowDrag(data);
    if (!ownRow && !acceptsFiles(data)) {
        event->ignore();
        return;
    }
    mFileDrag = !ownRow;
    if (dragEnter) dragEnter(data);
    event->setDropAction(ownRow ? Qt::MoveAction : Qt::CopyAction);
    event->accept();
}

void PluginListBox::dragMoveEvent(QDragMoveEvent* event) {
    const QMimeData* data = event->mimeData();
    const QPoint p = event->position().toPoint();
    // Rows scroll into view while the drag nears the list's top or bottom.
    if (p.y() < autoScrollMargin() || p.y() > viewport()->height() - autoScrollMargin())
        startAutoScroll();
    bool refuse;
    if (isOwnRowDrag(data)) {
        // A row dropped on itself stays where it is.
        const int under = RowFromXY(p.x(), p.y());
        refuse = under >= 0 && under == ListIndex();
        if (refuse)
            clearDropTarget();
        else if (dragOver)
            dragOver(p.x(), p.y(), data);
    } else {
        refuse = !mFileDrag || !dragOver || dragOver(p.x(), p.y(), data);
    }
    if (refuse) {
        event->ignore();
        return;
    }
    event->setDropAction(isOwnRowDrag(data) ? Qt::MoveAction : Qt::CopyAction);
    event->accept();
}

void PluginListBox::dragLeaveEvent(QDragLeaveEvent* event) {
    stopAutoScroll();
    mFileDrag = false;
    clearDropTarget();
    event->accept();
}

void PluginListBox::dropEvent(QDropEvent* event) {
    stopAutoScroll();
    const QMimeData* data = event->mimeData();
    const QPoint p = event->position().toPoint();
    if (isOwnRowDrag(data)) {
        clearDropTarget();
        const int under = RowFromXY(p.x(), p.y());
        if (under >= 0 && under == ListIndex()) {
            event->ignore();
            return;
        }
        event->setDropAction(Qt::MoveAction);
        event->accept();
        const int newPosition = under < 0 ? ListCount() : under;
        const int parent = dropTargetRow(p.x(), p.y());
        auto reorder = [this, newPosition, parent] {
            if (dragReorderRows) dragReorderRows(newPosition, parent);
        };
        if (mDragging)
            mPendingReorder = reorder;
        else
            reorder();
        return;
    }
    if (!mFileDrag) {
        event->ignore();
        return;
    }
    mFileDrag = false;
    event->setDropAction(Qt::CopyAction);
    event->accept();
    if (dropObject) dropObject(data);
}

}  // namespace zpc::editor
