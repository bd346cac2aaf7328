#include "app/App.h"

#include "archive/ZanthRoutines.h"
#include "model/ZanthPackage.h"
#include "platform/Application.h"
#include "platform/Exceptions.h"
#include "platform/SpecialFolder.h"
#include "platform/Text.h"
#include "platform/UIServices.h"

#include <QCoreApplication>

namespace zpc::app {

using namespace zpc::platform;

namespace {
App* gApp = nullptr;
}

App::App() {
    gApp = this;
    editor::setDocumentHost(this);
    if (QCoreApplication* qapp = QCoreApplication::instance()) qapp->installEventFilter(this);
}

App::~App() {
    releaseCommands();
    if (editor::documentHost() == this) editor::setDocumentHost(nullptr);
    if (gApp == this) gApp = nullptr;
}

App& app() {
    if (!gApp) throw NilObjectException(QStringLiteral("No application object"));
    return *gApp;
}

bool hasApp() { return gApp != nullptr; }

void App::Open() {
    FolderItemPtr exe = platform::Application::ExecutableFile();
    const QStringList pieces = text::split(exe ? exe->Name() : QString(), QStringLiteral("."));
    const QString folderName = pieces.isEmpty() ? QString() : pieces.first();
    FolderItemPtr documents = SpecialFolder::Documents();
    mAppDocumentsFolder = documents->Child(folderName);
    if (!mAppDocumentsFolder->Exists()) {
        // Documents itself may be missing on a fresh account.
        if (!documents->Exists()) documents->CreateAsFolder();
        mAppDocumentsFolder->CreateAsFolder();
    }
}

int App::displayDialogDocumentRequiresSave(QObject* window) {
    MessageDialogRequest request;
    request.icon = kIconQuestion;
    request.cancelVisible = true;
    request.cancelCaption = QStringLiteral("Cancel");
    request.message = QStringLiteral(
        "The document contains unsaved changes. Do You wanto to save them before closing the window?");
    request.explanation = QStringLiteral("Your changes will be lost if you don't save them.");
    request.actionCaption = QStringLiteral("Save");
    request.alternateCaption = QStringLiteral("Don't Save");
    request.alternateVisible = true;
    request.window = window;
    switch (ui().messageDialog(request)) {
        case kAnswerAction: return 1;
        case kAnswerAlternate: return 2;
        default: return 0;
    }
}

void App::displayErrorDialog(const QString& message, int code) {
    archive::displayErrorDialog(message, code);
}

bool App::compressZanthFolder(const FolderItemPtr& folder, const FolderItemPtr& package) {
    return archive::compressZanthFolder(folder, package);
}

FolderItemPtr App::decompressZanthFolder(const FolderItemPtr& package,
                                         const FolderItemPtr& extractionFolder) {
    return model::ZanthPackage::unpack(
        package, extractionFolder,
        [this](const QString& output, int code) { displayErrorDialog(output, code); });
}

}  // namespace zpc::app
