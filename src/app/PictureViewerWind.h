#pragma once

#include "controls/Canvas.h"

namespace zpc::app {

// A window that shows a picture at its own size, from its top-left corner.
class PictureViewerWind : public controls::Canvas {
    Q_OBJECT
public:
    // Shows a new viewer whose content is exactly the picture, titled with
    // title or "Untitled", and answers it; answers nil and shows nothing for a
    // nil picture. The window deletes itself when closed.
    static PictureViewerWind* open(const platform::PicturePtr& picture, const QString& title);

protected:
    PictureViewerWind();
};

}  // namespace zpc::app
