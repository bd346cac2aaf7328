#include "editor/DocumentHost.h"

namespace zpc::editor {

namespace {
DocumentHost* gHost = nullptr;
}

DocumentHost::~DocumentHost() {
    if (gHost == this) gHost = nullptr;
}

void DocumentHost::documentWindowOpened(QMainWindow*) {}
void DocumentHost::documentWindowClosed(QMainWindow*) {}
QWidget* DocumentHost::openDocumentViewer(const platform::FolderItemPtr&) {
    return nullptr;
}
QWidget* DocumentHost::openPictureViewer(const platform::PicturePtr&, const QString&) {
    return nullptr;
}

DocumentHost* documentHost() {
    return gHost;
}
void setDocumentHost(DocumentHost* host) {
    gHost = host;
}

}  // namespace zpc::editor
