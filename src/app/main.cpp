#include "app/App.h"
#include "app/FileTypesApp.h"
#include "app/Menu.h"
#include "app/QuitSignals.h"
#include "app/Version.h"
#include "editor/PluginViewerWindow.h"
#include "model/ZanthPackage.h"
#include "platform/Application.h"
#include "platform/qt/GuardedApplication.h"
#include "platform/qt/QtUIServices.h"

#include <QEvent>

int main(int argc, char** argv) {
    using namespace zpc;
    platform::GuardedApplication qapp(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral(ZPC_APP_NAME));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZPC_VERSION));
    platform::Application::setLongVersion(QStringLiteral(ZPC_LONG_VERSION));
    platform::setUI(std::make_shared<platform::QtUIServices>());
    // The application decides when to quit: from Quit, or when the start
    // window closes.
    QApplication::setQuitOnLastWindowClosed(false);

    app::FileTypesApp::create();
    int rc = 0;
    {
        app::App application;
        app::Menu::instance();
        application.attachMenuHandlers();
        platform::GuardedApplication::setFailureHandler(
            [&application](const QString& message, int code) { application.displayErrorDialog(message, code); });
        app::quitOnTerminationSignals();
        application.Open();
        model::ZanthPackage::removeStaleExtractionFolders();
        // Documents given on the command line open like Open... (on macOS the
        // system hands them over as open-file events instead).
        if (!app::App::hasGlobalMenuBar()) {
            application.openDocuments(QCoreApplication::arguments().mid(1));
            application.setUsesStartWindow(true);
        }
        rc = qapp.exec();
        // Windows closed by Quit are deleted on the way out, and so are those
        // still open after a termination signal.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        qDeleteAll(editor::PluginViewerWindow::windows());
        platform::GuardedApplication::setFailureHandler({});
    }
    // The event loop has ended: no document reads from these any more.
    model::ZanthPackage::removeExtractionFolders();
    app::Menu::release();
    app::FileTypesApp::release();
    platform::setUI(nullptr);
    return rc;
}
