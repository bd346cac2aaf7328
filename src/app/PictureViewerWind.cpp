#include "app/PictureViewerWind.h"

#include "platform/Picture.h"

namespace zpc::app {

PictureViewerWind::PictureViewerWind() {
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Untitled"));
    resize(448, 332);
}

PictureViewerWind* PictureViewerWind::open(const platform::PicturePtr& picture,
                                           const QString& title) {
    if (!picture) return nullptr;
    auto* window = new PictureViewerWind();
    window->setBackdrop(picture);
    window->setFixedSize(picture->Width(), picture->Height());
    if (!title.isEmpty()) window->setWindowTitle(title);
    window->show();
    return window;
}

}  // namespace zpc::app
