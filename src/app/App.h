#pragma once

#include "platform/FolderItem.h"

#include <QObject>
#include <QString>

namespace zpc::app {

// The one application object. It outlives every window; the global accessor
// app() reaches it from anywhere.
class App : public QObject {
    Q_OBJECT
public:
    App();
    ~App() override;

    // The Open event: makes the working folder Documents/<executable name up
    // to its first ".">; an existing folder is left alone.
    void Open();
    platform::FolderItemPtr documentsFolder() const { return mAppDocumentsFolder; }

    // The save prompt: 1 Save, 2 Don't Save, 0 Cancel.
    int displayDialogDocumentRequiresSave(QObject* window);
    // The error dialog with "Error code: " and the code.
    void displayErrorDialog(const QString& message, int code);

    // The archives' zip and unzip routines (their compress and decompress
    // delegates). Zips the folder into the package; a failure shows zip's
    // output. False when no package was made.
    bool compressZanthFolder(const platform::FolderItemPtr& folder,
                             const platform::FolderItemPtr& package);
    // Unpacks the package into the empty extraction folder and answers the
    // plugin's folder in it; a failure shows the error dialog. Nil when there
    // is nothing to read.
    platform::FolderItemPtr decompressZanthFolder(const platform::FolderItemPtr& package,
                                                  const platform::FolderItemPtr& extractionFolder);

private:
    platform::FolderItemPtr mAppDocumentsFolder;
};

// The registered application object; raises NilObjectException when none exists.
App& app();
bool hasApp();

}  // namespace zpc::app
