#include "archive/PluginArchive.h"

#include "model/PluginItemFile.h"
#include "model/ZanthPackage.h"
#include "platform/BundlePictures.h"
#include "platform/Exceptions.h"
#include "platform/Shell.h"
#include "platform/Text.h"
#include "platform/UIServices.h"
#include "platform/VirtualVolume.h"
#include "platform/Xml.h"
#include "platform/Yield.h"
#include "util/WytFramework.h"

namespace zpc::archive {

using namespace zpc::platform;
using model::PluginItemFolder;
using model::ZanthPackage;

namespace {
void reportStoreFailure(const QString& name) {
    ui().msgBox(QStringLiteral("Can't store file ") + QLatin1Char('"') + name + QLatin1Char('"'));
}

// XML 1.0 has no way to write most control characters, even escaped.
bool xmlCanHold(const QString& text) {
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != '\t' && u != '\n' && u != '\r') || u == 0xfffe || u == 0xffff)
            return false;
    }
    return true;
}

// The first node below that a project cannot hold (a linked file that is
// gone, a name XML cannot carry), or nil.
model::PluginItemPtr firstUnwritable(model::PluginItemFolder& folder) {
    for (const model::PluginItemPtr& child : folder.items()) {
        if (!child->isValid() || !xmlCanHold(child->name())) return child;
        if (model::PluginItemFolder* sub = child->asFolder())
            if (model::PluginItemPtr found = firstUnwritable(*sub)) return found;
    }
    return nullptr;
}
}  // namespace

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
    // An old plugin has made the archive classic already.
    if (source && source->Exists() && !source->Directory() && !archive->mClassicHierarchyStyle)
        archive->mClassicHierarchyStyle =
            text::equals(util::WytFramework::fileExtension(source), fileExtension());
    return archive;
}

std::shared_ptr<PluginArchive> PluginArchive::createWithOldPlugin(const FolderItemPtr& file) {
    auto archive = create(true);
    if (!file || !file->Exists() || file->Directory() || !archive->_readOldPluginFormat(file))
        return nullptr;
    return archive;
}

bool PluginArchive::_readOldPluginFormat(const FolderItemPtr& file) {
    const model::OldFormatResources resources = _oldPluginFormatResources(file);
    if (!hasOldFormatResources(resources)) return false;
    mClassicHierarchyStyle = true;
    mItems.clear();
    _init();
    setName(file->Name());
    _scanPluginOldFormat(resources, file);
    // Also when the file's name gives the plugin none: Revert reads it again.
    mDataSource = file;
    return true;
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
    model::WrittenFiles save;
    model::WrittenFiles::collectSources(*this);
    for (size_t i = 0; i < mItems.size(); ++i) {
        const model::PluginItemPtr child = mItems[i];
        if (!child->store(destination)) {
            complete = false;
            // A folder names what it could not store itself; a file does not.
            if (!child->asFolder()) reportStoreFailure(child->name());
        }
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
    // A package missing an item must not replace the one there: unflushed,
    // the volume is dropped and the previous package stays. The user must
    // know this save did not happen.
    if (!storeItems(folder) || !volume->Flush()) return reportFailure();
    return true;
}

// The package is made in a hidden folder private to this save and renamed
// into place only once zip has succeeded: zip adds to an archive that is
// there already, so an item removed since the last save would survive, and a
// failed save would spoil the package it was to replace. The working folder
// is made in the private folder too, so a save killed half-way leaves only
// that folder, which the next save into the directory removes; the save
// writes and deletes only what it made itself. When zip fails, the working
// folder is put beside the package, unless an entry of its name is there.
bool PluginArchive::saveAsZanthPluginFile(const FolderItemPtr& directory) {
    if (empty() || !directory || !directory->Directory()) return false;
    const QString pluginName = name();
    const FolderItemPtr privateFolder = ZanthPackage::createPrivateFolder(directory);
    if (!privateFolder) {
        reportStoreFailure(pluginName + QLatin1Char('.') + zanthFileExtension());
        return false;
    }
    const FolderItemPtr workingFolder = privateFolder->Child(pluginName);
    if (!ZanthPackage::createNewFolder(workingFolder)) {
        ZanthPackage::removeTree(privateFolder);
        ZanthPackage::releasePrivateFolder(privateFolder);
        reportStoreFailure(pluginName);
        return false;
    }
    // A package missing an item must not replace the one there.
    if (!storeItems(workingFolder)) {
        ZanthPackage::removeTree(privateFolder);
        ZanthPackage::releasePrivateFolder(privateFolder);
        reportStoreFailure(pluginName + QLatin1Char('.') + zanthFileExtension());
        return false;
    }
    return compressZanth(workingFolder, privateFolder, directory);
}

bool PluginArchive::compressZanth(const FolderItemPtr& workingFolder,
                                  const FolderItemPtr& privateFolder,
                                  const FolderItemPtr& directory) {
    const QString packageName = workingFolder->Name() + QLatin1Char('.') + zanthFileExtension();
    const FolderItemPtr made = privateFolder->Child(packageName);
    // Also when a failure of the shell passes through: what a failed zip left
    // goes, the working folder moves out, and the private folder goes unless
    // the working folder could not leave it.
    bool compressed = false;
    struct Cleanup {
        const FolderItemPtr& made;
        const FolderItemPtr& workingFolder;
        const FolderItemPtr& privateFolder;
        const FolderItemPtr& directory;
        const bool& compressed;
        ~Cleanup() {
            ZanthPackage::removeTree(made);
            if (compressed)
                util::WytFramework::recursiveDelete(workingFolder);
            else
                ZanthPackage::moveToNew(workingFolder, directory->Child(workingFolder->Name()));
            privateFolder->Delete();
            ZanthPackage::releasePrivateFolder(privateFolder);
        }
    } cleanup{made, workingFolder, privateFolder, directory, compressed};
    if (compressorAgent) {
        compressed = compressorAgent(workingFolder, made);
    } else {
        Shell shell;
        shell.Execute(ZanthPackage::zipCommand(workingFolder, ZanthPackage::nameWord(packageName)));
        compressed = shell.ErrorCode() == 0;
        if (!compressed) ui().msgBox(shell.Result());
    }
    if (compressed && !ZanthPackage::replace(directory->Child(packageName), made)) {
        reportStoreFailure(packageName);
        compressed = false;
    }
    return compressed;
}

bool PluginArchive::saveAsProject(const FolderItemPtr& directory) {
    if (!isValid() || empty() || !directory || !directory->Directory()) return false;
    const FolderItemPtr file = directory->Child(name() + QStringLiteral(".prjkvx"));
    // The writer would leave such a node out, or change its name, without a
    // word, as a folder save would not.
    if (const model::PluginItemPtr gone = firstUnwritable(*this)) {
        reportStoreFailure(gone->name());
        reportStoreFailure(file->Name());
        return false;
    }
    const XmlDocumentPtr document = XmlDocument::create();
    const XmlNodePtr root =
        document->AppendChild(document->CreateElement(QStringLiteral("pluginarchive")));
    storeItemsXml(root);
    return document->SaveXml(file);
}

void PluginArchive::_loadProject(const FolderItemPtr& file) {
    mItems.clear();
    XmlDocumentPtr document;
    try {
        document = XmlDocument::parseFile(file);
    } catch (const XmlException& failure) {
        ui().msgBox(failure.message());
        return;
    }
    const XmlNodePtr root = document->FirstChild();
    if (!root || root->Type() != XmlNode::Element ||
        !text::equals(root->Name(), QStringLiteral("pluginarchive")))
        return;
    const QStringList pieces = text::split(file->Name(), QStringLiteral("."));
    if (!pieces.isEmpty() && !pieces.first().isEmpty()) setName(pieces.first());
    // A linked file that moved is left out; a save would lose it unnoticed.
    model::MissingLinks missing;
    for (XmlNodePtr child = root->FirstChild(); child; child = child->NextSibling()) {
        add(createWithXmlNode(child));
        yield();
    }
    const QString message = missing.message();
    if (!message.isEmpty()) ui().msgBox(message);
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
