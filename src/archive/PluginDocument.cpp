#include "archive/PluginDocument.h"

#include "archive/PluginConverter.h"
#include "archive/PluginSearch.h"
#include "platform/VirtualVolume.h"
#include "platform/Yield.h"

namespace zpc::archive {

using namespace zpc::platform;

std::shared_ptr<PluginArchive> openPluginDocument(const FolderItemPtr& entry,
                                                  model::DecompressDelegate decompressor) {
    if (!entry) return nullptr;
    ProgressScope progress(QStringLiteral("Opening \"%1\"").arg(entry->Name()));
    std::shared_ptr<PluginArchive> plugin =
        PluginArchive::create(entry, false, std::move(decompressor));
    if (!plugin->dataSource() && entry->Directory()) plugin = scanPluginFolder(entry);
    return plugin;
}

std::shared_ptr<PluginArchive> scanPluginFolder(const FolderItemPtr& folder) {
    const FolderItemPtr found = findPluginDirectory(folder);
    if (!found) return nullptr;
    return PluginArchive::create(found, true, nullptr);
}

bool convertToPackage(const FolderItemPtr& source, const FolderItemPtr& package) {
    bool converted;
    {
        ProgressScope progress(QStringLiteral("Converting \"%1\"").arg(source->Name()));
        std::shared_ptr<VirtualVolume> volume = package->CreateVirtualVolume();
        {
            PluginConverter converter(source, volume);
            converted = converter.Convert();
        }
        volume.reset();
    }
    // Only a package that was written gets the codes: a failed conversion
    // leaves no package, and an older file of that name stays as it was.
    if (converted) {
        package->setMacCreator(packageMacCreator());
        package->setMacType(packageMacType());
    }
    return converted;
}

QString packageMacCreator() {
    return QStringLiteral("KVv2");
}
QString packageMacType() {
    return QStringLiteral("KVPx");
}

}  // namespace zpc::archive
