#include "app/App.h"
#include "app/FileTypesApp.h"
#include "app/QuitSignals.h"
#include "app/Version.h"
#include "model/ZanthPackage.h"
#include "platform/Application.h"
#include "platform/qt/GuardedApplication.h"
#include "platform/qt/QtUIServices.h"

int main(int argc, char** argv) {
    using namespace zpc;
    platform::GuardedApplication qapp(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral(ZPC_APP_NAME));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZPC_VERSION));
    platform::Application::setLongVersion(QStringLiteral(ZPC_LONG_VERSION));
    platform::setUI(std::make_shared<platform::QtUIServices>());

    app::FileTypesApp::create();
    int rc = 0;
    {
        app::App application;
        platform::GuardedApplication::setFailureHandler(
            [&application](const QString& message, int code) { application.displayErrorDialog(message, code); });
        app::quitOnTerminationSignals();
        // No window opens by itself: the user starts from the menu bar.
        application.Open();
        model::ZanthPackage::removeStaleExtractionFolders();
        rc = qapp.exec();
        platform::GuardedApplication::setFailureHandler({});
    }
    // The event loop has ended: no document reads from these any more.
    model::ZanthPackage::removeExtractionFolders();
    app::FileTypesApp::release();
    platform::setUI(nullptr);
    return rc;
}
