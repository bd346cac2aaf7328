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

private:
    platform::FolderItemPtr mAppDocumentsFolder;
};

// The registered application object; raises NilObjectException when none exists.
App& app();
bool hasApp();

}  // namespace zpc::app
