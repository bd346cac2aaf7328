// The window as a document: saving in the four forms, reverting, closing.
#include "editor/DocumentHost.h"
#include "editor/PluginListBox.h"
#include "editor/PluginViewerWindow.h"
#include "editor/PluginViewerWindowBusy.h"
#include "platform/Text.h"
#include "platform/UIServices.h"
#include "platform/Yield.h"

#include <QAction>

namespace zpc::editor {

using namespace zpc::platform;
using archive::PluginArchive;

namespace {

const QString kChooseDestination = QStringLiteral("Please, choose a destination folder.");

}  // namespace

void PluginViewerWindow::_handleChanges(bool changed) {
    setWindowModified(changed);
}

void PluginViewerWindow::AddMenuHandlers() {
    addMenuHandler(QStringLiteral("FileSave"), [this] { return _FileSave_Action(); });
    addMenuHandler(QStringLiteral("FileSaveAsFolderHierarchy"),
                   [this] { return _FileSaveAsFolderHierarchy_Action(); });
    addMenuHandler(QStringLiteral("FileSaveAsProject"),
                   [this] { return _FileSaveAsProject_Action(); });
    addMenuHandler(QStringLiteral("SaveKVXFormat"), [this] { return _SaveKVXFormat_Action(); });
    addMenuHandler(QStringLiteral("SaveZanthFormat"), [this] { return _SaveZanthFormat_Action(); });
    addMenuHandler(QStringLiteral("EditRevert"), [this] { return _EditRevert_Action(); });
}

void PluginViewerWindow::Event_EnableMenuItems() {
    const bool valid = mArchive && mArchive->isValid();
    for (const char* name : {"FileSaveAsProject", "EditRevert"})
        if (QAction* item = menuItem(QLatin1String(name))) item->setEnabled(valid);
}

bool PluginViewerWindow::_FileSave_Action() {
    _savePlugin(1);
    return true;
}
bool PluginViewerWindow::_SaveKVXFormat_Action() {
    _savePlugin(1);
    return true;
}
bool PluginViewerWindow::_SaveZanthFormat_Action() {
    _savePlugin(2);
    return true;
}
bool PluginViewerWindow::_FileSaveAsFolderHierarchy_Action() {
    _savePluginAsFolderHierarchy();
    return true;
}
bool PluginViewerWindow::_FileSaveAsProject_Action() {
    _savePluginAsProject();
    return true;
}
bool PluginViewerWindow::_EditRevert_Action() {
    _revert();
    return true;
}

// The package goes into the chosen file's folder under the plugin's name and
// the form's extension; a chosen name other than the plugin's renames the
// plugin first. The changed flag is cleared only once the package is written.
void PluginViewerWindow::_savePlugin(int format) {
    if (!mArchive) return;
    FileDialogRequest request;
    request.kind = FileDialogRequest::SaveAs;
    request.suggestedFileName = mArchive->name();
    const FolderItemPtr chosen = ui().fileDialog(request);
    if (!chosen) return;
    if (!text::equals(chosen->Name(), mArchive->name())) {
        mArchive->setName(chosen->Name());
        // The root row shows the new name at once.
        mListBox1->InvalidateCell(0);
    }
    const FolderItemPtr directory = chosen->Parent();
    if (!directory) return;
    bool written;
    {
        Busy busy(this);
        ProgressScope progress(QStringLiteral("Saving \"%1\"").arg(mArchive->name()));
        written = format == 1   ? mArchive->saveAsPluginFile(directory)
                  : format == 2 ? mArchive->saveAsZanthPluginFile(directory)
                                : false;
    }
    if (written) _handleChanges(false);
}

FolderItemPtr PluginViewerWindow::chooseDestinationFolder() {
    FileDialogRequest request;
    request.kind = FileDialogRequest::SelectFolder;
    request.promptText = kChooseDestination;
    request.window = this;
    return ui().fileDialog(request);
}

void PluginViewerWindow::_savePluginAsFolderHierarchy() {
    if (!mArchive) return;
    const FolderItemPtr folder = chooseDestinationFolder();
    if (!folder) return;
    bool written;
    {
        Busy busy(this);
        ProgressScope progress(QStringLiteral("Saving \"%1\"").arg(mArchive->name()));
        written = mArchive->saveAsFolder(folder);
    }
    if (written) _handleChanges(false);
}

void PluginViewerWindow::_savePluginAsProject() {
    if (!mArchive) return;
    const FolderItemPtr folder = chooseDestinationFolder();
    if (!folder) return;
    bool written;
    {
        Busy busy(this);
        ProgressScope progress(QStringLiteral("Saving \"%1\"").arg(mArchive->name()));
        written = mArchive->saveAsProject(folder);
    }
    if (written) _handleChanges(false);
}

// The tree goes back to its source (or to the standard folders alone); the
// changed flag stays as it is.
void PluginViewerWindow::_revert() {
    if (!mArchive) return;
    {
        Busy busy(this);
        ProgressScope progress(QStringLiteral("Reading \"%1\"").arg(mArchive->name()));
        mArchive->revert();
    }
    RepopulateListbox();
}

bool PluginViewerWindow::Event_CancelClose(bool appQuitting) {
    if (appQuitting || !ContentsChanged()) return false;
    DocumentHost* host = documentHost();
    switch (host ? host->documentRequiresSave(this) : 0) {
        case 1:
            _savePlugin(1);
            // A save that was cancelled or failed keeps the window, and the
            // changes, open.
            return ContentsChanged();
        case 2:
            return false;
        default:
            return true;
    }
}

}  // namespace zpc::editor
