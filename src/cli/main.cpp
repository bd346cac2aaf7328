// zanthpc: the plugins' read and write forms from the command line, through
// the same model as the application and without any window.
#include "cli/Commands.h"
#include "cli/Version.h"
#include "model/ZanthPackage.h"
#include "platform/Application.h"
#include "platform/UIServices.h"

#include <unistd.h>
#include <QCoreApplication>
#include <QFile>

int main(int argc, char** argv) {
    using namespace zpc;
    QCoreApplication qapp(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zanthpc"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZPC_VERSION));
    platform::Application::setLongVersion(QStringLiteral(ZPC_LONG_VERSION));

    auto console = std::make_shared<platform::ConsoleUIServices>();
    // A report that redraws its line would only clutter a log or a pipe.
    console->setShowProgress(isatty(STDERR_FILENO) == 1);
    platform::setUI(console);

    // Raw bytes, so that names which are not valid text reach the files as given.
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments << QFile::decodeName(argv[i]);

    model::ZanthPackage::removeStaleExtractionFolders();
    const int status = cli::run(arguments);
    // Every plugin read from an unpacked package is released by now.
    model::ZanthPackage::removeExtractionFolders();
    platform::setUI(nullptr);
    return status;
}
