#pragma once

#include "platform/UIServices.h"

#include <QPointer>
#include <functional>

class QDBusConnection;
class QProgressDialog;

namespace zpc::platform {

// The real dialogs of the desktop.
class QtUIServices : public UIServices {
public:
    QtUIServices();
    ~QtUIServices() override;

    void msgBox(const QString& text) override;
    int messageDialog(const MessageDialogRequest& request) override;
    FolderItemPtr fileDialog(const FileDialogRequest& request) override;
    int popUpMenu(const PopUpMenuRequest& request) override;
    void revealFile(const FolderItemPtr& item) override;
    bool launchFile(const FolderItemPtr& item) override;
    void beginProgress(const QString& label) override;
    void endProgress() override;
    void yieldPoint() override;

    // Asks the file manager on the bus (the freedesktop FileManager1
    // interface) to show the entry: a folder opened, a file selected in its
    // folder. Without such a service, or when the call fails, runs otherwise
    // instead. False when the entry is no file or folder on disk.
    static bool revealInFileManager(const QDBusConnection& bus, const FolderItemPtr& item,
                                    const std::function<void()>& otherwise);

private:
    int mDepth = 0;
    QString mLabel;
    long long mStartNs = 0;
    QPointer<QProgressDialog> mDialog;
};

}  // namespace zpc::platform
