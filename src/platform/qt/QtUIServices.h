#pragma once

#include "platform/UIServices.h"

#include <QPointer>

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

private:
    int mDepth = 0;
    QString mLabel;
    long long mStartNs = 0;
    QPointer<QProgressDialog> mDialog;
};

}  // namespace zpc::platform
