// The edits: the selection and the buttons, adding, removing, drops from the
// desktop, moving rows by dragging, and renaming in the bubble. Every edit
// changes the tree first and then brings the rows into step with it.
#include "controls/ContainerControlBubble.h"
#include "editor/BevelButton.h"
#include "editor/PluginListBox.h"
#include "editor/PluginViewerWindow.h"
#include "editor/PluginViewerWindowBusy.h"
#include "model/PluginItemFile.h"
#include "platform/Exceptions.h"
#include "platform/Text.h"
#include "platform/UIServices.h"
#include "platform/Yield.h"

#include <QCursor>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>

namespace zpc::editor {

using namespace zpc::platform;
using archive::PluginArchive;
using model::PluginItemFile;
using model::PluginItemFolder;
using model::PluginItemPtr;

namespace {

const QString kAddToHierarchyOnly =
    QStringLiteral("You can add items to the current plugin hierarchy only");
const QString kCantMoveRoot = QStringLiteral("The plugin itself can't be moved into a folder.");
const QString kCantMoveIntoItself =
    QStringLiteral("A folder can't be moved into itself or into a folder inside it.");
const QString kUnusableName =
    QStringLiteral("A name can't contain \"/\", and can't be \".\" or \"..\".");

bool isArchive(const PluginItemPtr& node) {
    return dynamic_cast<const PluginArchive*>(node.get()) != nullptr;
}

}  // namespace

// ---- Selection and buttons ----

void PluginViewerWindow::ListBox1_Change() {
    _handleSelectionChanged();
}

void PluginViewerWindow::_handleSelectionChanged() {
    const int row = mListBox1->ListIndex();
    mCurrentSelection = row == -1 ? nullptr : mListBox1->RowTag(row);
    mBtnDelete->setEnabled(mCurrentSelection && !isArchive(mCurrentSelection));
    mBtnAdd->setEnabled(mCurrentSelection && mCurrentSelection->asFolder());
}

void PluginViewerWindow::BtnAdd_Open() {
    mBtnAdd->AddRow(QStringLiteral("Add New Folder"));
    mBtnAdd->AddRow(QStringLiteral("Add File..."));
}

void PluginViewerWindow::BtnAdd_Action() {
    switch (mBtnAdd->MenuValue()) {
        case 0: {
            const auto folder = PluginItemFolder::create(QStringLiteral("Untitled"), true);
            _addItemToSelection(folder, mCurrentSelection, mListBox1->ListIndex());
            _handleChanges(true);
            break;
        }
        case 1: {
            if (mCurrentSelection && !mCurrentSelection->asFolder()) return;
            FileDialogRequest request;
            request.kind = FileDialogRequest::Open;
            request.window = this;
            const FolderItemPtr chosen = ui().fileDialog(request);
            if (!chosen) return;
            const auto file = PluginItemFile::create(chosen, false);
            _addItemToSelection(file, mCurrentSelection, mListBox1->ListIndex());
            _handleChanges(true);
            break;
        }
        default:
            break;
    }
}

void PluginViewerWindow::BtnDelete_Action() {
    _removeSelection();
}

// ---- Adding and removing ----

// The new child goes to the end of the folder; its row, when the folder row is
// open, after every row shown under it.
void PluginViewerWindow::_addItemToSelection(const PluginItemPtr& item, const PluginItemPtr& target,
                                             int row) {
    if (!item || !item->isValid() || !target) {
        ui().msgBox(kAddToHierarchyOnly);
        return;
    }
    PluginItemFolder* folder = target->asFolder();
    if (!folder) return;
    folder->add(item);
    // The folder refuses what would put it inside itself.
    if (item->owner() != target) return;
    if (mListBox1->RowTag(row) != target || !mListBox1->Expanded(row)) return;
    const int at = row + _countDisplayedChildForItem(target, row) + 1;
    if (item->asFolder())
        mListBox1->InsertFolder(at, item);
    else
        mListBox1->InsertRow(at, item);
}

// Only the tree changes; nothing on disk is touched.
void PluginViewerWindow::_removeSelection() {
    const int row = mListBox1->ListIndex();
    if (row < 0) return;
    const PluginItemPtr node = mListBox1->RowTag(row);
    if (!node || isArchive(node)) return;
    const PluginItemPtr owner = node->owner();
    PluginItemFolder* folder = owner ? owner->asFolder() : nullptr;
    if (!folder || !folder->remove(node)) return;
    if (mListBox1->Expanded(row)) _collapseRow(row, false);
    mListBox1->RemoveRow(row);
    _handleChanges(true);
    _handleSelectionChanged();
}

// ---- Drops from the desktop ----

void PluginViewerWindow::setDragRowTarget(int row) {
    const int previous = mDragRowTarget;
    mDragRowTarget = row;
    if (previous == row) return;
    mListBox1->InvalidateCell(previous);
    mListBox1->InvalidateCell(row);
}

bool PluginViewerWindow::ListBox1_DragEnter(const QMimeData*) {
    setDragRowTarget(-1);
    return false;
}

void PluginViewerWindow::ListBox1_DragExit(const QMimeData*) {
    setDragRowTarget(-1);
    mListBox1->setMouseCursor(Qt::ArrowCursor);
}

// The folder row under the point takes the drop; over a file row, the row of
// the file's folder.
bool PluginViewerWindow::ListBox1_DragOver(int x, int y, const QMimeData*) {
    int target = -1;
    const int row = mListBox1->RowFromXY(x, y);
    if (const PluginItemPtr node = mListBox1->RowTag(row)) {
        if (node->asFolder()) {
            target = row;
        } else if (const PluginItemPtr owner = node->owner()) {
            for (int i = row - 1; i >= 0; --i) {
                if (mListBox1->RowTag(i) == owner) {
                    target = i;
                    break;
                }
                yield();
            }
        }
    }
    setDragRowTarget(target);
    mListBox1->setMouseCursor(target >= 0 ? Qt::DragCopyCursor : Qt::ArrowCursor);
    return target == -1;
}

// A folder is read with its contents; a ".bundle" folder and a plain file each
// become one file node linked to the disk.
void PluginViewerWindow::ListBox1_DropObject(const QMimeData* items) {
    const int targetRow = mDragRowTarget;
    if (targetRow < 0) return;
    const PluginItemPtr target = mListBox1->RowTag(targetRow);
    if (target && target->asFolder() && items) {
        Busy busy(this);
        ProgressScope progress(QStringLiteral("Adding to \"%1\"").arg(target->name()));
        for (const QUrl& url : items->urls()) {
            if (!url.isLocalFile()) continue;
            const FolderItemPtr file = folderItemForPath(url.toLocalFile());
            if (!file) continue;
            PluginItemPtr node;
            if (file->Directory() && !text::contains(file->Name(), QStringLiteral(".bundle")))
                node = PluginItemFolder::create(file, true, nullptr);
            else
                node = PluginItemFile::create(file, false);
            _addItemToSelection(node, target, targetRow);
            yield();
        }
    }
    setDragRowTarget(-1);
    mListBox1->setMouseCursor(Qt::ArrowCursor);
    _handleChanges(true);
}

// ---- Moving rows ----

QString PluginViewerWindow::moveRefusal(const PluginItemPtr& node,
                                        const PluginItemPtr& destination) {
    if (isArchive(node)) return kCantMoveRoot;
    PluginItemFolder* folder = node ? node->asFolder() : nullptr;
    if (folder && (node == destination || folder->hasItem(destination))) return kCantMoveIntoItself;
    return {};
}

bool PluginViewerWindow::ListBox1_DragReorderRows(int newPosition, int parentRow) {
    try {
        _reorderRows(newPosition, parentRow);
    } catch (const NilObjectException&) {
    } catch (const IllegalCastException&) {
    } catch (const OutOfBoundsException&) {
    }
    _handleSelectionChanged();
    return true;
}

// The moved node becomes the last child of the destination; where it was
// dropped among the rows does not matter.
void PluginViewerWindow::_reorderRows(int newPosition, int parentRow) {
    const int selected = mListBox1->ListIndex();
    if (selected < 0) return;
    const PluginItemPtr moved = mListBox1->RowTag(selected);
    if (parentRow == -1) {
        _reorderRows(newPosition, 0);
        return;
    }
    const PluginItemPtr destination = mListBox1->RowTag(parentRow);
    if (!model::castItem<PluginItemFolder>(destination) || !moved) return;

    // Taken out and refused by its new folder, the node would be lost: the
    // tree and the list stay as they are.
    const QString refusal = moveRefusal(moved, destination);
    if (!refusal.isEmpty()) {
        ui().msgBox(refusal);
        return;
    }
    if (!moved->isValid()) {
        ui().msgBox(kAddToHierarchyOnly);
        return;
    }

    const PluginItemPtr owner = moved->owner();
    PluginItemFolder* from = owner ? owner->asFolder() : nullptr;
    if (from && from->remove(moved)) {
        const int before = mListBox1->ListCount();
        if (mListBox1->Expanded(selected)) _collapseRow(selected, false);
        mListBox1->RemoveRow(selected);
        if (selected < parentRow) parentRow -= before - mListBox1->ListCount();
    }
    _addItemToSelection(moved, destination, parentRow);
    _handleChanges(true);
}

// ---- Renaming ----

void PluginViewerWindow::_startRename() {
    QPoint at = mListBox1->viewport()->mapFromGlobal(QCursor::pos());
    // From the keyboard, or with the pointer away from the list: at the row.
    const int row = mListBox1->ListIndex();
    if (row >= 0 && mListBox1->RowFromXY(at.x(), at.y()) != row) at = renameAnchor(row);
    startRenameAt(at);
}

QPoint PluginViewerWindow::renameAnchor(int row) const {
    const QRect r = mListBox1->visualRect(mListBox1->rows()->index(row));
    const PluginItemPtr node = mListBox1->RowTag(row);
    return QPoint(r.left() + PluginListBox::kDisclosureWidth + 45 +
                      PluginListBox::kIndentStep * (node ? node->identation() : 0),
                  r.center().y());
}

controls::ContainerControlBubble* PluginViewerWindow::currentBubble() const {
    return mCurrentBubble.data();
}

void PluginViewerWindow::startRenameAt(const QPoint& inList) {
    const int row = mListBox1->ListIndex();
    if (row < 0) return;
    const PluginItemPtr node = mListBox1->RowTag(row);
    if (!node || !node->mutableName()) return;
    // One bubble at a time.
    if (mCurrentBubble) mCurrentBubble->Close();

    auto* bubble = new controls::ContainerControlBubble(node->name());
    mCurrentBubble = bubble;
    bubble->applyDelegate = [this](const QString& name) { RenameRow(name); };
    bubble->closeDelegate = [this] { BubbleClosed(); };

    // Its pointer at the point, its middle a quarter row above, and all of it
    // inside the window where the window is large enough.
    const QPoint p = mListBox1->viewport()->mapTo(mContent, inList);
    int left = p.x();
    int top = int(p.y() - bubble->Height() / 2.0 - mListBox1->DefaultRowHeight() / 4.0);
    left = std::max(controls::ContainerControlBubble::kPointerOverhang,
                    std::min(left, mContent->width() - controls::ContainerControlBubble::kWidth));
    top = std::max(0, std::min(top, mContent->height() - bubble->Height()));
    bubble->EmbedWithin(mContent, left, top);
    bubble->TextField1->installEventFilter(this);
    bubble->TextField1->setFocus();
    bubble->TextField1->selectAll();
}

void PluginViewerWindow::RenameRow(const QString& newName) {
    const int row = mListBox1->ListIndex();
    if (row < 0) return;
    const PluginItemPtr node = mListBox1->RowTag(row);
    if (!node || !node->mutableName() || text::equals(newName, node->name())) return;
    // Such a name could never be written as a file or folder.
    if (newName.contains(QLatin1Char('/')) || newName == QLatin1String(".") ||
        newName == QLatin1String("..")) {
        ui().msgBox(kUnusableName);
        return;
    }
    node->setName(newName);
    mListBox1->InvalidateCell(row);
    if (isArchive(node)) setTitle(node->name());
    _handleChanges(true);
}

void PluginViewerWindow::BubbleClosed() {
    mCurrentBubble.clear();
    mListBox1->setFocus();
}

// Escape in the bubble's field closes it without renaming.
bool PluginViewerWindow::eventFilter(QObject* watched, QEvent* event) {
    if (mCurrentBubble && watched == mCurrentBubble->TextField1 &&
        event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        mCurrentBubble->Close();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace zpc::editor
