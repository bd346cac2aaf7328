// Opens a plugin and saves it in one form into a directory, as the editor's
// save commands do; the crash-safety test kills it while it writes.
//   zpc_save_child kvx|zanth|project SOURCE DIRECTORY
// Prints "saving" on standard output just before the save starts. Exit code 0
// when the save answered true, 1 when it answered false, 2 on bad arguments.
#include "archive/PluginArchive.h"
#include "platform/DiskFolderItem.h"

#include <QGuiApplication>
#include <cstdio>
#include <cstring>

using namespace zpc;

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const auto source = platform::DiskFolderItem::fromBytes(argv[2]);
    const auto directory = platform::DiskFolderItem::fromBytes(argv[3]);
    const auto archive = archive::PluginArchive::create(source, true, nullptr);
    std::fputs("saving\n", stdout);
    std::fflush(stdout);
    bool saved = false;
    if (std::strcmp(argv[1], "kvx") == 0)
        saved = archive->saveAsPluginFile(directory);
    else if (std::strcmp(argv[1], "zanth") == 0)
        saved = archive->saveAsZanthPluginFile(directory);
    else if (std::strcmp(argv[1], "project") == 0)
        saved = archive->saveAsProject(directory);
    else
        return 2;
    return saved ? 0 : 1;
}
