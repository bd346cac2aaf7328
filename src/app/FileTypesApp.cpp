#include "app/FileTypesApp.h"

#include "archive/PluginDocument.h"
#include "platform/Exceptions.h"

#include <memory>

namespace zpc::app::FileTypesApp {

using platform::FileType;

namespace {

enum Index { pText, pSpecialAny, pOldPluginFile, pSpecialFolder, pNewPluginFile, pPluginProjectFile };

std::unique_ptr<std::vector<FileType>>& types() {
    static std::unique_ptr<std::vector<FileType>> t;
    return t;
}

const FileType& at(Index i) {
    if (!types()) create();
    return (*types())[size_t(i)];
}

}  // namespace

void create() {
    if (types()) return;
    types() = std::make_unique<std::vector<FileType>>(std::vector<FileType>{
        {QStringLiteral("text"), {}, QStringLiteral("TEXT"), QStringLiteral("R*ch")},
        {QStringLiteral("special/any"), {}, QStringLiteral("????"), QStringLiteral("????")},
        {QStringLiteral("Old Plugin File"), {}, QStringLiteral("KVPl"), QStringLiteral("KVv2")},
        {QStringLiteral("special/folder"), {}, QStringLiteral("fold"), QStringLiteral("MACS")},
        {QStringLiteral("New Plugin File"), {QStringLiteral(".kvx")}, archive::packageMacType(),
         archive::packageMacCreator()},
        {QStringLiteral("Plugin Project File"), {QStringLiteral(".prjkvx")}, QStringLiteral("TEXT"),
         QStringLiteral("iRPG")},
    });
}

void release() { types().reset(); }

const FileType& SpecialAny() { return at(pSpecialAny); }
const FileType& NewPluginFile() { return at(pNewPluginFile); }

const std::vector<FileType>& table() {
    if (!types()) create();
    return *types();
}

}  // namespace zpc::app::FileTypesApp
