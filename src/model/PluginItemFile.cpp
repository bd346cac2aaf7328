#include "model/PluginItemFile.h"

#include "model/PluginItemFolder.h"

#include "platform/BinaryStream.h"
#include "platform/BundlePictures.h"
#include "platform/Exceptions.h"
#include "platform/MacRoman.h"
#include "platform/ResourceFork.h"
#include "platform/Text.h"
#include "platform/Yield.h"
#include "util/WytFramework.h"

#include <QUrl>

namespace zpc::model {

using namespace zpc::platform;

namespace {
constexpr qint64 kChunkSize = 4096;

// A classic name may hold "/", which a file name here cannot: it becomes ":",
// as a Mac shows such names on a disk of its own. A name that still cannot
// name a file gives none.
QString libraryName(const ResourceEntry& resource) {
    if (!resource.hasName) return {};
    QString name = resource.name;
    name.replace(QLatin1Char('/'), QLatin1Char(':'));
    name.remove(QChar(0));
    if (name == QLatin1String(".") || name == QLatin1String("..")) return {};
    return name;
}

// The file's name without its extension.
QString baseName(const FolderItemPtr& file) {
    if (!file) return {};
    const QString name = file->Name();
    const QString extension = util::WytFramework::fileExtension(file);
    return extension.isEmpty() ? name : name.left(name.size() - extension.size() - 1);
}
}  // namespace

std::shared_ptr<PluginItemFile> PluginItemFile::create(const FolderItemPtr& source, bool stored) {
    auto item = std::shared_ptr<PluginItemFile>(new PluginItemFile());
    item->constructEmpty();
    if (source && text::contains(source->Name(), QStringLiteral(".bundle")) && source->Directory())
        item->_createWithBundle(source);
    else
        item->_createWithFolderitem(source, stored);
    return item;
}

std::shared_ptr<PluginItemFile> PluginItemFile::linkListedEntry(const FolderItemPtr& entry) {
    auto item = std::shared_ptr<PluginItemFile>(new PluginItemFile());
    item->constructEmpty();
    item->link(entry);
    item->assignName(entry->Name());
    return item;
}

std::shared_ptr<PluginItemFile> PluginItemFile::create(const QString& name, bool mutableName) {
    auto item = std::shared_ptr<PluginItemFile>(new PluginItemFile());
    item->constructNamed(name, mutableName);
    return item;
}

std::vector<std::shared_ptr<PluginItemFile>> PluginItemFile::createWithResourceFork(
    const OldFormatResources& resources, const QString& type, int id, const FolderItemPtr& file) {
    std::vector<std::shared_ptr<PluginItemFile>> out;
    if (!resources) return out;
    const QByteArray code = macroman::fromUnicode(type);
    if (code.size() != 4) return out;
    const QString fallback = baseName(file);
    FolderNames names;
    for (const ResourceEntry& resource : resources->resources(code)) {
        if (id != -1 && resource.id != id) continue;
        QString name = libraryName(resource);
        if (name.isEmpty()) name = fallback + QString::number(resource.id);
        name = names.claim(name);
        auto item = std::shared_ptr<PluginItemFile>(new PluginItemFile());
        item->constructEmpty();
        item->assignName(name);
        item->setRawData(resource.data);
        item->mStored = true;
        out.push_back(std::move(item));
        yield();
    }
    return out;
}

void FolderNames::take(const QString& name) {
    mTaken.insert(text::foldKey(name));
}

QString FolderNames::claim(const QString& name) {
    const QString key = text::foldKey(name);
    QString candidate = name;
    if (mTaken.contains(key)) {
        int& next = mNextSuffix[key];
        if (next < 2) next = 2;
        do {
            candidate = name + QLatin1Char(' ') + QString::number(next++);
        } while (mTaken.contains(text::foldKey(candidate)));
    }
    mTaken.insert(text::foldKey(candidate));
    return candidate;
}

void PluginItemFile::_createWithFolderitem(const FolderItemPtr& source, bool stored) {
    if (!stored || !_isFolderitemValid(source)) {
        setDataSource(source);
        return;
    }
    assignName(source->Name());
    auto stream = BinaryStream::Open(source);
    // A file that cannot be read leaves the node without contents, so no
    // folder takes it; a partial copy would be taken for the whole file.
    if (!stream) return;
    QByteArray bytes = stream->Read(stream->Length());
    stream->Close();
    if (stream->hasError()) return;
    setRawData(bytes);
    mStored = true;
}

bool PluginItemFile::_isFolderitemValid(const FolderItemPtr& source) const {
    return source && source->IsFile();
}

void PluginItemFile::_createWithBundle(const FolderItemPtr& bundle) {
    auto contents = bundle->Child(QStringLiteral("Contents"));
    if (!contents->Exists() || !contents->Directory()) return;
    auto macos = contents->Child(QStringLiteral("MacOS"));
    if (!macos->Exists()) return;
    const int n = macos->Count();
    for (int i = 1; i <= n; ++i) {
        auto entry = macos->Item(i);
        if (entry && entry->Visible()) {
            setDataSource(entry);
            return;
        }
        yield();
    }
}

bool PluginItemFile::isValid() const {
    return !name().isEmpty() && (mHoldsBytes || dataSource() != nullptr);
}

int PluginItemFile::count() const {
    return (mHoldsBytes || dataSource()) ? 1 : 0;
}

FolderItemPtr PluginItemFile::dataSource() const {
    if (mData.isEmpty()) return nullptr;
    if (mData != mResolvedData) {
        mResolvedData = mData;
        try {
            mResolved = GetFolderItem(mData);
        } catch (const UnsupportedFormatException&) {
            mResolved = nullptr;
        }
    }
    return mResolved && mResolved->Exists() ? mResolved : nullptr;
}

void PluginItemFile::link(const FolderItemPtr& entry) {
    mData = entry->URLPath();
    mResolvedData = mData;
    try {
        mResolved = entry->Resolved();
    } catch (const UnsupportedFormatException&) {
        mResolved = nullptr;
    }
}

void PluginItemFile::setDataSource(const FolderItemPtr& value) {
    if (!_isFolderitemValid(value)) return;
    link(value);
    if (name().isEmpty()) setName(value->Name());
}

PicturePtr PluginItemFile::icon() const {
    return pictures::fileicon();
}

bool PluginItemFile::store(const FolderItemPtr& destination) {
    if (!destination || !destination->Exists() || !isValid()) return false;
    FolderItemPtr target = destination->Child(mName);
    if (!WrittenFiles::claim(target->NativePath())) return false;

    std::unique_ptr<BinaryStream> source;
    if (mHoldsBytes) {
        source = BinaryStream::onBytes(mRawData);
    } else {
        FolderItemPtr file = dataSource();
        // Saving a plugin over its own folder: the file is already in place,
        // and opening it for writing would empty it before it is read.
        if (file && target->sameFileAs(*file)) {
            WrittenFiles::stored(this);
            return true;
        }
        source = BinaryStream::Open(file);
        if (!source) return false;
    }
    // Over its own folder, a file renamed to the name of another (two
    // swapped) would empty that one's source before it is read.
    if (WrittenFiles::isPendingSource(target->fileIdentity(), this)) return false;
    auto out = BinaryStream::Create(target, true);
    if (!out) return false;
    // Lets a package take a large file in bounded pieces instead of buffering it.
    out->reserve(source->Length());

    bool failed = false;
    while (!source->isEOF()) {
        const QByteArray chunk = source->Read(kChunkSize);
        if (chunk.isEmpty()) break;
        out->Write(chunk);
        if (out->hasError()) {
            failed = true;
            break;
        }
        yield();
    }
    source->Close();
    out->Close();
    // A file cut short (unreadable source, full disk) must not pass for a copy.
    if (failed || source->hasError() || out->hasError()) {
        target->Delete();
        return false;
    }
    WrittenFiles::stored(this);
    return target->Exists();
}

void PluginItemFile::storeXml(const XmlNodePtr& parent) {
    if (!parent || !isValid()) return;
    XmlDocumentPtr document = parent->OwnerDocument();
    XmlNodePtr element = parent->AppendChild(document->CreateElement(QStringLiteral("pluginitem")));
    const bool raw = mHoldsBytes;
    element->SetAttribute(QStringLiteral("itemName"), name());
    element->SetAttribute(QStringLiteral("type"), QStringLiteral("file"));
    element->SetAttribute(QStringLiteral("mutable"),
                          mutableName() ? QStringLiteral("true") : QStringLiteral("false"));
    element->SetAttribute(QStringLiteral("content"),
                          raw ? QStringLiteral("raw") : QStringLiteral("url"));
    // The bytes are shared with the node, not copied: their text is made
    // piece by piece as the document is written.
    element->AppendChild(raw ? document->CreateBase64TextNode(mRawData, 76)
                             : document->CreateTextNode(mData));
}

void PluginItemFile::loadXml(const XmlNodePtr& node) {
    const XmlNodePtr text = node->FirstChild();
    const QString content = node->GetAttribute(QStringLiteral("content"));
    const bool raw = text::equals(content, QStringLiteral("raw"));
    // A "raw" element with nothing inside is an empty file, as our writer
    // writes one.
    if (!text && raw) {
        setRawData({});
        return;
    }
    if (!text || text->Type() != XmlNode::Text) return;
    if (raw) {
        bool ok = false;
        const QByteArray bytes = text->DecodeBase64Value(&ok);
        if (ok) setRawData(bytes);
    } else if (text::equals(content, QStringLiteral("url"))) {
        mData = text->Value();
        if (!name().isEmpty() && !dataSource()) MissingLinks::note(mData);
    }
}

WrittenFiles* WrittenFiles::sCurrent = nullptr;

WrittenFiles::WrittenFiles() : mOutermost(sCurrent == nullptr) {
    if (mOutermost) sCurrent = this;
}

WrittenFiles::~WrittenFiles() {
    if (mOutermost) sCurrent = nullptr;
}

bool WrittenFiles::claim(const QString& path) {
    if (!sCurrent) return true;
    if (sCurrent->mPaths.contains(path)) return false;
    sCurrent->mPaths.insert(path);
    return true;
}

void WrittenFiles::collectSources(const PluginItem& root) {
    if (sCurrent && !sCurrent->mRoot) sCurrent->mRoot = &root;
}

// Until now the save only made new files, so every source is as it was;
// those of the items stored meanwhile are no longer pending.
void WrittenFiles::collect() {
    mCollected = true;
    if (!mRoot) return;
    std::vector<const PluginItem*> stack{mRoot};
    while (!stack.empty()) {
        const PluginItem* node = stack.back();
        stack.pop_back();
        if (const PluginItemFolder* folder = node->asFolder()) {
            for (const PluginItemPtr& child : const_cast<PluginItemFolder*>(folder)->items())
                stack.push_back(child.get());
        } else if (auto* file = dynamic_cast<const PluginItemFile*>(node);
                   file && !file->holdsBytes() && !mStoredBeforeCollecting.contains(file)) {
            const FolderItemPtr source = file->dataSource();
            const QByteArray identity = source ? source->fileIdentity() : QByteArray();
            if (identity.isEmpty()) continue;
            mPending[identity].insert(file);
            mSourceOf.insert(file, identity);
        }
    }
}

bool WrittenFiles::isPendingSource(const QByteArray& identity, const PluginItem* writer) {
    if (!sCurrent || identity.isEmpty()) return false;
    if (!sCurrent->mCollected) sCurrent->collect();
    const auto it = sCurrent->mPending.constFind(identity);
    if (it == sCurrent->mPending.constEnd()) return false;
    return it->size() > 1 || !it->contains(writer);
}

void WrittenFiles::stored(const PluginItem* item) {
    if (!sCurrent) return;
    if (!sCurrent->mCollected) {
        sCurrent->mStoredBeforeCollecting.insert(item);
        return;
    }
    const auto it = sCurrent->mSourceOf.constFind(item);
    if (it == sCurrent->mSourceOf.constEnd()) return;
    auto pending = sCurrent->mPending.find(*it);
    if (pending != sCurrent->mPending.end()) {
        pending->remove(item);
        if (pending->isEmpty()) sCurrent->mPending.erase(pending);
    }
}

MissingLinks* MissingLinks::sCurrent = nullptr;

MissingLinks::MissingLinks() : mOuter(sCurrent) {
    sCurrent = this;
}

MissingLinks::~MissingLinks() {
    sCurrent = mOuter;
}

void MissingLinks::note(const QString& urlPath) {
    if (sCurrent) sCurrent->mPaths << urlPath;
}

QString MissingLinks::message() const {
    if (mPaths.isEmpty()) return {};
    const QUrl url(mPaths.first());
    const QString first = url.isLocalFile() ? url.toLocalFile() : mPaths.first();
    if (mPaths.size() == 1) return QStringLiteral("Can't find the linked file \"%1\"").arg(first);
    return QStringLiteral("Can't find %1 linked files, the first \"%2\"")
        .arg(mPaths.size())
        .arg(first);
}

}  // namespace zpc::model
