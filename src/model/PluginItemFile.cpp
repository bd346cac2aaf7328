#include "model/PluginItemFile.h"

#include "platform/BinaryStream.h"
#include "platform/BundlePictures.h"
#include "platform/Exceptions.h"
#include "platform/Text.h"
#include "platform/Yield.h"

namespace zpc::model {

using namespace zpc::platform;

namespace {
constexpr qint64 kChunkSize = 4096;
}

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

    std::unique_ptr<BinaryStream> source;
    if (mHoldsBytes) {
        source = BinaryStream::onBytes(mRawData);
    } else {
        FolderItemPtr file = dataSource();
        // Saving a plugin over its own folder: the file is already in place,
        // and opening it for writing would empty it before it is read.
        if (file && target->sameFileAs(*file)) return true;
        source = BinaryStream::Open(file);
        if (!source) return false;
    }
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
    }
}

}  // namespace zpc::model
