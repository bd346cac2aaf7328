#include "archive/PluginArchive.h"

#include "platform/BundlePictures.h"
#include "platform/Text.h"
#include "platform/UIServices.h"
#include "platform/VirtualVolume.h"
#include "platform/Yield.h"
#include "util/WytFramework.h"

namespace zpc::archive {

using namespace zpc::platform;
using model::PluginItemFolder;

std::shared_ptr<PluginArchive> PluginArchive::create(bool classic) {
    auto archive = std::shared_ptr<PluginArchive>(new PluginArchive());
    archive->mClassicHierarchyStyle = classic;
    archive->constructEmpty();
    return archive;
}

std::shared_ptr<PluginArchive> PluginArchive::create(const FolderItemPtr& source, bool mutableName,
                                                     model::DecompressDelegate decompressor) {
    auto archive = std::shared_ptr<PluginArchive>(new PluginArchive());
    archive->constructFromSource(source, mutableName, std::move(decompressor));
    if (source && source->Exists() && !source->Directory())
        archive->mClassicHierarchyStyle =
            text::equals(util::WytFramework::fileExtension(source), fileExtension());
    return archive;
}

void PluginArchive::_init() {
    PluginItemFolder::_init();
    for (const QString& topName : defaultTopHierarchyPluginItemsName()) {
        auto top = PluginItemFolder::create(topName, false);
        QStringList subNames;
        if (topName == QLatin1String("Build Resources"))
            subNames = mClassicHierarchyStyle ? defaultBuildResourcesFoldersListName()
                                              : modernBuildResourcesFoldersListName();
        else if (topName == QLatin1String("IDE Resources"))
            subNames = defaultIDEResourcesFoldersListName();
        for (const QString& subName : subNames) {
            top->add(PluginItemFolder::create(subName, false));
            yield();
        }
        add(top);
        yield();
    }
}

QString PluginArchive::name() const {
    return mName.isEmpty() ? QStringLiteral("Untitled") : mName;
}

void PluginArchive::setName(const QString& value) {
    if (value.isEmpty()) return;
    assignName(value.section(QLatin1Char('.'), 0, 0));
}

PicturePtr PluginArchive::icon() const {
    return mClassicHierarchyStyle ? pictures::kvxplugin() : pictures::kvplugin();
}

bool PluginArchive::_isValidDirectory(const FolderItemPtr& directory) const {
    if (!directory) return false;
    for (const QString& topName : defaultTopHierarchyPluginItemsName())
        if (directory->Child(topName)->Exists()) return true;
    return false;
}

bool PluginArchive::isPluginDirectory(const FolderItemPtr& item) {
    return item && item->Directory() &&
           (item->Child(QStringLiteral("Build Resources"))->Exists() ||
            item->Child(QStringLiteral("IDE Resources"))->Exists());
}

bool PluginArchive::storeItems(const FolderItemPtr& destination) {
    if (!destination || !destination->Exists()) return false;
    bool complete = true;
    for (size_t i = 0; i < mItems.size(); ++i) {
        const model::PluginItemPtr child = mItems[i];
        if (!child->store(destination)) complete = false;
        yield();
    }
    return complete;
}

bool PluginArchive::store(const FolderItemPtr& destination) {
    storeItems(destination);
    return true;
}

bool PluginArchive::saveAsFolder(const FolderItemPtr& directory) {
    if (empty() || !directory || !directory->Directory()) return false;
    FolderItemPtr folder = directory->Child(name());
    folder->CreateAsFolder();
    return storeItems(folder);
}

bool PluginArchive::saveAsPluginFile(const FolderItemPtr& directory) {
    if (empty() || !directory || !directory->Directory()) return false;
    const FolderItemPtr file = directory->Child(name() + QLatin1Char('.') + fileExtension());
    auto reportFailure = [&] {
        ui().msgBox(QStringLiteral("Can't store file ") + QLatin1Char('"') + file->Name() +
                    QLatin1Char('"'));
        return false;
    };
    // Released before Flush, the volume would drop everything written into it.
    const std::shared_ptr<VirtualVolume> volume = file->CreateVirtualVolume();
    if (!volume) return reportFailure();
    FolderItemPtr folder = volume->Root()->Child(name());
    folder->CreateAsFolder();
    const bool complete = storeItems(folder);
    // A failed Flush leaves the previous package in place: the user must
    // know this save did not happen.
    if (!volume->Flush()) return reportFailure();
    return complete;
}

QStringList PluginArchive::defaultTopHierarchyPluginItemsName() {
    return {QStringLiteral("Build Resources"), QStringLiteral("IDE Resources")};
}

QStringList PluginArchive::defaultBuildResourcesFoldersListName() {
    return {QStringLiteral("Mac Classic"),       QStringLiteral("Mac Carbon"),
            QStringLiteral("Mac Carbon Mach-O"), QStringLiteral("Mac Carbon Mach-O Universal"),
            QStringLiteral("Mac Cocoa"),         QStringLiteral("Windows"),
            QStringLiteral("Linux X86")};
}

QStringList PluginArchive::modernBuildResourcesFoldersListName() {
    return {QStringLiteral("Mac Carbon Mach-O Universal"), QStringLiteral("Mac Cocoa"),
            QStringLiteral("Windows"), QStringLiteral("Linux X86")};
}

QStringList PluginArchive::defaultIDEResourcesFoldersListName() {
    return {QStringLiteral("Controls Palette"), QStringLiteral("Help")};
}

QString PluginArchive::fileExtension() {
    return QStringLiteral("kvx");
}
QString PluginArchive::zanthFileExtension() {
    return model::zanthPackageExtension();
}

}  // namespace zpc::archive
