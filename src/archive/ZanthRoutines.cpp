#include "archive/ZanthRoutines.h"

#include "model/ZanthPackage.h"
#include "platform/Shell.h"
#include "platform/UIServices.h"

namespace zpc::archive {

using namespace zpc::platform;

bool compressZanthFolder(const FolderItemPtr& folder, const FolderItemPtr& package) {
    if (!folder || !folder->Directory()) return false;
    Shell shell;
    shell.Execute(model::ZanthPackage::zipCommand(folder, package->ShellPath()));
    if (shell.ErrorCode() != 0) {
        ui().msgBox(shell.Result());
        return false;
    }
    return true;
}

FolderItemPtr decompressZanthFolder(const FolderItemPtr& package,
                                    const FolderItemPtr& extractionFolder) {
    return model::ZanthPackage::unpack(package, extractionFolder, displayErrorDialog);
}

void displayErrorDialog(const QString& message, int code) {
    MessageDialogRequest request;
    request.icon = kIconStop;
    request.message = message.isEmpty() ? QStringLiteral("An error has occurred!") : message;
    request.explanation = QStringLiteral("Error code: ") + QString::number(code);
    ui().messageDialog(request);
}

CompressDelegate zanthCompressDelegate() {
    return compressZanthFolder;
}

model::DecompressDelegate zanthDecompressDelegate() {
    return decompressZanthFolder;
}

}  // namespace zpc::archive
