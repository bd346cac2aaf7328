#pragma once

#include "archive/PluginArchive.h"
#include "editor/DocumentHost.h"
#include "platform/FolderItem.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

namespace zpc::app {

class StartWindow;

// The one application object. It outlives every window; the global accessor
// app() reaches it from anywhere.
class App : public QObject, public editor::DocumentHost {
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

    // ---- Commands ----

    // Start-up: the application's menu handlers by item name, and its
    // enabling step.
    void attachMenuHandlers();
    // Where the platform has no global menu bar: a start window carrying the
    // menu bar whenever no editor window is open; closing it quits.
    void setUsesStartWindow(bool uses);
    StartWindow* startWindow() const;
    static bool hasGlobalMenuBar();

    // Opens a plugin in any of its forms in a new editor window; a folder
    // that is no plugin is searched for the first plugin folder below it.
    // Nil, and a folder without any plugin, open nothing.
    void openDocument(const platform::FolderItemPtr& entry);
    // Documents handed over on the command line, each as Open... would.
    void openDocuments(const QStringList& paths);
    // Asks where the package goes, converts the source into it and sets its
    // Mac codes; true when the package was written.
    bool PerformConversion(const platform::FolderItemPtr& source);

    // The menu handlers; each answers true (handled).
    bool AppleAbout_Action();
    bool FileNew_Action();
    bool FileNewClassicHierarchy_Action();
    bool FileOpen_Action();
    bool FileOpenFolder_Action();
    bool ConvertOldPluginFormat_Action();
    bool ConvertFolderHierarchy_Action();
    // Closes every window without asking, then leaves the event loop.
    bool FileQuit_Action();

    // The editor windows' host.
    int documentRequiresSave(QWidget* window) override;
    archive::CompressDelegate compressDelegate() override;
    model::DecompressDelegate decompressDelegate();
    bool quitting() const override { return mQuitting; }
    void documentWindowOpened(QMainWindow* window) override;
    void documentWindowClosed(QMainWindow* window) override;
    // The viewers an editor window opens for a file (AppViewers.cpp).
    QWidget* openDocumentViewer(const platform::FolderItemPtr& file) override;
    QWidget* openPictureViewer(const platform::PicturePtr& picture, const QString& title) override;

protected:
    // Documents handed over by the system as open-file events.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::shared_ptr<archive::PluginArchive> scanFolder(const platform::FolderItemPtr& folder);
    void convertAndReport(const platform::FolderItemPtr& source);
    void showStartWindowIfIdle();
    // Takes the application's handlers off the menu bar.
    void releaseCommands();

    platform::FolderItemPtr mAppDocumentsFolder;
    bool mQuitting = false;
    bool mUsesStartWindow = false;
    QPointer<StartWindow> mStartWindow;
};

// The registered application object; raises NilObjectException when none exists.
App& app();
bool hasApp();

}  // namespace zpc::app
