// The application's commands: opening, new plugins, conversions, About, Quit,
// and the documents handed over by the system.
#include "app/AboutBox.h"
#include "app/App.h"
#include "app/FileTypesApp.h"
#include "app/Menu.h"
#include "app/StartWindow.h"
#include "archive/PluginDocument.h"
#include "editor/PluginViewerWindow.h"
#include "platform/UIServices.h"
#include "platform/Yield.h"

#include <QAction>
#include <QApplication>
#include <QFileOpenEvent>
#include <QMenuBar>
#include <cstdio>

namespace zpc::app {

using namespace zpc::platform;
using archive::PluginArchive;
using editor::PluginViewerWindow;

namespace {

const char* const kAppCommands[] = {"AppleAbout",
                                    "FileOpen",
                                    "FileOpenFolder",
                                    "FileNew",
                                    "ConvertOldPluginFormat",
                                    "ConvertFolderHierarchy",
                                    "FileNewClassicHierarchy",
                                    "FileQuit"};

}  // namespace

bool App::hasGlobalMenuBar() {
#ifdef Q_OS_MACOS
    return true;
#else
    return false;
#endif
}

void App::attachMenuHandlers() {
    Menu& menu = Menu::instance();
    // In the order of start-up; Quit, the framework's own command elsewhere,
    // comes last.
    menu.setAppHandler(QStringLiteral("AppleAbout"), [this] { return AppleAbout_Action(); });
    menu.setAppHandler(QStringLiteral("FileOpen"), [this] { return FileOpen_Action(); });
    menu.setAppHandler(QStringLiteral("FileOpenFolder"),
                       [this] { return FileOpenFolder_Action(); });
    menu.setAppHandler(QStringLiteral("FileNew"), [this] { return FileNew_Action(); });
    menu.setAppHandler(QStringLiteral("ConvertOldPluginFormat"),
                       [this] { return ConvertOldPluginFormat_Action(); });
    menu.setAppHandler(QStringLiteral("ConvertFolderHierarchy"),
                       [this] { return ConvertFolderHierarchy_Action(); });
    menu.setAppHandler(QStringLiteral("FileNewClassicHierarchy"),
                       [this] { return FileNewClassicHierarchy_Action(); });
    menu.setAppHandler(QStringLiteral("FileQuit"), [this] { return FileQuit_Action(); });
    menu.setAppEnabler([] {
        AppleAbout()->setEnabled(true);
        ConvertOldPluginFormat()->setEnabled(true);
    });
#ifdef Q_OS_MACOS
    // The one global menu bar.
    static QMenuBar* global = nullptr;
    if (!global) {
        global = new QMenuBar(nullptr);
        menu.installInto(global);
    }
#endif
}

void App::releaseCommands() {
    if (mStartWindow) delete mStartWindow.data();
    if (QCoreApplication* qapp = QCoreApplication::instance()) qapp->removeEventFilter(this);
    // The menu bar may outlive this object (tests make several).
    Menu& menu = Menu::instance();
    for (const char* name : kAppCommands) menu.setAppHandler(QLatin1String(name), {});
    menu.setAppEnabler({});
}

StartWindow* App::startWindow() const {
    return mStartWindow.data();
}

void App::setUsesStartWindow(bool uses) {
    mUsesStartWindow = uses;
    if (uses)
        showStartWindowIfIdle();
    else if (mStartWindow)
        mStartWindow->hide();
}

void App::showStartWindowIfIdle() {
    if (!mUsesStartWindow || mQuitting || !PluginViewerWindow::windows().isEmpty()) return;
    if (!mStartWindow) mStartWindow = new StartWindow();
    mStartWindow->show();
    mStartWindow->raise();
    mStartWindow->activateWindow();
}

// ---- Opening ----

void App::openDocument(const FolderItemPtr& entry) {
    std::shared_ptr<PluginArchive> plugin = archive::openPluginDocument(entry, decompressDelegate());
    if (!plugin) return;
    plugin->compressorAgent = compressDelegate();
    PluginViewerWindow::create(plugin);
}

std::shared_ptr<PluginArchive> App::scanFolder(const FolderItemPtr& folder) {
    return archive::scanPluginFolder(folder);
}

void App::openDocuments(const QStringList& paths) {
    for (const QString& path : paths) {
        const FolderItemPtr entry = folderItemForPath(path);
        if (!entry || !entry->Exists()) {
            std::fprintf(stderr, "%s: no such file or folder: %s\n",
                         qPrintable(QCoreApplication::applicationName()), qPrintable(path));
            continue;
        }
        openDocument(entry);
    }
}

bool App::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FileOpen && watched == QCoreApplication::instance()) {
        const QString file = static_cast<QFileOpenEvent*>(event)->file();
        if (!file.isEmpty()) openDocument(folderItemForPath(file));
        return true;
    }
    return QObject::eventFilter(watched, event);
}

// ---- Commands ----

bool App::AppleAbout_Action() {
    AboutBox::showSingle();
    return true;
}

bool App::FileNew_Action() {
    auto plugin = PluginArchive::create(false);
    plugin->compressorAgent = compressDelegate();
    PluginViewerWindow::create(plugin);
    return true;
}

bool App::FileNewClassicHierarchy_Action() {
    auto plugin = PluginArchive::create(true);
    plugin->compressorAgent = compressDelegate();
    PluginViewerWindow::create(plugin);
    return true;
}

bool App::FileOpen_Action() {
    FileDialogRequest request;
    request.kind = FileDialogRequest::Open;
    request.filter = FileTypesApp::SpecialAny().Name;
    openDocument(ui().fileDialog(request));
    return true;
}

bool App::FileOpenFolder_Action() {
    FileDialogRequest request;
    request.kind = FileDialogRequest::SelectFolder;
    openDocument(ui().fileDialog(request));
    return true;
}

bool App::ConvertOldPluginFormat_Action() {
    FileDialogRequest request;
    request.kind = FileDialogRequest::Open;
    request.filter = FileTypesApp::SpecialAny().Name;
    if (FolderItemPtr source = ui().fileDialog(request)) convertAndReport(source);
    return true;
}

bool App::ConvertFolderHierarchy_Action() {
    FileDialogRequest request;
    request.kind = FileDialogRequest::SelectFolder;
    if (FolderItemPtr source = ui().fileDialog(request)) convertAndReport(source);
    return true;
}

void App::convertAndReport(const FolderItemPtr& source) {
    const bool converted = PerformConversion(source);
    ui().msgBox(converted ? QStringLiteral("Successfully converted")
                          : QStringLiteral("Conversion failed"));
}

bool App::PerformConversion(const FolderItemPtr& source) {
    const platform::FileType& package = FileTypesApp::NewPluginFile();
    FileDialogRequest request;
    request.kind = FileDialogRequest::SaveAs;
    request.filter = FileTypesApp::SpecialAny().Name;
    request.initialDirectory = source->Parent();
    request.suggestedFileName = source->Name() + package.Extensions.value(0);
    const FolderItemPtr chosen = ui().fileDialog(request);
    if (!chosen) return false;

    return archive::convertToPackage(source, chosen);
}

bool App::FileQuit_Action() {
    mQuitting = true;
    // Closing never asks while quitting; unsaved changes are dropped.
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isWindow() && w->isVisible() && !qobject_cast<QMenu*>(w)) w->close();
    QCoreApplication::quit();
    return true;
}

// ---- The editor windows' host ----

int App::documentRequiresSave(QWidget* window) {
    return displayDialogDocumentRequiresSave(window);
}

archive::CompressDelegate App::compressDelegate() {
    return [this](const FolderItemPtr& folder, const FolderItemPtr& package) {
        return compressZanthFolder(folder, package);
    };
}

model::DecompressDelegate App::decompressDelegate() {
    return [this](const FolderItemPtr& package, const FolderItemPtr& folder) {
        return decompressZanthFolder(package, folder);
    };
}

void App::documentWindowOpened(QMainWindow* window) {
    if (!hasGlobalMenuBar()) Menu::instance().installInto(window->menuBar());
    if (mStartWindow) mStartWindow->hide();
}

void App::documentWindowClosed(QMainWindow*) {
    showStartWindowIfIdle();
}

}  // namespace zpc::app
