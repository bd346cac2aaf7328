// The viewers the editor windows reach through their host.
#include "app/App.h"
#include "app/HTMLViewerWind.h"
#include "app/PictureViewerWind.h"

namespace zpc::app {

QWidget* App::openDocumentViewer(const platform::FolderItemPtr& file) {
    return HTMLViewerWind::open(file);
}

QWidget* App::openPictureViewer(const platform::PicturePtr& picture, const QString& title) {
    return PictureViewerWind::open(picture, title);
}

}  // namespace zpc::app
