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

DocumentHost* documentHost() {
    return gHost;
}
void setDocumentHost(DocumentHost* host) {
    gHost = host;
}

}  // namespace zpc::editor
