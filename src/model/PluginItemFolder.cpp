#include "model/PluginItemFolder.h"

#include "model/PluginItemFile.h"
#include "model/ZanthPackage.h"
#include "platform/BundlePictures.h"
#include "platform/Exceptions.h"
#include "platform/ResourceFork.h"
#include "platform/Text.h"
#include "platform/UIServices.h"
#include "platform/VirtualVolume.h"
#include "platform/Yield.h"
#include "util/WytFramework.h"

#include <QHash>

namespace zpc::model {

using namespace zpc::platform;

namespace {

void checkIndex(int index, size_t count) {
    if (index < 0 || size_t(index) >= count)
        throw OutOfBoundsException(
            QStringLiteral("Index %1 out of bounds (count %2)").arg(index).arg(qulonglong(count)));
}

void reportStoreFailure(const QString& name) {
    ui().msgBox(QStringLiteral("Can't store file ") + QLatin1Char('"') + name + QLatin1Char('"'));
}

}  // namespace

std::shared_ptr<PluginItemFolder> PluginItemFolder::create(const QString& name, bool mutableName) {
    auto folder = std::shared_ptr<PluginItemFolder>(new PluginItemFolder());
    folder->constructNamed(name, mutableName);
    return folder;
}

std::shared_ptr<PluginItemFolder> PluginItemFolder::create(const FolderItemPtr& source,
                                                           bool mutableName,
                                                           DecompressDelegate decompressor) {
    auto folder = std::shared_ptr<PluginItemFolder>(new PluginItemFolder());
    folder->constructFromSource(source, mutableName, std::move(decompressor));
    return folder;
}

void PluginItemFolder::constructFromSource(const FolderItemPtr& source, bool mutableName,
                                           DecompressDelegate decompressor) {
    constructEmpty();
    decompressorAgent = std::move(decompressor);
    _createWithFolderitem(source);
    mMutableName = mutableName;
}

int PluginItemFolder::count() const {
    return int(mItems.size());
}
FolderItemPtr PluginItemFolder::dataSource() const {
    return mDataSource;
}
PicturePtr PluginItemFolder::icon() const {
    return pictures::foldericon();
}

bool PluginItemFolder::holds(const PluginItem* node) const {
    for (const PluginItemPtr& child : mItems) {
        if (child.get() == node) return true;
        const PluginItemFolder* folder = child->asFolder();
        if (folder && folder->holds(node)) return true;
    }
    return false;
}

bool PluginItemFolder::wouldCycle(const PluginItem* item) const {
    if (item == this) return true;
    const PluginItemFolder* folder = item->asFolder();
    return folder && folder->holds(this);
}

void PluginItemFolder::add(const PluginItemPtr& item) {
    if (!item || !item->isValid() || wouldCycle(item.get())) return;
    item->setOwner(shared_from_this());
    mItems.push_back(item);
}

PluginItemPtr PluginItemFolder::item(int index) const {
    checkIndex(index, mItems.size());
    return mItems[size_t(index)];
}

void PluginItemFolder::setItem(int index, const PluginItemPtr& item) {
    checkIndex(index, mItems.size());
    requireNonNil(item, "setItem");
    if (!item->isValid() || wouldCycle(item.get())) return;
    item->setOwner(shared_from_this());
    mItems[size_t(index)] = item;
}

void PluginItemFolder::setItems(const std::vector<PluginItemPtr>& list) {
    // Copied first: the list may be this folder's own.
    const std::vector<PluginItemPtr> incoming = list;
    mItems.clear();
    for (const PluginItemPtr& element : incoming) {
        add(element);
        yield();
    }
}

void PluginItemFolder::remove(int index) {
    checkIndex(index, mItems.size());
    mItems.erase(mItems.begin() + index);
}

bool PluginItemFolder::remove(const PluginItemPtr& item) {
    requireNonNil(item, "remove");
    const QString uid = item->uid();
    for (size_t i = 0; i < mItems.size(); ++i) {
        if (mItems[i]->mUID == uid) {
            mItems.erase(mItems.begin() + std::ptrdiff_t(i));
            return true;
        }
        yield();
    }
    return false;
}

// The searches index the list afresh on every step and hold on to a folder
// while they are inside it: a yield may let other code change the tree.
PluginItemPtr PluginItemFolder::findUid(const QString& uid) const {
    for (size_t i = 0; i < mItems.size(); ++i) {
        const PluginItem* node = mItems[i].get();
        if (node->mUID == uid) return mItems[i];
        if (const PluginItemFolder* folder = node->asFolder()) {
            const PluginItemPtr keep = mItems[i];
            if (PluginItemPtr hit = folder->findUid(uid)) return hit;
        }
        yield();
    }
    return nullptr;
}

PluginItemPtr PluginItemFolder::findName(const QString& name, const QString& key,
                                         size_t hash) const {
    for (size_t i = 0; i < mItems.size(); ++i) {
        // The walk waits on memory more than on anything else.
        if (i + 4 < mItems.size()) __builtin_prefetch(mItems[i + 4].get());
        const PluginItem* node = mItems[i].get();
        if (node->nameHash() == hash && node->nameKey() == key) return mItems[i];
        if (const PluginItemFolder* folder = node->asFolder()) {
            // Without a stored name a folder may answer one of its own ("Untitled").
            if (folder->nameKey().isEmpty() && text::equals(folder->name(), name)) return mItems[i];
            const PluginItemPtr keep = mItems[i];
            if (PluginItemPtr hit = folder->findName(name, key, hash)) return hit;
        }
        yield();
    }
    return nullptr;
}

PluginItemPtr PluginItemFolder::hasItem(const PluginItemPtr& item) const {
    if (!item || !item->isValid()) return nullptr;
    return findUid(item->uid());
}

PluginItemPtr PluginItemFolder::hasItem(const QString& name) const {
    if (name.isEmpty()) return nullptr;
    const QString key = text::foldKey(name);
    return findName(name, key, qHash(key));
}

void PluginItemFolder::collectNameHashes(const PluginItem& node, std::unordered_set<size_t>& into) {
    const PluginItemFolder* folder = node.asFolder();
    if (!node.nameKey().isEmpty())
        into.insert(node.nameHash());
    else if (folder)
        into.insert(qHash(text::foldKey(folder->name())));
    if (!folder) return;
    for (const PluginItemPtr& child : folder->mItems) collectNameHashes(*child, into);
}

void PluginItemFolder::_scanDirectory(const FolderItemPtr& directory, bool stored) {
    // The hashes of every name below this folder, kept up to date as the scan
    // adds and merges: a directory whose name is not among them has nothing
    // to merge into, and the deep search is skipped. Only the scan changes the
    // tree meanwhile (its yields serve paint events, never edits).
    std::unordered_set<size_t> below;
    for (const PluginItemPtr& child : mItems) collectNameHashes(*child, below);

    const int n = directory->Count();
    for (int i = 1; i <= n; ++i) {
        const FolderItemPtr entry = directory->TrueItem(i);
        if (!entry) {
            yield();
            continue;
        }
        PluginItemPtr added;
        if (entry->Directory()) {
            const QString entryName = entry->Name();
            const QString key = text::foldKey(entryName);
            const size_t hash = qHash(key);
            const PluginItemPtr found =
                below.count(hash) ? findName(entryName, key, hash) : nullptr;
            PluginItemFolder* folder = found ? found->asFolder() : nullptr;
            // Only a standard folder (its name fixed) takes a directory from
            // any depth; another takes only one of its own level, or
            // "Help/images" would be merged into "Help/a/images".
            if (folder && found->mutableName() && found->owner().get() != this) folder = nullptr;
            if (folder) {
                folder->_scanDirectory(entry, stored);
                collectNameHashes(*found, below);
            } else if (text::contains(entryName, QStringLiteral(".bundle"))) {
                added = PluginItemFile::create(entry, false);
            } else if (stored) {
                auto folder = PluginItemFolder::create(entryName, true);
                folder->_scanDirectory(entry, true);
                added = folder;
            } else {
                added = PluginItemFolder::create(entry, true, nullptr);
            }
        } else if (entry->Visible()) {
            added = stored ? PluginItemFile::create(entry, true)
                           : PluginItemFile::linkListedEntry(entry);
        }
        if (added) {
            add(added);
            collectNameHashes(*added, below);
        }
        yield();
    }
}

bool PluginItemFolder::_isValidDirectory(const FolderItemPtr& directory) const {
    return directory && directory->Directory();
}

void PluginItemFolder::_createWithFolderitem(const FolderItemPtr& source) {
    if (!source || !source->Exists()) return;
    if (source->Directory() && _isValidDirectory(source)) {
        setName(source->Name());
        _scanDirectory(source, false);
    } else if (text::contains(source->Name(), QStringLiteral(".prjkvx"))) {
        _loadProject(source);
    } else if (text::equals(util::WytFramework::fileExtension(source), zanthPackageExtension())) {
        decompressZanth(source);
    } else if (!readPackageVolume(source)) {
        _readOldPluginFormat(source);
    }
    if (!mName.isEmpty()) mDataSource = source;
}

void PluginItemFolder::_loadProject(const FolderItemPtr&) {}

void PluginItemFolder::decompressZanth(const FolderItemPtr& package) {
    const FolderItemPtr extraction = ZanthPackage::newExtractionFolder();
    if (!extraction) return;
    FolderItemPtr pluginFolder;
    try {
        if (decompressorAgent) {
            pluginFolder = decompressorAgent(package, extraction);
            // Whoever unpacked it, nothing is read through a link out of the folder.
            if (pluginFolder && !ZanthPackage::secure(extraction)) pluginFolder = nullptr;
        } else {
            pluginFolder =
                ZanthPackage::unpack(package, extraction, [](const QString& output, int code) {
                    MessageDialogRequest request;
                    request.icon = kIconStop;
                    request.message = output;
                    request.explanation = QStringLiteral("Error code: ") + QString::number(code);
                    ui().messageDialog(request);
                });
        }
    } catch (...) {
        ZanthPackage::discardExtractionFolder(extraction);
        throw;
    }
    const bool readable = pluginFolder &&
                          pluginFolder->NativePath().startsWith(extraction->NativePath() + '/') &&
                          pluginFolder->Directory() && _isValidDirectory(pluginFolder);
    // The files read link into the extraction folder, which stays as long as
    // the program runs; one that gave nothing goes at once.
    if (readable)
        _createWithFolderitem(pluginFolder);
    else
        ZanthPackage::discardExtractionFolder(extraction);
}

// File nodes copy their bytes, so the volume can go once it has been read.
bool PluginItemFolder::readPackageVolume(const FolderItemPtr& source) {
    const std::shared_ptr<VirtualVolume> volume = source->OpenAsVirtualVolume();
    if (!volume) return false;
    const FolderItemPtr root = volume->Root();
    const int n = root->Count();
    for (int i = 1; i <= n; ++i) {
        const FolderItemPtr entry = root->Item(i);
        if (entry && entry->Directory() && _isValidDirectory(entry)) {
            setName(entry->Name());
            _scanDirectory(entry, true);
        }
        yield();
    }
    // A save would go on without them, unnoticed.
    if (const int dropped = volume->droppedEntries())
        ui().msgBox(QStringLiteral("Can't read %1 of the entries of \"%2\"")
                        .arg(dropped)
                        .arg(source->Name()));
    return true;
}

QStringList PluginItemFolder::defaultOldFormatResourcesListName() {
    return {QStringLiteral("PL86"), QStringLiteral("PLPC"), QStringLiteral("PLCN")};
}

QString PluginItemFolder::oldFormatPlatformFolderName(const QString& type) {
    if (type == QLatin1String("PL86")) return QStringLiteral("Windows");
    if (type == QLatin1String("PLPC")) return QStringLiteral("Mac Classic");
    if (type == QLatin1String("PLCN")) return QStringLiteral("Mac Carbon");
    return {};
}

bool PluginItemFolder::hasOldFormatResources(const OldFormatResources& resources) {
    if (!resources) return false;
    const QList<QByteArray> types = resources->types();
    for (const QString& type : defaultOldFormatResourcesListName())
        if (types.contains(type.toLatin1())) return true;
    return false;
}

OldFormatResources PluginItemFolder::_oldPluginFormatResources(const FolderItemPtr& file) {
    return openResourceFork(file);
}

void PluginItemFolder::_scanPluginOldFormat(const OldFormatResources& resources,
                                            const FolderItemPtr& file) {
    for (const QString& type : defaultOldFormatResourcesListName()) {
        const QString folderName = oldFormatPlatformFolderName(type);
        const PluginItemPtr found = folderName.isEmpty() ? nullptr : hasItem(folderName);
        if (PluginItemFolder* folder = found ? found->asFolder() : nullptr) {
            const PluginItemPtr keep = found;
            // What the folder holds already keeps its name.
            FolderNames names;
            for (const PluginItemPtr& child : folder->mItems) names.take(child->name());
            for (const auto& library :
                 PluginItemFile::createWithResourceFork(resources, type, -1, file)) {
                library->assignName(names.claim(library->name()));
                folder->add(library);
                yield();
            }
        }
        yield();
    }
}

bool PluginItemFolder::_readOldPluginFormat(const FolderItemPtr&) {
    return false;
}

bool PluginItemFolder::store(const FolderItemPtr& destination) {
    if (!destination || !destination->Exists() || !isValid()) return false;
    const QString folderName = name();
    FolderItemPtr directory = destination->Child(folderName);
    directory->CreateAsFolder();
    if (directory->LastErrorCode() != 0) {
        reportStoreFailure(folderName);
        return false;
    }
    WrittenFiles save;
    WrittenFiles::collectSources(*this);
    for (size_t i = 0; i < mItems.size(); ++i) {
        const PluginItemPtr child = mItems[i];
        if (!child->store(directory)) {
            reportStoreFailure(child->name());
            return false;
        }
        yield();
    }
    return true;
}

void PluginItemFolder::revert() {
    mItems.clear();
    _init();
    const FolderItemPtr source = mDataSource;
    if (source) _createWithFolderitem(source);
}

void PluginItemFolder::storeXml(const XmlNodePtr& parent) {
    if (!parent || !isValid()) return;
    XmlNodePtr element =
        parent->AppendChild(parent->OwnerDocument()->CreateElement(QStringLiteral("pluginitem")));
    element->SetAttribute(QStringLiteral("itemName"), name());
    element->SetAttribute(QStringLiteral("type"), QStringLiteral("folder"));
    element->SetAttribute(QStringLiteral("mutable"),
                          mutableName() ? QStringLiteral("true") : QStringLiteral("false"));
    storeItemsXml(element);
}

void PluginItemFolder::storeItemsXml(const XmlNodePtr& parent) {
    for (size_t i = 0; i < mItems.size(); ++i) {
        const PluginItemPtr child = mItems[i];
        child->storeXml(parent);
        yield();
    }
}

void PluginItemFolder::loadXml(const XmlNodePtr& node) {
    for (XmlNodePtr child = node->FirstChild(); child; child = child->NextSibling()) {
        add(createWithXmlNode(child));
        yield();
    }
}

}  // namespace zpc::model
