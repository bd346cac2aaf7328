// What acts on one item: the contextual menu and the double-click.
#include "controls/ContainerControlBubble.h"
#include "editor/DocumentHost.h"
#include "editor/PluginListBox.h"
#include "editor/PluginViewerWindow.h"
#include "model/PluginItemFile.h"
#include "platform/Picture.h"
#include "platform/Text.h"
#include "platform/UIServices.h"
#include "util/WytFramework.h"

namespace zpc::editor {

using controls::MenuItem;
using controls::MenuItemPtr;
using model::PluginItemPtr;
using namespace zpc::platform;

namespace {

const QString kRenameTag = QStringLiteral("rename");
const QString kShowDataSourceTag = QStringLiteral("showDataSource");

bool isOneOf(const QString& extension, std::initializer_list<const char*> list) {
    for (const char* e : list)
        if (text::equals(extension, QLatin1String(e))) return true;
    return false;
}

}  // namespace

// Entries for the row under the pointer; the commands then act on the
// selected row (the list selects the row clicked).
bool PluginViewerWindow::ListBox1_ConstructContextualMenu(const MenuItemPtr& base, int x, int y) {
    mContextPoint = QPoint(x, y);
    const int row = mListBox1->RowFromXY(x, y);
    if (const PluginItemPtr node = row >= 0 ? mListBox1->RowTag(row) : nullptr) {
        if (node->mutableName()) {
            base->Append(MenuItem::create(QStringLiteral("Rename"), kRenameTag));
            base->Append(MenuItem::create(QStringLiteral("-")));
        }
        if (node->dataSource())
            base->Append(MenuItem::create(QStringLiteral("Show in Finder"), kShowDataSourceTag));
    }
    return base->Count() > 0;
}

bool PluginViewerWindow::ListBox1_ContextualMenuAction(const MenuItemPtr& hitItem) {
    if (!mCurrentSelection || !hitItem) return false;
    const QString tag = hitItem->Tag.toString();
    if (tag == kRenameTag)
        startRenameAt(mContextPoint);
    else if (tag == kShowDataSourceTag)
        showDataSource(mCurrentSelection);
    return false;
}

// A folder is shown itself, a file inside its folder.
void PluginViewerWindow::showDataSource(const PluginItemPtr& node) {
    if (const FolderItemPtr source = node ? node->dataSource() : nullptr) ui().revealFile(source);
}

void PluginViewerWindow::ListBox1_DoubleClick() {
    if (mCurrentBubble) mCurrentBubble->Close();
    // The Command key of the design is the platform's command modifier.
    if (mListBox1->clickModifiers() & Qt::ControlModifier) {
        _startRename();
        return;
    }
    const int row = mListBox1->ListIndex();
    const PluginItemPtr node = row >= 0 ? mListBox1->RowTag(row) : nullptr;
    if (!node) return;
    if (node->asFolder()) {
        mListBox1->setExpanded(row, !mListBox1->Expanded(row));
        return;
    }
    openFileItem(node);
}

// Pages, PDF and text in the document viewer, word-processor documents in
// their own application, anything else as a picture if it is one.
void PluginViewerWindow::openFileItem(const PluginItemPtr& node) {
    const auto file = std::dynamic_pointer_cast<model::PluginItemFile>(node);
    const FolderItemPtr source = file ? file->dataSource() : nullptr;
    if (!source) return;
    const QString extension = util::WytFramework::fileExtension(source);
    DocumentHost* host = documentHost();
    if (isOneOf(extension, {"html", "htm", "pdf", "txt"})) {
        if (host) host->openDocumentViewer(source);
    } else if (isOneOf(extension, {"rtf", "doc", "docx", "rtfd"})) {
        ui().launchFile(source);
    } else if (const PicturePtr picture = Picture::Open(source)) {
        if (host) host->openPictureViewer(picture, source->Name());
    }
}

}  // namespace zpc::editor
