#pragma once

#include "archive/PluginArchive.h"

class QMainWindow;
class QWidget;

namespace zpc::editor {

// What the editor windows need from the application that hosts them.
class DocumentHost {
public:
    virtual ~DocumentHost();
    // The save prompt for a window about to close: 1 Save, 2 Don't Save, 0 Cancel.
    virtual int documentRequiresSave(QWidget* window) = 0;
    // The zip routine a new plugin gets for its zipped saves.
    virtual archive::CompressDelegate compressDelegate() = 0;
    // True while the application quits: windows then close without asking.
    virtual bool quitting() const = 0;
    // A window was made and is about to show (its menu bar can be set up
    // here), or was closed.
    virtual void documentWindowOpened(QMainWindow* window);
    virtual void documentWindowClosed(QMainWindow* window);
    // Viewers for a plugin's files, independent of the editor once shown: an
    // HTML page, a PDF or a text file, and a picture with its title. Each
    // answers the window it showed, or nil when it showed none.
    virtual QWidget* openDocumentViewer(const platform::FolderItemPtr& file);
    virtual QWidget* openPictureViewer(const platform::PicturePtr& picture, const QString& title);
};

// The host in use, or nil: without one, a changed window asks nobody and
// stays open, and new plugins get no zip routine.
DocumentHost* documentHost();
void setDocumentHost(DocumentHost* host);

}  // namespace zpc::editor
