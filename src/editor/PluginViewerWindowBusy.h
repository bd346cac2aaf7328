#pragma once

#include "editor/PluginViewerWindow.h"

namespace zpc::editor {

// Marks one of the window's operations as running: the window refuses to
// close meanwhile (an operation's yields serve window-system events).
class PluginViewerWindow::Busy {
public:
    explicit Busy(PluginViewerWindow* window) : mWindow(window) { ++mWindow->mBusy; }
    ~Busy() { --mWindow->mBusy; }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

private:
    PluginViewerWindow* mWindow;
};

}  // namespace zpc::editor
