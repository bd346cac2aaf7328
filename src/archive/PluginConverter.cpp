#include "archive/PluginConverter.h"

#include "archive/PluginArchive.h"
#include "archive/PluginSearch.h"
#include "model/PluginItemFolder.h"
#include "platform/BinaryStream.h"
#include "platform/Exceptions.h"
#include "platform/Yield.h"

#include <QSet>

namespace zpc::archive {

using namespace zpc::platform;

namespace {
constexpr qint64 kChunkSize = 1 << 20;
}

PluginConverter::PluginConverter(FolderItemPtr source, std::shared_ptr<VirtualVolume> destination)
    : mPluginSource(std::move(source)), mPluginDest(std::move(destination)) {}

PluginConverter::~PluginConverter() = default;

bool PluginConverter::Convert() {
    requireNonNil(mPluginSource, "Convert");
    if (mPluginSource->Directory()) return ConvertFromDirectory();
    // Both halves write into the volume; only then is the package completed.
    return ConvertBuildResources() && ConvertIDEResources() && mPluginDest && mPluginDest->Flush();
}

std::shared_ptr<PluginArchive> PluginConverter::oldPlugin() {
    if (!mOldPluginRead) {
        mOldPluginRead = true;
        mOldPlugin = PluginArchive::createWithOldPlugin(mPluginSource);
    }
    return mOldPlugin;
}

namespace {

int countFiles(const model::PluginItemPtr& node) {
    model::PluginItemFolder* folder = node->asFolder();
    if (!folder) return 1;
    int n = 0;
    for (const model::PluginItemPtr& child : folder->items()) n += countFiles(child);
    return n;
}

}  // namespace

bool PluginConverter::ConvertBuildResources() {
    if (!mPluginDest || !oldPlugin()) return false;
    const model::PluginItemPtr build =
        mOldPlugin->hasItem(PluginArchive::defaultTopHierarchyPluginItemsName().value(0));
    if (!build || !build->asFolder() || countFiles(build) == 0) return false;
    const FolderItemPtr folder = mPluginDest->Root()->Child(mOldPlugin->name());
    folder->CreateAsFolder();
    if (folder->LastErrorCode() != 0) return false;
    return writeTopFolder(build->name());
}

bool PluginConverter::ConvertIDEResources() {
    if (!mPluginDest || !oldPlugin()) return false;
    return writeTopFolder(PluginArchive::defaultTopHierarchyPluginItemsName().value(1));
}

bool PluginConverter::writeTopFolder(const QString& name) {
    const model::PluginItemPtr top = mOldPlugin->hasItem(name);
    if (!top || !top->asFolder()) return false;
    return writeNode(top, mPluginDest->Root()->Child(mOldPlugin->name()));
}

bool PluginConverter::writeNode(const model::PluginItemPtr& node,
                                const FolderItemPtr& destination) {
    model::PluginItemFolder* folder = node->asFolder();
    if (!folder) return node->store(destination);
    const FolderItemPtr directory = destination->Child(node->name());
    directory->CreateAsFolder();
    if (directory->LastErrorCode() != 0) return false;
    for (size_t i = 0; i < folder->items().size(); ++i) {
        const model::PluginItemPtr child = folder->items()[i];
        if (!writeNode(child, directory)) return false;
        yield();
    }
    return true;
}

bool PluginConverter::ConvertFromDirectory() {
    if (!mPluginDest) return false;
    const FolderItemPtr plugin = findPluginDirectory(mPluginSource);
    if (!plugin) return false;
    AddFolderToVV(plugin, mPluginDest->Root());
    return !mWriteFailed && mPluginDest->Flush();
}

void PluginConverter::AddFolderToVV(const FolderItemPtr& source, const FolderItemPtr& destination) {
    if (mWriteFailed || !source || !destination) {
        mWriteFailed = true;
        return;
    }
    const FolderItemPtr folder = destination->Child(source->Name());
    folder->CreateAsFolder();
    if (folder->LastErrorCode() != 0) {
        mWriteFailed = true;
        return;
    }
    // Names on disk that are not UTF-8 can read as one name: the second
    // entry would replace the first in the package.
    QSet<QString> written;
    const int n = source->Count();
    for (int i = 1; i <= n && !mWriteFailed; ++i) {
        const FolderItemPtr entry = source->TrueItem(i);
        if (!entry) continue;
        if (entry->Directory() || entry->Visible()) {
            const QString name = entry->Name();
            if (written.contains(name)) {
                mWriteFailed = true;
                break;
            }
            written.insert(name);
        }
        if (entry->Directory()) {
            AddFolderToVV(entry, folder);
        } else if (entry->Visible()) {
            const FolderItemPtr file = entry->IsSymbolicLink() ? source->Item(i) : entry;
            if (file && !file->Directory() && !copyFile(file, folder->Child(entry->Name())))
                mWriteFailed = true;
        }
        yield();
    }
}

bool PluginConverter::copyFile(const FolderItemPtr& source, const FolderItemPtr& target) {
    std::unique_ptr<BinaryStream> in = BinaryStream::Open(source);
    if (!in) return false;
    std::unique_ptr<BinaryStream> out = BinaryStream::Create(target, true);
    if (!out) return false;
    out->reserve(source->Length());
    while (!in->isEOF() && !in->hasError() && !out->hasError()) {
        const QByteArray chunk = in->Read(kChunkSize);
        if (chunk.isEmpty()) break;
        out->Write(chunk);
        yield();
    }
    in->Close();
    out->Close();
    return !in->hasError() && !out->hasError();
}

}  // namespace zpc::archive
